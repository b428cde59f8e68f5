// The emulated drive is a fair burner: cdrskin and cdrdao, which share none of
// our code, burn and read through it (LD_PRELOAD) and agree with each other.

#include "BurnFixtures.h"
#include "EmulatedDrives.h"
#include "ImageFixtures.h"

#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

class TestMmcDrive : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        for (const char *tool : {"cdrskin", "cdrdao"})
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                QSKIP("cdrskin and cdrdao are not installed (scripts/install-deps installs them)");
        QVERIFY(m_dir.isValid());
    }

    // cdrskin burns an audio CD from a cue sheet; cdrdao reads back its table
    // of contents, pre-gaps, indexes, ISRCs, catalogue number, CD-Text and
    // audio, then burns its own toc of it onto a second blank: the two discs
    // are the same, lead-in CD-Text included.
    void audioDiscAgrees()
    {
        const QString dir = m_dir.path();
        // 450, 413 and 540 sectors; the third track's first second is its pre-gap.
        // Noise: cdrdao's jitter correction would slip on a repeating pattern.
        QByteArray audio(1403 * 2352, Qt::Uninitialized);
        QRandomGenerator(9).fillRange(reinterpret_cast<quint32 *>(audio.data()), audio.size() / 4);
        QVERIFY(writeFile(dir + QStringLiteral("/disc.bin"), audio));
        QVERIFY(writeFile(dir + QStringLiteral("/disc.cue"),
                          "CATALOG 0123456789012\nPERFORMER \"The Band\"\nTITLE \"Album\"\nFILE \"disc.bin\" BINARY\n"
                          "  TRACK 01 AUDIO\n    TITLE \"One\"\n    ISRC USABC2600001\n    INDEX 01 00:00:00\n"
                          "  TRACK 02 AUDIO\n    TITLE \"Deux \xe9t\xe9\"\n    ISRC USABC2600002\n    PREGAP 00:02:00\n"
                          "    INDEX 01 00:06:00\n"
                          "  TRACK 03 AUDIO\n    TITLE \"Three\"\n    INDEX 00 00:10:38\n    INDEX 01 00:11:38\n"
                          "    INDEX 02 00:14:38\n"));
        EmulatedDrives drives({QStringLiteral("CD-R"), QStringLiteral("CD-R")});
        const QString first = QStringLiteral("dev=") + EmulatedDrives::device(0);
        const auto burned = drives.run(QStringLiteral("cdrskin"), {first, "-sao", "-text", "cuefile=disc.cue"}, dir);
        QVERIFY2(burned.code == 0, qPrintable(burned.output));

        const auto toc = drives.run(QStringLiteral("cdrdao"), {"read-toc", "--device", EmulatedDrives::device(0), "read.toc"}, dir);
        QVERIFY2(toc.code == 0, qPrintable(toc.output));
        QString text = QString::fromLatin1(readFile(dir + QStringLiteral("/read.toc")));
        for (const char *line : {"CATALOG \"0123456789012\"", "TITLE \"Album\"", "PERFORMER \"The Band\"", "TITLE \"One\"",
                                 "TITLE \"Deux \\351t\\351\"", "ISRC \"USABC2600001\"", "ISRC \"USABC2600002\"",
                                 "START 00:02:00", "START 00:01:00", "INDEX 00:03:00"})
            QVERIFY2(text.contains(QLatin1String(line)), line);

        const auto read = drives.run(QStringLiteral("cdrdao"),
                       {"read-cd", "--device", EmulatedDrives::device(0), "--datafile", "read.bin", "copy.toc"}, dir);
        QVERIFY2(read.code == 0, qPrintable(read.output));
        // Track 2's pre-gap was made by the drive: silence between the tracks.
        const QByteArray expected = audio.left(450 * 2352) + QByteArray(150 * 2352, '\0') + audio.mid(450 * 2352);
        QVERIFY(swapped(readFile(dir + QStringLiteral("/read.bin"))) == expected);

        QVERIFY(writeFile(dir + QStringLiteral("/again.toc"), text.replace(QLatin1String("\"data.wav\""), QLatin1String("\"read.bin\"")).toLatin1()));
        const auto again = drives.run(QStringLiteral("cdrdao"),
                        {"write", "--device", EmulatedDrives::device(1), "--driver", "generic-mmc:0x10", "-n", "again.toc"}, dir);
        QVERIFY2(again.code == 0, qPrintable(again.output));
        for (const char *file : {"/sectors.bin", "/cdtext.bin"})
            QVERIFY2(readFile(drives.folder(0) + QLatin1String(file)) == readFile(drives.folder(1) + QLatin1String(file)), file);
        const auto one = drives.run(QStringLiteral("cdrskin"), {first, "-toc"}, dir);
        const auto two = drives.run(QStringLiteral("cdrskin"), {QStringLiteral("dev=") + EmulatedDrives::device(1), "-toc"}, dir);
        QCOMPARE(two.output.section(QLatin1String("\nfirst:"), 1), one.output.section(QLatin1String("\nfirst:"), 1));
        QVERIFY(one.output.contains(QLatin1String("track:   3 lba:      1013")));
    }

    // cdrskin writes data in each way the drive offers, and blanks a CD-RW.
    void dataDiscs_data()
    {
        QTest::addColumn<QString>("medium");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("summary"); // what cdrskin -toc says of the disc afterwards
        QTest::newRow("CD-RW track at once, then blanked") << "CD-RW" << QStringList{"-tao", "blank=fast"} << "0 sessions, 0 tracks, blank CD-RW";
        QTest::newRow("DVD-R") << "DVD-R" << QStringList{} << "1 sessions, 1 tracks, closed DVD-R";
        QTest::newRow("BD-R") << "BD-R" << QStringList{} << "1 sessions, 1 tracks, closed BD-R";
        // libburn keeps no table of contents on an overwritable disc.
        QTest::newRow("DVD+RW") << "DVD+RW" << QStringList{} << "0 sessions, 0 tracks, blank DVD+RW";
    }
    void dataDiscs()
    {
        QFETCH(QString, medium);
        QFETCH(QStringList, args);
        QFETCH(QString, summary);
        const QString dir = m_dir.path();
        QVERIFY(writeFile(dir + QStringLiteral("/data.iso"), patternBytes(1465 * 2048, 3)));
        EmulatedDrives drives({medium});
        const QString dev = QStringLiteral("dev=") + EmulatedDrives::device(0);
        const bool blank = args.removeAll(QStringLiteral("blank=fast")) > 0;
        const auto burned = drives.run(QStringLiteral("cdrskin"), QStringList{dev} + args + QStringList{"-data", "data.iso"}, dir);
        QVERIFY2(burned.code == 0, qPrintable(burned.output));
        QVERIFY(drives.sectors(0, 0, 1465) == patternBytes(1465 * 2048, 3));
        if (blank) {
            const auto blanked = drives.run(QStringLiteral("cdrskin"), {dev, "blank=fast"}, dir);
            QVERIFY2(blanked.code == 0, qPrintable(blanked.output));
        }
        const auto toc = drives.run(QStringLiteral("cdrskin"), {dev, "-toc"}, dir);
        QVERIFY2(toc.output.contains(QStringLiteral("Media summary: ") + summary), qPrintable(toc.output));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestMmcDrive)
#include "tst_mmcdrive.moc"
