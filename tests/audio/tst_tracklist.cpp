#include "TestEnv.h"
#include "audio/DiscProject.h"
#include "audio/TrackListModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

// Adds one real file per title (of `seconds` each) and waits for them.
bool addTracks(DiscProject &p, const TestEnv &env, const QStringList &names, double seconds = 1)
{
    QStringList paths;
    for (const QString &name : names) {
        const QString path = env.path(name + QStringLiteral(".wav"));
        if (!TestEnv::writeWav(path, seconds, 8000, 1))
            return false;
        paths << path;
    }
    QSignalSpy added(&p, &DiscProject::tracksAdded);
    p.add(paths);
    return added.wait(10000);
}

QStringList column(const QAbstractItemModel &m, int role)
{
    QStringList out;
    for (int r = 0; r < m.rowCount(); ++r)
        out << m.data(m.index(r, 0), role).toString();
    return out;
}

} // namespace

class TstTrackList : public QObject
{
    Q_OBJECT

    TestEnv env;

private slots:
    void followsEdits_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("signal"); // the one structural signal expected
        QTest::newRow("add") << "add" << QStringList{"a", "b", "c", "d", "e"} << "rowsInserted";
        QTest::newRow("move down") << "move 0 1" << QStringList{"b", "a", "c"} << "rowsMoved";
        QTest::newRow("move up at the end") << "move 2 -1" << QStringList{"a", "c", "b"} << "rowsMoved";
        QTest::newRow("move outside") << "move 0 -1" << QStringList{"a", "b", "c"} << "";
        QTest::newRow("remove middle") << "remove 1" << QStringList{"a", "c"} << "rowsRemoved";
        QTest::newRow("remove last") << "remove 2" << QStringList{"a", "b"} << "rowsRemoved";
        QTest::newRow("clear") << "clear" << QStringList{} << "rowsRemoved";
        QTest::newRow("rename") << "rename 2 Finale" << QStringList{"a", "b", "Finale"} << "dataChanged";
        QTest::newRow("edit through the model") << "setData 0 Opening" << QStringList{"Opening", "b", "c"}
                                                << "dataChanged";
    }

    void followsEdits()
    {
        QFETCH(QString, edit);
        QFETCH(QStringList, titles);
        QFETCH(QString, signal);
        DiscProject p;
        QVERIFY(addTracks(p, env, {"a", "b", "c"}));
        TrackListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setProject(&p);

        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

        const QStringList words = edit.split(QLatin1Char(' '));
        if (words[0] == QLatin1String("add"))
            QVERIFY(addTracks(p, env, {"d", "e"}));
        else if (words[0] == QLatin1String("move"))
            p.move(words[1].toInt(), words[2].toInt());
        else if (words[0] == QLatin1String("remove"))
            p.remove(words[1].toInt());
        else if (words[0] == QLatin1String("clear"))
            p.clear();
        else if (words[0] == QLatin1String("rename"))
            p.rename(words[1].toInt(), words[2]);
        else
            QVERIFY(model.setData(model.index(words[1].toInt()), words[2]));

        QCOMPARE(column(model, TrackListModel::TitleRole), titles);
        QCOMPARE(column(model, Qt::DisplayRole), titles);
        QStringList fromProject;
        for (const TrackItem &t : p.tracks())
            fromProject << t.title;
        QCOMPARE(fromProject, titles);

        QCOMPARE(reset.count(), 0);
        QCOMPARE(inserted.count(), signal == QLatin1String("rowsInserted") ? 1 : 0);
        QCOMPARE(removed.count(), signal == QLatin1String("rowsRemoved") ? 1 : 0);
        QCOMPARE(moved.count(), signal == QLatin1String("rowsMoved") ? 1 : 0);
        QCOMPARE(changed.count(), signal == QLatin1String("dataChanged") ? 1 : 0);
    }

    void roles()
    {
        DiscProject p;
        QVERIFY(addTracks(p, env, {"long one"}, 187.4));
        TrackListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setProject(&p);
        const QHash<int, QByteArray> names = model.roleNames();
        QCOMPARE(names.value(TrackListModel::TitleRole), QByteArray("title"));
        QCOMPARE(names.value(TrackListModel::SecondsRole), QByteArray("seconds"));
        QCOMPARE(names.value(TrackListModel::LengthTextRole), QByteArray("lengthText"));
        const QModelIndex row = model.index(0);
        QCOMPARE(row.data(TrackListModel::TitleRole).toString(), QStringLiteral("long one"));
        QVERIFY(std::abs(row.data(TrackListModel::SecondsRole).toDouble() - 187.4) < 1e-3);
        QCOMPARE(row.data(TrackListModel::LengthTextRole).toString(), QStringLiteral("3:07"));
        QVERIFY(model.flags(row) & Qt::ItemIsEditable);
        // Only the title can be edited, and only on a row that exists.
        QVERIFY(!model.setData(row, 12.0, TrackListModel::SecondsRole));
        QVERIFY(!model.setData(model.index(0).sibling(1, 0), QStringLiteral("x")));
        QVERIFY(!model.index(1).isValid());
        QVERIFY(!model.data(model.index(0).sibling(5, 0), TrackListModel::TitleRole).isValid());
    }

    void switchesProjects()
    {
        DiscProject first, second;
        QVERIFY(addTracks(first, env, {"a", "b"}));
        QVERIFY(addTracks(second, env, {"x"}));
        TrackListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy projectChanged(&model, &TrackListModel::projectChanged);
        model.setProject(&first);
        model.setProject(&first);
        QCOMPARE(projectChanged.count(), 1);
        QCOMPARE(model.rowCount(), 2);
        model.setProject(&second);
        QCOMPARE(column(model, TrackListModel::TitleRole), QStringList{"x"});
        // The old project no longer reaches the model.
        first.clear();
        QCOMPARE(model.rowCount(), 1);
        model.setProject(nullptr);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(projectChanged.count(), 3);
    }

    void projectGoneEmptiesTheList()
    {
        auto p = std::make_unique<DiscProject>();
        QVERIFY(addTracks(*p, env, {"a", "b"}));
        TrackListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setProject(p.get());
        QSignalSpy projectChanged(&model, &TrackListModel::projectChanged);
        p.reset();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.project(), nullptr);
        QCOMPARE(projectChanged.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TstTrackList)
#include "tst_tracklist.moc"
