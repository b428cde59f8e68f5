// The help topics, their search and their markup.

#include "FuzzSeeds.h"
#include "help/HelpTopics.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

// The help target's input: the query, the topic's title, then its body.
void keepFuzzSeed(const QString &input) { ::keepFuzzSeed(QStringLiteral("help"), input.toUtf8()); }

QStringList ids(const QList<KLVOHelpTopic> &topics)
{
    QStringList out;
    for (const KLVOHelpTopic &t : topics)
        out.append(t.id);
    return out;
}

KLVOHelpTopic make(const QString &id, const QString &title, const QString &body, const QStringList &keywords = {})
{
    return {id, title, body, keywords};
}

} // namespace

class TestHelpTopics : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void kitAddsOnlyWhatIsMissing()
    {
        const QList<KLVOHelpTopic> all = KLVOHelp::allTopics();
        QCOMPARE(all.size(), TDHelp::topics().size() + 1);
        QCOMPARE(all.mid(0, all.size() - 1), TDHelp::topics());
        QCOMPARE(all.last().id, QStringLiteral("about"));
        QCOMPARE(all.last().title, QStringLiteral("About KLVO"));
        QVERIFY(all.last().body.contains(KLVOHelp::makerUrl()));

        // A program without a look topic gets the kit's, before the about topic.
        const QList<KLVOHelpTopic> bare = KLVOHelp::allTopics({make("a", "A", "a")});
        QCOMPARE(ids(bare), QStringList({"a", "look", "about"}));
        // One that brings its own about topic keeps it where it is.
        const QList<KLVOHelpTopic> own = KLVOHelp::allTopics({make("about", "Ours", "x"), make("look", "L", "y")});
        QCOMPARE(ids(own), QStringList({"about", "look"}));
        QCOMPARE(own.first().title, QStringLiteral("Ours"));
    }

    // Unique, and every card's help button (a helpTopic in the screens' QML) finds its topic.
    void topicIds()
    {
        const QStringList all = ids(KLVOHelp::allTopics());
        QCOMPARE(QSet<QString>(all.begin(), all.end()).size(), all.size());
        static const QRegularExpression named(QStringLiteral("helpTopic:\\s*\"([^\"]*)\""));
        int buttons = 0;
        for (QDirIterator it(QStringLiteral(TANDOR_QML_DIR), {"*.qml"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            QFile qml(it.next());
            QVERIFY(qml.open(QIODevice::ReadOnly));
            for (const QRegularExpressionMatch &m : named.globalMatch(QString::fromUtf8(qml.readAll()))) {
                QVERIFY2(all.contains(m.captured(1)), qPrintable(it.fileName() + ": " + m.captured(1)));
                ++buttons;
            }
        }
        QVERIFY(buttons > 0);
    }

    // Every word must match in the title, body or keywords (not across
    // them), accents and case folded; a word in the title ranks a topic
    // first; otherwise the list's order holds.
    void search_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("empty") << QString() << QStringList{"1", "2", "3", "4", "5", "6", "7"};
        QTest::newRow("spaces only") << QStringLiteral("   ") << QStringList{"1", "2", "3", "4", "5", "6", "7"};
        QTest::newRow("titles first") << QStringLiteral("disc") << QStringList{"2", "4", "1", "3"};
        QTest::newRow("case and spaces") << QStringLiteral("  DISC ") << QStringList{"2", "4", "1", "3"};
        QTest::newRow("both words, one in a title is enough") << QStringLiteral("again disc") << QStringList{"4", "3"};
        QTest::newRow("nothing") << QStringLiteral("zzzz") << QStringList();
        QTest::newRow("one word missing") << QStringLiteral("disc zzzz") << QStringList();
        QTest::newRow("cafe finds café, plain and decomposed") << QStringLiteral("cafe") << QStringList{"6", "5", "7"};
        QTest::newRow("CAFÉ finds cafe") << QStringLiteral("CAFÉ") << QStringList{"6", "5", "7"};
        QTest::newRow("umlaut") << QStringLiteral("uber") << QStringList{"6"};
        QTest::newRow("turkish dotted I, no locale") << QStringLiteral("istanbul") << QStringList{"7"};
        QTest::newRow("keywords count") << QStringLiteral("two drives") << QStringList{"3"};
        QTest::newRow("not across title and body") << QStringLiteral("alphamentions") << QStringList();
        QTest::newRow("not across body and keywords") << QStringLiteral("againtwo") << QStringList();
    }

    void search()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, expected);
        const QList<KLVOHelpTopic> list = {
            make("1", "Alpha", "mentions disc"), make("2", "Disc things", "x"),
            make("3", "Beta", "disc again", {"two drives"}), make("4", "More DISCS", "y again"),
            make("5", "Gamma", "the cafe"),
            make("6", QStringLiteral("Meet at the café"), QStringLiteral("Über alles")),
            make("7", "Delta", QStringLiteral("cafe\u0301 au lait in İSTANBUL")),
        };
        for (const KLVOHelpTopic &t : list)
            keepFuzzSeed(query + u'\n' + t.title + u'\n' + t.body);
        QCOMPARE(ids(KLVOHelp::search(query, list)), expected);
    }

    void markup_data()
    {
        using Kind = KLVOHelp::Block::Kind;
        QTest::addColumn<QString>("body");
        QTest::addColumn<QList<KLVOHelp::Block>>("blocks");
        QTest::newRow("bullet, indented") << QStringLiteral("  • Choose Folder…") << QList<KLVOHelp::Block>{{Kind::bullet, QStringLiteral("Choose Folder…")}};
        QTest::newRow("heading") << "## Copies" << QList<KLVOHelp::Block>{{Kind::heading, "Copies"}};
        QTest::newRow("blank line") << "" << QList<KLVOHelp::Block>{};
        QTest::newRow("spaces and tabs only") << " \t \n\t" << QList<KLVOHelp::Block>{};
        QTest::newRow("tabs trimmed") << "\t## Gap\t\n\tPlain words \t" << QList<KLVOHelp::Block>{{Kind::heading, "Gap"}, {Kind::paragraph, "Plain words"}};
        QTest::newRow("marks need their space") << QStringLiteral("##Copies\n•Bullet\n#  One hash") << QList<KLVOHelp::Block>{{Kind::paragraph, "##Copies"}, {Kind::paragraph, QStringLiteral("•Bullet")}, {Kind::paragraph, "#  One hash"}};
        QTest::newRow("order kept, blanks skipped") << QStringLiteral("First\n\n## Head\n• one\n\n• two\nLast") << QList<KLVOHelp::Block>{{Kind::paragraph, "First"}, {Kind::heading, "Head"}, {Kind::bullet, "one"}, {Kind::bullet, "two"}, {Kind::paragraph, "Last"}};
        QTest::newRow("one letter after a mark, or none") << QStringLiteral("## x\n## \n• y\n• ") << QList<KLVOHelp::Block>{{Kind::heading, "x"}, {Kind::paragraph, "##"}, {Kind::bullet, "y"}, {Kind::paragraph, QStringLiteral("•")}};
        QTest::newRow("other white space is text") << QStringLiteral(" \v\u00a0Word\r\x1f ") << QList<KLVOHelp::Block>{{Kind::paragraph, QStringLiteral("\v\u00a0Word\r\x1f")}};
        QTest::newRow("marks only at the start") << QStringLiteral("Say • and ## here") << QList<KLVOHelp::Block>{{Kind::paragraph, QStringLiteral("Say • and ## here")}};
    }

    void markup()
    {
        QFETCH(QString, body);
        QFETCH(QList<KLVOHelp::Block>, blocks);
        keepFuzzSeed(QStringLiteral("\n\n") + body);
        QCOMPARE(KLVOHelp::parse(body), blocks);
    }

    void everyBodyRenders()
    {
        // Every topic opens with a paragraph (the title is shown above it),
        // has at least one heading or bullet to break it up, and speaks of Linux.
        using Kind = KLVOHelp::Block::Kind;
        for (const KLVOHelpTopic &t : KLVOHelp::allTopics()) {
            keepFuzzSeed(t.keywords.value(0) + u'\n' + t.title + u'\n' + t.body);
            const QList<KLVOHelp::Block> blocks = KLVOHelp::parse(t.body);
            QVERIFY2(!blocks.isEmpty() && blocks.first().kind == Kind::paragraph, qPrintable(t.id));
            QVERIFY2(std::any_of(blocks.begin(), blocks.end(), [](const KLVOHelp::Block &b) { return b.kind != Kind::paragraph; }),
                     qPrintable(t.id));
            for (const char *word : {"macOS", "Finder", "the Mac", "⌘", "⇧", "⌥", "hdiutil", "Disc Recording"})
                QVERIFY2(!(t.title + t.body).contains(QString::fromUtf8(word), Qt::CaseInsensitive),
                         qPrintable(t.id + " mentions " + QString::fromUtf8(word)));
        }
    }
};

QTEST_GUILESS_MAIN(TestHelpTopics)
#include "tst_helptopics.moc"
