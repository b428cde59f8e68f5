#include "ImageFixtures.h"
#include "TestEnv.h"
#include "images/ImageInfo.h"
#include "images/ImageMaker.h"
#include "platform/udif/Udif.h"

namespace {

// The files xorriso itself finds in an image, as sorted ISO paths.
QStringList filesInImage(const QString &image)
{
    QProcess p;
    p.start(QStringLiteral("xorriso"), {"-indev", image, "-find", "/", "-type", "f"});
    if (!p.waitForFinished(30000))
        return {QStringLiteral("xorriso did not finish")};
    QStringList files;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n'))
        if (!line.trimmed().isEmpty())
            files << QString::fromUtf8(line.trimmed()).remove(QLatin1Char('\''));
    files.sort();
    return files;
}

// xorriso processes whose command line mentions `text`.
int toolsMentioning(const QString &text)
{
    int count = 0;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmd(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!cmd.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = cmd.readAll();
        if (line.left(line.indexOf('\0')).endsWith("xorriso") && line.contains(text.toUtf8()))
            ++count;
    }
    return count;
}

} // namespace

class TstImageMaker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xorriso")).isEmpty())
            QSKIP("xorriso is not installed (scripts/install-deps installs it)");
        m_folder = m_env.path(QStringLiteral("My Files"));
        QVERIFY(writeFile(m_folder + "/readme.txt", "hello\n"));
        QVERIFY(writeFile(m_folder + "/.hidden-note", "secret\n"));
        QVERIFY(writeFile(m_folder + "/photos/2024/Grüße aus Köln.jpg", QByteArray(70000, 'j')));
        QVERIFY(writeFile(m_folder + "/photos/.cache/thumb.bin", QByteArray(1234, 't')));
        QVERIFY(writeFile(m_folder + "/a name that is longer than sixty-four characters so Joliet must be long.txt",
                          "long\n"));
        QVERIFY(writeFile(m_folder + "/empty.txt", {}));
        QVERIFY(TestEnv::writePattern(m_folder + "/data/big.bin", 3 * mib + 5));
        QVERIFY(QFile::link(m_folder + "/readme.txt", m_folder + "/link-to-readme"));
    }

    void volumeName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("volume");

        QTest::newRow("slash and bang") << "My Files / 2024!" << "My Files _ 2024_";
        QTest::newRow("only symbols") << "!@#$" << "____";
        QTest::newRow("only spaces") << "   " << "DISC";
        QTest::newRow("33 characters cut to 32") << QString(32, 'a') + "b" << QString(32, 'a');
        QTest::newRow("40 characters cut to 32 then trimmed") << "abcdefghijklmnopqrstuvwxyz12345 ABCDEFGH" << "abcdefghijklmnopqrstuvwxyz12345";
        QTest::newRow("accents are not ASCII") << "Café Noël" << "Caf_ No_l";
        QTest::newRow("a character outside the BMP is one underscore") << "A😀B" << "A_B";
        QTest::newRow("tab inside becomes underscore") << "a\tb" << "a_b";
        QTest::newRow("keeps dash and underscore") << "  back-up_01  " << "back-up_01";
    }

    void volumeName()
    {
        QFETCH(QString, name);
        QFETCH(QString, volume);
        QCOMPARE(ImageMaker::volumeName(name), volume);
    }

    void folderBytes()
    {
        // Hidden files count (they go into the image); the symlink doesn't.
        const qint64 expected = 6 + 7 + 70000 + 1234 + 5 + 0 + (3 * mib + 5);
        QCOMPARE(ImageMaker::folderBytes(m_folder), expected);
        QCOMPARE(ImageMaker::folderBytes(m_env.path(QStringLiteral("no such folder"))), 0);
    }

    // An ISO holds the nested and hidden files under the cleaned volume name.
    // A DMG is the HFS+ hybrid xorriso made, compressed: decoded, it holds the
    // same. Either way the older image is replaced and the work files are gone.
    void makes_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("formatName");
        QTest::newRow("ISO") << int(ImageFormat::iso) << "My Files.iso" << "ISO 9660 image";
        QTest::newRow("DMG") << int(ImageFormat::dmg) << "My Files.dmg" << "Mac disk image (DMG)";
    }

    void makes()
    {
        QFETCH(int, format);
        QFETCH(QString, name);
        QFETCH(QString, formatName);
        const QString outDir = m_env.path(QStringLiteral("out-") + name), output = overOlder(outDir + u'/' + name);

        QList<double> reports;
        QCOMPARE(ImageMaker::make(m_folder, output, ImageFormat(format), QStringLiteral("My Files / 2024!"),
                                  [&](double p) { reports << p; }, nullptr), output);
        for (int i = 1; i < reports.size(); ++i)
            QVERIFY(reports[i] >= reports[i - 1]);
        QCOMPARE(reports.value(reports.size() - 1), 1.0);
        QCOMPARE(leftovers(outDir), QStringList{name});
        QCOMPARE(ImageInfo::inspect(output)->formatName(), formatName);

        QString image = output;
        if (ImageFormat(format) == ImageFormat::dmg) {
            image = outDir + QStringLiteral("/decoded.img");
            Udif::Reader::open(output)->decodeTo(image);
            QVERIFY(ImageInfo::inspect(image)->hasHFS);
        }
        const std::optional<ImageInfo> info = ImageInfo::inspect(image);
        QVERIFY(info);
        QVERIFY(info->hasISO9660);
        QCOMPARE(info->volumeName, QStringLiteral("My Files _ 2024_"));
        QCOMPARE(filesInImage(image),
                 QStringList({"/.hidden-note",
                              "/a name that is longer than sixty-four characters so Joliet must be long.txt",
                              "/data/big.bin", "/empty.txt", "/photos/.cache/thumb.bin",
                              "/photos/2024/Grüße aus Köln.jpg", "/readme.txt"}));
    }

    void cancelledDmgKeepsTheOlderOne()
    {
        const QString outDir = m_env.path(QStringLiteral("out-dmg-cancelled")), output = overOlder(outDir + "/x.dmg");
        // Cancelled while the container is written, after xorriso is done.
        CancelToken token;
        const TDError e = thrown([&] {
            ImageMaker::make(m_folder, output, ImageFormat::dmg, QStringLiteral("V"), [&](double p) {
                if (p > 0.35 && p < 1.0)
                    token.cancel();
            }, &token);
        });
        QCOMPARE(e, TDError::cancelled());
        QCOMPARE(leftovers(outDir), QStringList{QStringLiteral("x.dmg")});
        QCOMPARE(readFile(output), QByteArray("an older image"));
    }

    void refuses_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("error");

        const QString out = m_env.path(QStringLiteral("out-refused"));
        QTest::newRow("folder missing") << m_env.path(QStringLiteral("Gone Folder")) << out + "/x.iso" << int(ImageFormat::iso) << "The folder Gone Folder can't be found.";
        QTest::newRow("folder is a file") << m_folder + "/readme.txt" << out + "/x.iso" << int(ImageFormat::iso) << "The folder readme.txt can't be found.";
        QTest::newRow("output folder missing") << m_folder << out + "/nowhere/x.iso" << int(ImageFormat::iso) << "The folder to save the image in doesn't exist.";
        QTest::newRow("output folder is a file") << m_folder << m_folder + "/readme.txt/x.iso" << int(ImageFormat::iso) << "The place to save the image in isn't a folder.";
    }

    void refuses()
    {
        QFETCH(QString, folder);
        QFETCH(QString, output);
        QFETCH(int, format);
        QFETCH(QString, error);

        const QString outDir = m_env.path(QStringLiteral("out-refused"));
        QVERIFY(QDir().mkpath(outDir));
        QCOMPARE(thrown([&] { ImageMaker::make(folder, output, ImageFormat(format), QStringLiteral("V"), {}, nullptr); }).text(),
                 error);
        QCOMPARE(leftovers(outDir), QStringList());
    }

    // Cancelled on xorriso's first percentage, while it writes: the tool is
    // stopped, its work file removed and the older image kept. The (sparse)
    // files take seconds to write, xorriso reports once a second.
    void cancelledWhileWritingKeepsTheOlderOne()
    {
        const QString folder = m_env.path(QStringLiteral("Big"));
        for (const char *name : {"/one.bin", "/two.bin"})
            QVERIFY(TestEnv::writeSparse(folder + name, 2048 * mib));
        const QString outDir = m_env.path(QStringLiteral("out-big")), output = overOlder(outDir + "/big.iso");
        const QString work = ImageMaker::workPath(output, ImageFormat::iso);
        CancelToken token;
        int runningWhenCancelled = -1;
        const auto progress = [&](double p) {
            if (p < 1.0 && !token.isCancelled()) {
                runningWhenCancelled = toolsMentioning(work);
                token.cancel();
            }
        };
        QCOMPARE(thrown([&] { ImageMaker::make(folder, output, ImageFormat::iso, QStringLiteral("Big"), progress, &token); }),
                 TDError::cancelled());
        QCOMPARE(runningWhenCancelled, 1);
        QCOMPARE(toolsMentioning(work), 0);
        QCOMPARE(leftovers(outDir), QStringList{QStringLiteral("big.iso")});
        QCOMPARE(readFile(output), QByteArray("an older image"));
        QVERIFY(QDir(folder).removeRecursively());
    }

private:
    // `output`, where an older image already is (writeFile makes its folder).
    static QString overOlder(const QString &output) { return writeFile(output, "an older image") ? output : QString(); }

    TestEnv m_env;
    QString m_folder; // nested and hidden files
};

QTEST_GUILESS_MAIN(TstImageMaker)
#include "tst_imagemaker.moc"
