// The help topics, their search and their markup.

#include "help/HelpTopics.h"

#include <QSet>
#include <QTest>

namespace {

QStringList ids(const QList<KLVOHelpTopic> &topics)
{
    QStringList out;
    for (const KLVOHelpTopic &t : topics)
        out.append(t.id);
    return out;
}

KLVOHelpTopic byId(const QString &id)
{
    for (const KLVOHelpTopic &t : KLVOHelp::allTopics())
        if (t.id == id)
            return t;
    return {};
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
    void keywordsAreLowerCase();
    void kitAddsOnlyWhatIsMissing();
    void idsAreUnique();
    void cardTopicsExist();
    void search_data();
    void search();
    void searchRanksTitleMatchesFirst();
    void searchFoldsDiacriticsAndCase_data();
    void searchFoldsDiacriticsAndCase();
    void searchSeesKeywords();
    void markup_data();
    void markup();
    void bodiesAreForLinux_data();
    void bodiesAreForLinux();
    void everyBodyRenders();
};

void TestHelpTopics::keywordsAreLowerCase()
{
    for (const KLVOHelpTopic &t : TDHelp::topics()) {
        for (const QString &k : t.keywords)
            QVERIFY2(k == k.toLower(), qPrintable(t.id + ": " + k));
    }
}

void TestHelpTopics::kitAddsOnlyWhatIsMissing()
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

void TestHelpTopics::idsAreUnique()
{
    const QStringList all = ids(KLVOHelp::allTopics());
    QCOMPARE(QSet<QString>(all.begin(), all.end()).size(), all.size());
}

void TestHelpTopics::cardTopicsExist()
{
    const QStringList all = ids(KLVOHelp::allTopics());
    for (const char *id : {"burn-image", "make-folder", "make-disc", "erase", "checksums", "verify", "mount", "queue",
                           "burners"})
        QVERIFY2(all.contains(QLatin1String(id)), id);
}

void TestHelpTopics::search_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("expected");

    const QStringList everything = ids(KLVOHelp::allTopics());
    QTest::newRow("empty") << QString() << everything;
    QTest::newRow("spaces only") << QStringLiteral("   ") << everything;

    // Titles with ISO first, in list order; then every other topic that
    // mentions iso anywhere, in list order.
    QStringList iso = {"burn-image", "make-folder", "make-disc"};
    for (const KLVOHelpTopic &t : KLVOHelp::allTopics()) {
        const QString text = (t.title + '\n' + t.body + '\n' + t.keywords.join(' ')).toLower();
        if (!iso.contains(t.id) && text.contains("iso"))
            iso.append(t.id);
    }
    QVERIFY(iso.size() > 3);
    QTest::newRow("ISO") << QStringLiteral("ISO") << iso;
    QTest::newRow("iso, extra spaces") << QStringLiteral("  iso ") << iso;

    // Both words anywhere; "burn" is in some titles, and those come first.
    QStringList titled, untitled;
    for (const KLVOHelpTopic &t : KLVOHelp::allTopics()) {
        const QString text = (t.title + '\n' + t.body + '\n' + t.keywords.join(' ')).toLower();
        if (!text.contains("sha") || !text.contains("burn"))
            continue;
        const QString title = t.title.toLower();
        (title.contains("sha") || title.contains("burn") ? titled : untitled).append(t.id);
    }
    QVERIFY(titled.contains("burn-image") && !untitled.isEmpty());
    QTest::newRow("sha burn") << QStringLiteral("sha burn") << titled + untitled;
    QTest::newRow("burn sha, same") << QStringLiteral("BURN   Sha") << titled + untitled;

    QTest::newRow("nothing") << QStringLiteral("zzzz") << QStringList();
    QTest::newRow("one word missing") << QStringLiteral("erase zzzz") << QStringList();
}

void TestHelpTopics::search()
{
    QFETCH(QString, query);
    QFETCH(QStringList, expected);
    QCOMPARE(ids(KLVOHelp::search(query)), expected);
}

void TestHelpTopics::searchRanksTitleMatchesFirst()
{
    const QList<KLVOHelpTopic> list = {
        make("1", "Alpha", "mentions disc"),
        make("2", "Disc things", "x"),
        make("3", "Beta", "disc again"),
        make("4", "More DISCS", "y"),
        make("5", "Gamma", "nothing here"),
    };
    QCOMPARE(ids(KLVOHelp::search("disc", list)), QStringList({"2", "4", "1", "3"}));
    // One word in the title is enough to rank first; all words must match somewhere.
    QCOMPARE(ids(KLVOHelp::search("disc again", list)), QStringList({"3"}));
    QCOMPARE(ids(KLVOHelp::search("gamma here", list)), QStringList({"5"}));
}

void TestHelpTopics::searchFoldsDiacriticsAndCase_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("text");

    QTest::newRow("cafe finds café") << "cafe" << QStringLiteral("Meet at the café");
    QTest::newRow("CAFÉ finds cafe") << QStringLiteral("CAFÉ") << "the cafe";
    QTest::newRow("decomposed é") << "cafe" << QStringLiteral("cafe\u0301 au lait");
    QTest::newRow("umlaut") << "uber" << QStringLiteral("Über alles");
    QTest::newRow("turkish dotted I, no locale") << "istanbul" << QStringLiteral("İSTANBUL");
}

void TestHelpTopics::searchFoldsDiacriticsAndCase()
{
    QFETCH(QString, query);
    QFETCH(QString, text);
    const QList<KLVOHelpTopic> list = {make("other", "Other", "nothing"), make("hit", "Topic", text)};
    QCOMPARE(ids(KLVOHelp::search(query, list)), QStringList({"hit"}));
}

void TestHelpTopics::searchSeesKeywords()
{
    // "finder" is only a keyword of the mount topic, never in a body.
    QCOMPARE(ids(KLVOHelp::search("finder")), QStringList({"mount"}));
    // Keyword phrases match across their space.
    QVERIFY(ids(KLVOHelp::search("two drives")).contains("queue"));
    // Words must not match across the title/body/keyword boundaries.
    const QList<KLVOHelpTopic> list = {make("t", "ab", "cd", {"ef"})};
    QVERIFY(KLVOHelp::search("bc", list).isEmpty());
    QVERIFY(KLVOHelp::search("de", list).isEmpty());
}

void TestHelpTopics::markup_data()
{
    using Kind = KLVOHelp::Block::Kind;
    QTest::addColumn<QString>("body");
    QTest::addColumn<QList<KLVOHelp::Block>>("blocks");

    QTest::newRow("bullet, indented") << QStringLiteral("  • Choose Folder…")
                                      << QList<KLVOHelp::Block>{{Kind::bullet, QStringLiteral("Choose Folder…")}};
    QTest::newRow("heading") << "## Copies" << QList<KLVOHelp::Block>{{Kind::heading, "Copies"}};
    QTest::newRow("blank line") << "" << QList<KLVOHelp::Block>{};
    QTest::newRow("spaces and tabs only") << " \t \n\t" << QList<KLVOHelp::Block>{};
    QTest::newRow("tabs trimmed") << "\t## Gap\t\n\tPlain words \t"
                                  << QList<KLVOHelp::Block>{{Kind::heading, "Gap"}, {Kind::paragraph, "Plain words"}};
    QTest::newRow("marks need their space")
        << QStringLiteral("##Copies\n•Bullet\n#  One hash")
        << QList<KLVOHelp::Block>{{Kind::paragraph, "##Copies"},
                                  {Kind::paragraph, QStringLiteral("•Bullet")},
                                  {Kind::paragraph, "#  One hash"}};
    QTest::newRow("order kept, blanks skipped")
        << QStringLiteral("First\n\n## Head\n• one\n\n• two\nLast")
        << QList<KLVOHelp::Block>{{Kind::paragraph, "First"}, {Kind::heading, "Head"}, {Kind::bullet, "one"},
                                  {Kind::bullet, "two"}, {Kind::paragraph, "Last"}};
    QTest::newRow("marks only at the start") << QStringLiteral("Say • and ## here")
                                             << QList<KLVOHelp::Block>{{Kind::paragraph, QStringLiteral("Say • and ## here")}};
}

void TestHelpTopics::markup()
{
    QFETCH(QString, body);
    QFETCH(QList<KLVOHelp::Block>, blocks);
    QCOMPARE(KLVOHelp::parse(body), blocks);
}

void TestHelpTopics::bodiesAreForLinux_data()
{
    QTest::addColumn<QString>("id");
    for (const KLVOHelpTopic &t : KLVOHelp::allTopics())
        QTest::newRow(qPrintable(t.id)) << t.id;
}

void TestHelpTopics::bodiesAreForLinux()
{
    QFETCH(QString, id);
    const KLVOHelpTopic t = byId(id);
    for (const char *word : {"macOS", "Finder", "the Mac", "⌘", "⇧", "⌥", "hdiutil", "Disc Recording"}) {
        const QString w = QString::fromUtf8(word);
        QVERIFY2(!t.body.contains(w, Qt::CaseInsensitive) && !t.title.contains(w, Qt::CaseInsensitive),
                 qPrintable(id + " mentions " + w));
    }
}

void TestHelpTopics::everyBodyRenders()
{
    // Every topic opens with a paragraph (the title is shown above it) and
    // has at least one heading or bullet to break it up.
    using Kind = KLVOHelp::Block::Kind;
    for (const KLVOHelpTopic &t : KLVOHelp::allTopics()) {
        const QList<KLVOHelp::Block> blocks = KLVOHelp::parse(t.body);
        QVERIFY2(!blocks.isEmpty() && blocks.first().kind == Kind::paragraph, qPrintable(t.id));
        QVERIFY2(std::any_of(blocks.begin(), blocks.end(), [](const KLVOHelp::Block &b) { return b.kind != Kind::paragraph; }),
                 qPrintable(t.id));
        for (const KLVOHelp::Block &b : blocks)
            QVERIFY2(!b.text.isEmpty(), qPrintable(t.id));
    }
}

QTEST_GUILESS_MAIN(TestHelpTopics)
#include "tst_helptopics.moc"
