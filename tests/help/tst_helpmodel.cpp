// The help viewer's list model: live search, the empty text, topic lookup.

#include "help/HelpModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

namespace {

QStringList rows(const HelpModel &model)
{
    QStringList out;
    for (int i = 0; i < model.rowCount(); ++i)
        out.append(model.data(model.index(i), HelpModel::IdRole).toString());
    return out;
}

} // namespace

class TestHelpModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every topic at first; an unknown or empty id falls back to the first.
    void listsEveryTopicAtFirst()
    {
        HelpModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.count(), int(KLVOHelp::allTopics().size()));
        QCOMPARE(model.idAt(model.count() - 1), QStringLiteral("about"));
        QCOMPARE(model.idAt(model.count()), QString());
        QCOMPARE(model.idAt(-1), QString());
        QCOMPARE(model.resolve("verify"), QStringLiteral("verify"));
        QCOMPARE(model.resolve(""), QStringLiteral("quickstart"));
        QCOMPARE(model.resolve("no-such-topic"), QStringLiteral("quickstart"));
    }

    void queryFilters_data()
    {
        QTest::addColumn<QStringList>("queries");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("resets");
        QTest::newRow("one word") << QStringList{"wipe"} << QStringList{"erase"} << 1;
        // "w" is in all three; "wi" drops one; "wip" already gives the final list.
        QTest::newRow("typed letter by letter") << QStringList{"w", "wi", "wip", "wipe"} << QStringList{"erase"} << 2;
        QTest::newRow("back to empty") << QStringList{"wipe", ""} << QStringList{"burn", "erase", "log"} << 2;
        QTest::newRow("same results, no reset") << QStringList{"wipe", "wipe ", " wipe"} << QStringList{"erase"} << 1;
        QTest::newRow("nothing") << QStringList{"zzzz"} << QStringList{} << 1;
    }

    void queryFilters()
    {
        QFETCH(QStringList, queries);
        QFETCH(QStringList, expected);
        QFETCH(int, resets);
        HelpModel model({{"burn", "Burning", "Put a disc in. Watch the window.", {}},
                         {"erase", "Erase a disc", "wipe it", {"wipe"}},
                         {"log", "Log", "What happened", {}}});
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        QSignalSpy results(&model, &HelpModel::resultsChanged);
        QSignalSpy query(&model, &HelpModel::queryChanged);
        for (const QString &q : queries)
            model.setQuery(q);
        QCOMPARE(rows(model), expected);
        QCOMPARE(model.count(), expected.size());
        QCOMPARE(model.query(), queries.last());
        QCOMPARE(query.size(), queries.size());
        QCOMPARE(reset.size(), resets);
        QCOMPARE(results.size(), resets);
    }

    void topicGivesBlocks()
    {
        HelpModel model({{"t", "Title", "Intro\n## Head\n  • Choose Folder…\n\nEnd", {}}});
        const QVariantMap topic = model.topic("t");
        QCOMPARE(topic.value("id").toString(), QStringLiteral("t"));
        QCOMPARE(topic.value("title").toString(), QStringLiteral("Title"));
        QStringList blocks;
        for (const QVariant &b : topic.value("blocks").toList())
            blocks << b.toMap().value("kind").toString() + u':' + b.toMap().value("text").toString();
        QCOMPARE(blocks, QStringList({"paragraph:Intro", "heading:Head", QStringLiteral("bullet:Choose Folder…"), "paragraph:End"}));
        QVERIFY(model.topic("missing").isEmpty());

        // A topic filtered out of the list can still be shown.
        HelpModel all;
        all.setQuery("wipe");
        QCOMPARE(all.indexOf("verify"), -1);
        QCOMPARE(all.topic("verify").value("title").toString(), QStringLiteral("Verifying an image against a disc"));
        QCOMPARE(all.indexOf("erase"), 0);
    }
};

QTEST_GUILESS_MAIN(TestHelpModel)
#include "tst_helpmodel.moc"
