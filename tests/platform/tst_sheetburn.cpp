// Virtual burners burning cue and toc sheets: the BIN/CUE pair they write,
// stops, and sheets refused before or at the burn; which sheets either
// service takes.

#include "BurnRig.h"
#include "platform/sheets/RawSector.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

namespace {

constexpr qint64 sector = 2352;

QString msf(qint64 sectors)
{
    return QString::asprintf("%02lld:%02lld:%02lld", sectors / 4500, (sectors / 75) % 60, sectors % 75);
}

// A disc of three tracks: an ISO made by xorriso (MODE1/2048), 2 s of PCM
// after 2 s of PREGAP silence, and 2 s of big-endian PCM after a 1 s INDEX
// 00 gap that its file holds. Both sheets describe it; `bin` is the image a
// burner should write.
struct Disc
{
    QString folder;
    QByteArray iso, two, threeGap, three; // the PCM as the BIN holds it, little-endian
    QByteArray bin;
    QString error;

    explicit Disc(const QString &where) : folder(where)
    {
        QDir().mkpath(folder + "/content");
        writeFile(folder + "/content/readme.txt", patternBytes(5000, 3));
        QProcess xorriso;
        xorriso.start("xorriso", {"-as", "mkisofs", "-quiet", "-V", "SHEET", "-o", folder + "/data.iso",
                                  folder + "/content"});
        if (!xorriso.waitForFinished(30000) || xorriso.exitCode() != 0) {
            error = "xorriso failed: " + QString::fromLocal8Bit(xorriso.readAllStandardError());
            return;
        }
        iso = readFile(folder + "/data.iso");
        two = patternBytes(150 * sector, 5);
        threeGap = patternBytes(75 * sector, 6);
        three = patternBytes(150 * sector, 7);
        writeFile(folder + "/two.pcm", two);
        writeFile(folder + "/two.be", swapped(two));
        writeFile(folder + "/three.be", swapped(threeGap + three));

        const qint64 isoSectors = iso.size() / 2048;
        bin.resize(isoSectors * sector);
        for (qint64 i = 0; i < isoSectors; ++i)
            RawSector::encodeMode1(quint32(i), iso.constData() + i * 2048, bin.data() + i * sector);
        bin += QByteArray(150 * sector, '\0') + two + threeGap + three;

        writeFile(folder + "/disc.cue",
                  "TITLE \"Sheet Disc\"\nPERFORMER \"Band\"\n"
                  "FILE \"data.iso\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n"
                  "FILE two.pcm BINARY\n  TRACK 02 AUDIO\n    TITLE \"Two\"\n    PREGAP 00:02:00\n"
                  "    INDEX 01 00:00:00\n"
                  "FILE \"three.be\" MOTOROLA\n  TRACK 03 AUDIO\n    TITLE \"Three\"\n    INDEX 00 00:00:00\n"
                  "    INDEX 01 00:01:00\n");
        // cdrdao's raw audio files are big-endian.
        writeFile(folder + "/disc.toc",
                  "CD_ROM\nCD_TEXT { LANGUAGE_MAP { 0 : EN } LANGUAGE 0 { TITLE \"Sheet Disc\" PERFORMER \"Band\" } }\n"
                  "TRACK MODE1\nDATAFILE \"data.iso\"\n"
                  "TRACK AUDIO\nCD_TEXT { LANGUAGE 0 { TITLE \"Two\" } }\nPREGAP 00:02:00\nFILE \"two.be\" 0\n"
                  "TRACK AUDIO\nCD_TEXT { LANGUAGE 0 { TITLE \"Three\" } }\nFILE \"three.be\" 0\nSTART 00:01:00\n");
    }

    // The cue sheet the burner should write beside the BIN.
    QString cue() const
    {
        const qint64 s = iso.size() / 2048;
        return "TITLE \"Sheet Disc\"\nPERFORMER \"Band\"\nFILE \"Disc 001.bin\" BINARY\n"
               "  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
               "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    INDEX 00 " + msf(s) + "\n    INDEX 01 " + msf(s + 150) + "\n"
               "  TRACK 03 AUDIO\n    TITLE \"Three\"\n    INDEX 00 " + msf(s + 300) + "\n    INDEX 01 " + msf(s + 375) + "\n";
    }
};

bool haveXorriso() { return !QStandardPaths::findExecutable("xorriso").isEmpty(); }

} // namespace

class TestSheetBurn : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The cue and the toc of one disc burn the same BIN and CUE. Stopping
    // half-way, and a test burn, leave nothing in the folder.
    void burn_data()
    {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<bool>("verify");
        QTest::addColumn<bool>("test");
        QTest::addColumn<bool>("stop");
        QTest::newRow("cue") << "disc.cue" << false << false << false;
        QTest::newRow("cue, verified") << "disc.cue" << true << false << false;
        QTest::newRow("toc, verified") << "disc.toc" << true << false << false;
        QTest::newRow("toc, stopped") << "disc.toc" << false << false << true;
        QTest::newRow("toc, test burn") << "disc.toc" << false << true << false;
    }
    void burn()
    {
        QFETCH(QString, sheet);
        QFETCH(bool, verify);
        QFETCH(bool, test);
        QFETCH(bool, stop);
        if (!haveXorriso())
            QSKIP("xorriso is not installed");
        BurnRig rig(!stop);
        Disc disc(rig.env.path("source"));
        QVERIFY2(disc.error.isEmpty(), qPrintable(disc.error));
        const std::optional<BurnLayout> layout = rig.service.layoutForImageFile(disc.folder + "/" + sheet);
        QVERIFY(layout && layout->tracks.isEmpty());
        BurnProperties properties = keepDisc();
        properties.verify = verify;
        properties.test = test;
        if (stop)
            properties.requestedSpeed = 4 * DRUnits::cd1x;
        auto job = rig.service.burn(rig.burner, properties, *layout);
        QVERIFY(job);
        JobWatch watch(job.get());
        if (stop) {
            QTRY_VERIFY(!watch.statuses.isEmpty() && watch.last().state == DiscJobState::trackWrite
                        && watch.last().currentTrack >= 2);
            QVERIFY(!rig.files().isEmpty()); // the partial files were there
            job->abort();
        }
        QVERIFY(watch.endsOnce());
        QCOMPARE(watch.last().state, stop ? DiscJobState::failed : DiscJobState::done);
        QCOMPARE(watch.last().errorText, stop ? QString("The burn was stopped.") : QString());
        QCOMPARE(watch.saw(DiscJobState::verifying), verify);
        if (stop || test) {
            QCOMPARE(rig.files(), QStringList{});
            return;
        }
        QCOMPARE(rig.files(), (QStringList{"Disc 001.bin", "Disc 001.cue"}));
        const QByteArray bin = rig.disc("Disc 001.bin");
        QCOMPARE(bin.size(), disc.bin.size());
        QVERIFY(bin == disc.bin);
        QCOMPARE(QString::fromUtf8(rig.disc("Disc 001.cue")), disc.cue());
        // The disc took every sector, the silence too.
        QCOMPARE(rig.burner->status()->freeFrames.value_or(-1), 0);
    }

    // Only sheets that read cleanly, whose files are there and that the
    // service can burn get a layout; each row asks both services.
    void layoutForImageFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("virtualBurns");
        QTest::addColumn<bool>("libburnBurns");
        const QByteArray cue = "FILE t.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
        QTest::newRow("cue") << "a.cue" << cue << true << true;
        QTest::newRow("upper-case suffix") << "b.CUE" << cue << true << true;
        QTest::newRow("upper-case toc") << "c.TOC" << QByteArray("CD_DA\nTRACK AUDIO\nFILE \"t.bin\" 0\n") << true << true;
        QTest::newRow("missing file") << "d.cue" << QByteArray("FILE gone.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n") << false << false;
        QTest::newRow("mode no burner burns") << "e.cue" << QByteArray("FILE t.bin BINARY\nTRACK 01 CDG\nINDEX 01 00:00:00\n") << false << false;
        QTest::newRow("an image, not a sheet") << "f.iso" << cue << false << false;
        // Audio from the second sample on: not whole sectors.
        QTest::newRow("toc of part sectors") << "g.toc" << QByteArray("CD_DA\nTRACK AUDIO\nFILE \"t.bin\" 1\n") << false << false;
        // libburn's cue reader takes no raw data tracks.
        QTest::newRow("toc libburn can't burn") << "h.toc" << QByteArray("CD_ROM\nTRACK MODE1_RAW\nDATAFILE \"t.bin\"\n") << true << false;
        QTest::newRow("no such sheet") << "" << QByteArray() << false << false;
    }
    void layoutForImageFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, text);
        QFETCH(bool, virtualBurns);
        QFETCH(bool, libburnBurns);
        TestEnv env;
        // Whole sectors of 2048 and of 2352 bytes.
        QVERIFY(writeFile(env.path("t.bin"), QByteArray(147 * 2048, 'x')));
        const QString path = env.path(name.isEmpty() ? "absent.cue" : name);
        if (!name.isEmpty())
            QVERIFY(writeFile(path, text));
        VirtualDiscService virtualService(1);
        HardwareDiscService hardware({});
        for (DiscService *service : {static_cast<DiscService *>(&virtualService), static_cast<DiscService *>(&hardware)}) {
            const bool usable = service == &hardware ? libburnBurns : virtualBurns;
            const std::optional<BurnLayout> layout = service->layoutForImageFile(path);
            QCOMPARE(layout.has_value(), usable);
            if (usable)
                QCOMPARE(layout->cueSheet, QFileInfo(path).absoluteFilePath());
        }
    }

    // A sheet is read again when the burn starts; what went wrong since is
    // the job's failure, said plainly, with nothing written.
    void refusedAtBurn_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("error");
        QTest::newRow("file removed since") << "removed" << "Line 1 of disc.cue: the file t.bin is missing.";
        QTest::newRow("DVD in the tray") << "dvd" << "A cue or toc sheet burns a CD. Insert a blank CD-R.";
        QTest::newRow("too big for the disc") << "big" << "The disc is too small: this burn needs 360010 blocks and the disc has 360000 free.";
    }
    void refusedAtBurn()
    {
        QFETCH(QString, how);
        QFETCH(QString, error);
        BurnRig rig;
        const QString bin = rig.env.path("t.bin");
        QVERIFY(writeFile(bin, QByteArray(10 * sector, 'x')));
        const QString cue = rig.env.path("disc.cue");
        QVERIFY(writeFile(cue, how == "big" ? "FILE t.bin BINARY\nTRACK 01 AUDIO\nPREGAP 80:00:00\nINDEX 01 00:00:00\n"
                                            : "FILE t.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"));
        const std::optional<BurnLayout> layout = rig.service.layoutForImageFile(cue);
        QVERIFY(layout);
        if (how == "removed")
            QVERIFY(QFile::remove(bin));
        if (how == "dvd")
            rig.service.setMedium(1, VirtualDiscService::DVDR);
        QCOMPARE(rig.burn(keepDisc(), *layout), DiscJobState::failed);
        QCOMPARE(rig.watch->last().errorText, error);
        QCOMPARE(rig.files(), QStringList{});
        // A layout with both tracks and a sheet is no layout at all.
        BurnLayout both = *layout;
        both.tracks.append(dataTrack(std::make_shared<PatternProducer>(1, 2048, 1), 1));
        QVERIFY(!rig.service.burn(rig.burner, keepDisc(), both));
    }
};

QTEST_MAIN(TestSheetBurn)
#include "tst_sheetburn.moc"
