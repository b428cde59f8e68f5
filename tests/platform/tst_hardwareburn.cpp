// Burns and erases through the hardware service with real libburn, on stdio:
// pseudo-drives that write into files and on emulated drives; what both
// services promise of a burn, on a virtual burner too.

#include "BurnRig.h"
#include "platform/linux/DriveFacts.h"
#include "platform/linux/DriveTrouble.h"
#include "platform/linux/HardwareDiscService.h"
#include "EmulatedDrives.h"

#include <cerrno>
#include <numeric>

Q_DECLARE_METATYPE(EraseType)

namespace {

DiscDeviceRef deviceFor(const HardwareDiscService &service, const QString &address)
{
    for (const DiscDeviceRef &device : service.devices()) {
        if (device->info().ioPath == address)
            return device;
    }
    return {};
}

BurnLayout dataLayout(const QList<std::shared_ptr<PatternProducer>> &producers, const QList<int> &blocks)
{
    BurnLayout layout;
    for (int i = 0; i < producers.size(); ++i)
        layout.tracks.append(dataTrack(producers[i], quint64(blocks[i])));
    return layout;
}

// The rows of a test that runs on a virtual burner and on libburn's pseudo-drive.
void bothServices()
{
    QTest::addColumn<bool>("stdio");
    QTest::newRow("virtual") << false;
    QTest::newRow("libburn") << true;
}

} // namespace

class TestHardwareBurn : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What both services promise of a data burn, each row on a virtual burner
    // and on libburn's pseudo-drive.
    void dataBurn_data()
    {
        QTest::addColumn<bool>("stdio");
        QTest::addColumn<QList<int>>("blocks");
        QTest::addColumn<bool>("test");
        QTest::addColumn<bool>("verify");
        QTest::addColumn<int>("lyingTrack"); // from 1; 0: none
        QTest::addColumn<QString>("error");  // empty: the burn ends done
        const QString mismatch = QStringLiteral("The disc didn't match what was written (track 1).");
        for (const bool stdio : {false, true}) {
            const char *service = stdio ? "libburn" : "virtual";
            QTest::addRow("%s: one track", service) << stdio << QList<int>{300} << false << false << 0 << QString();
            QTest::addRow("%s: one track, odd length, verified", service) << stdio << QList<int>{301} << false << true << 0 << QString();
            QTest::addRow("%s: mismatch in track 1", service) << stdio << QList<int>{120} << false << true << 1 << mismatch;
            QTest::addRow("%s: test burn asked to verify", service) << stdio << QList<int>{300} << true << true << 1 << QString();
        }
        // A file takes one track only; libburn says why. (A virtual burner
        // refuses two data tracks outright.)
        QTest::newRow("libburn: two tracks") << true << QList<int>{120, 60} << false << false << 0 << "SAO: multi track capability lacking, TAO: multi track capability lacking";
    }
    void dataBurn()
    {
        QFETCH(bool, stdio);
        QFETCH(QList<int>, blocks);
        QFETCH(bool, test);
        QFETCH(bool, verify);
        QFETCH(int, lyingTrack);
        QFETCH(QString, error);
        BurnRig rig(true, stdio);
        QVERIFY(rig.burner);

        QList<std::shared_ptr<PatternProducer>> producers;
        QByteArray expected;
        for (int i = 0; i < blocks.size(); ++i) {
            producers.append(std::make_shared<PatternProducer>(blocks[i], 2048, i + 1));
            producers.last()->badVerify = lyingTrack == i + 1;
            expected += producers.last()->data();
        }
        BurnProperties properties = keepDisc();
        properties.test = test;
        properties.verify = verify;
        QCOMPARE(rig.burn(properties, dataLayout(producers, blocks)), error.isEmpty() ? DiscJobState::done : DiscJobState::failed);
        const JobStatus last = rig.watch->last();
        QCOMPARE(last.errorText, error);
        QCOMPARE(rig.watch->saw(DiscJobState::verifying), verify && !test);
        // A finished read-back says how much it compared: all of it.
        const quint64 bytes = quint64(std::accumulate(blocks.begin(), blocks.end(), 0)) * 2048;
        QCOMPARE(last.readBack.has_value(), verify && !test && error.isEmpty());
        if (last.readBack)
            QCOMPARE(last.readBack->comparedBytes, bytes);

        // A virtual burner takes away what a failed burn wrote; libburn's file
        // keeps what reached it.
        const bool kept = !test && (error.isEmpty() || (stdio && lyingTrack > 0));
        QVERIFY(rig.written() == (kept ? expected : QByteArray()));
        // The blank stays in a virtual burner's tray unless the burn went to the end.
        if (!stdio)
            QCOMPARE(rig.burner->status()->blank, !kept);
        for (int i = 0; i < producers.size(); ++i) {
            const auto &p = producers[i];
            QVERIFY(!p->onMainThread && !p->outOfOrder);
            QCOMPARE(p->prepared.load(), 1);
            // libburn closes every producer at the end; a virtual burner
            // closes those it read back.
            QCOMPARE(p->closed.load(), stdio || (verify && !test) ? 1 : 0);
            QCOMPARE(p->produced.load(), error.isEmpty() || lyingTrack > 0 ? quint64(blocks[i]) * 2048 : 0);
            if (verify && !test && lyingTrack == 0)
                QCOMPARE(p->verified.load(), quint64(blocks[i]) * 2048);
        }
    }

    // Burns on emulated MMC drives, driven by libburn as real burners are,
    // all at once; what each drive keeps is read from its state folder.
    void emulatedBurns()
    {
        struct Case
        {
            const char *name, *medium;
            int audioTracks; // 0: one data track
            bool sao, test;
            double speed;    // kB/s asked; 0: the top speed
            const char *recorded; // the drive's last log line starts so
            int slowSource = 0;   // ms per block made: the drive waits on the source mid-sector
        };
        static const Case cases[] = {
            {"audio disc-at-once with CD-Text, 16x", "CD-R", 3, true, false, 2822, "SAO speed=2822"},
            {"audio test burn", "CD-R", 3, true, true, 0, "SAO test"},
            {"audio track-at-once on CD-RW, 16x, slow source", "CD-RW", 2, false, false, 2822, "TAO speed=2822", 1},
            {"data on DVD-R", "DVD-R", 0, false, false, 0, "sequential"},
            {"data on BD-R, 6x", "BD-R", 0, false, false, 26973, "sequential speed=26973"},
            {"data on DVD+RW", "DVD+RW", 0, false, false, 0, "random"},
        };
        QStringList media;
        for (const Case &c : cases)
            media.append(QLatin1String(c.medium));
        EmulatedDrives drives(media);
        HardwareDiscService service(drives.devices());

        struct Run
        {
            QList<std::shared_ptr<PatternProducer>> producers;
            BurnLayout layout;
            std::unique_ptr<DiscJob> job;
            std::unique_ptr<JobWatch> watch;
        };
        std::vector<Run> runs(std::size(cases));
        for (size_t n = 0; n < runs.size(); ++n) {
            const Case &c = cases[n];
            Run &run = runs[n];
            const DiscDeviceRef device = deviceFor(service, EmulatedDrives::device(int(n)));
            QVERIFY(device);
            QTRY_VERIFY_WITH_TIMEOUT(device->status() && device->status()->blank, 10000);
            for (int i = 0; i < std::max(c.audioTracks, 1); ++i) {
                const quint32 size = c.audioTracks ? 2352 : 2048;
                run.producers.append(std::make_shared<PatternProducer>(400 + i, size, i + 1, 0, c.slowSource));
                run.layout.tracks.append({c.audioTracks ? BurnTrack::Kind::audio : BurnTrack::Kind::data,
                                          run.producers.last(), quint64(400 + i), size, c.audioTracks && i > 0 ? 150u : 0u,
                                          c.audioTracks && i == 1 ? QStringLiteral("DEA123400002") : QString()});
            }
            BurnProperties properties = keepDisc();
            properties.sao = c.sao;
            properties.test = c.test;
            properties.verify = true;
            properties.requestedSpeed = c.speed;
            if (c.audioTracks) {
                properties.cdText = CDText{QStringLiteral("en"), QStringLiteral("Album"), QStringLiteral("Artist"),
                                           {QStringLiteral("One"), QStringLiteral("Deux \u00e9t\u00e9"), QStringLiteral("Three")}, {}};
                properties.catalog = QStringLiteral("4006381333931");
            }
            run.job = service.burn(device, properties, run.layout);
            QVERIFY(run.job);
            run.watch = std::make_unique<JobWatch>(run.job.get());
        }
        for (size_t n = 0; n < runs.size(); ++n) {
            const Case &c = cases[n];
            const Run &run = runs[n];
            const int d = int(n);
            QVERIFY2(run.watch->endsOnce(30000, 0), c.name);
            QVERIFY2(run.watch->last().errorText.isEmpty(), qPrintable(c.name + (": " + run.watch->last().errorText)));
            QVERIFY2(drives.writes(d).value(drives.writes(d).size() - 1).startsWith(QLatin1String(c.recorded)),
                     qPrintable(c.name + (": " + drives.writes(d).join(QLatin1Char('\n')))));
            const QList<EmulatedDrives::Track> tracks = drives.tracks(d);
            QCOMPARE(tracks.size(), c.test ? 0 : run.producers.size());
            QCOMPARE(run.watch->last().readBack.has_value(), !c.test);
            for (int i = 0; i < tracks.size(); ++i) {
                // Disc-at-once puts each gap before its track's start;
                // track-at-once writes it at the start of the track.
                const int gap = int(run.layout.tracks[i].preGapFrames);
                if (c.sao)
                    QCOMPARE(tracks[i].start - tracks[i].pregap, i == 0 ? 150 : gap);
                QVERIFY2(drives.sectors(d, tracks[i].start + (c.sao ? 0 : gap), 400 + i) == run.producers[i]->data(), c.name);
            }
            QCOMPARE(drives.hasCdText(d), c.audioTracks > 0 && c.sao && !c.test);
            // The subchannel codes, at once and track at once alike; a track line ends in its ISRC.
            if (c.audioTracks && !c.test) {
                QStringList isrcs;
                for (const QString &line : drives.disc(d))
                    if (line.startsWith(QLatin1String("track ")))
                        isrcs << line.section(QLatin1Char(' '), -1);
                QVERIFY2(drives.disc(d).contains(QStringLiteral("mcn 4006381333931")), c.name);
                QCOMPARE(isrcs, QStringList({"-", "DEA123400002", "-"}).mid(0, c.audioTracks));
            }
        }
    }

    // Stop while the drive is still getting ready: the burn ends within a
    // poll, not after the 20 s wait, and nothing reaches the disc.
    void stopWhileGettingReady()
    {
        EmulatedDrives drives({QStringLiteral("CD-R")});
        HardwareDiscService service(drives.devices());
        const DiscDeviceRef device = deviceFor(service, EmulatedDrives::device(0));
        QTRY_VERIFY_WITH_TIMEOUT(device && device->status() && device->status()->blank, 10000);
        drives[0].arm(mmc::Fault::becomingReady, 0, 0);
        std::unique_ptr<DiscJob> job = service.burn(device, keepDisc(), dataLayout({std::make_shared<PatternProducer>(100, 2048, 1)}, {100}));
        JobWatch watch(job.get());
        QTest::qWait(500);
        job->abort();
        QVERIFY(watch.endsOnce(3000, 0));
        QCOMPARE(watch.last().errorText, QStringLiteral("The burn was stopped."));
        QVERIFY(drives.writes(0).isEmpty());
    }

    // Erases on emulated drives, all at once; abort() can't stop an erase.
    void emulatedErases()
    {
        struct Case
        {
            const char *medium;
            EraseType type;
            const char *recorded; // the drive's last log line; empty: refused
        };
        static const Case cases[] = {
            {"CD-RW written", EraseType::quick, "blank minimal"},
            {"CD-RW written", EraseType::complete, "blank full"},
            {"DVD+RW written", EraseType::quick, "random"},
            {"DVD+RW written", EraseType::complete, "format"},
            {"CD-R written", EraseType::quick, ""},
        };
        QStringList media;
        for (const Case &c : cases)
            media.append(QLatin1String(c.medium));
        EmulatedDrives drives(media, 4000);
        HardwareDiscService service(drives.devices());
        std::vector<std::unique_ptr<DiscJob>> jobs;
        std::vector<std::unique_ptr<JobWatch>> watches;
        for (size_t n = 0; n < std::size(cases); ++n) {
            const DiscDeviceRef device = deviceFor(service, EmulatedDrives::device(int(n)));
            QTRY_VERIFY_WITH_TIMEOUT(device->status().has_value(), 10000);
            jobs.push_back(service.erase(device, cases[n].type));
            QVERIFY(jobs.back());
            watches.push_back(std::make_unique<JobWatch>(jobs.back().get()));
            jobs.back()->abort();
        }
        for (size_t n = 0; n < std::size(cases); ++n) {
            const Case &c = cases[n];
            QVERIFY(watches[n]->endsOnce(30000, 0));
            const bool erased = *c.recorded != '\0';
            QVERIFY2(watches[n]->last().state == (erased ? DiscJobState::done : DiscJobState::failed),
                     qPrintable(c.medium + (": " + watches[n]->last().errorText + drives.writes(int(n)).join(" "))));
            QCOMPARE(drives.writes(int(n)).value(0).left(int(strlen(c.recorded))), QLatin1String(c.recorded));
            // What was on the disc is gone, or for a refused erase still there.
            const QByteArray start = drives.sectors(int(n), 0, 32);
            QCOMPARE(start.isEmpty() || !start.contains('\xff'), erased);
            // A refusal is said plainly, libburn's words kept below it.
            if (!erased)
                QVERIFY2(watches[n]->last().errorText == QLatin1String("The erase failed.")
                             && watches[n]->last().errorDetail.contains(QLatin1String("Cannot write medium")),
                         qPrintable(watches[n]->last().errorText + " / " + watches[n]->last().errorDetail));
        }
    }

    // Stopping a burn half-way, by abort() or by dropping the job, ends it
    // once and leaves the burner free for the next burn. Both ways at once,
    // each on a burner of its own: each burn first waits on its slow source.
    void stopMidBurn_data() { bothServices(); }
    void stopMidBurn()
    {
        QFETCH(bool, stdio);
        struct Stop
        {
            Stop(bool stdio, bool drop) : rig(true, stdio), drop(drop) {}
            BurnRig rig;
            bool drop; // the job is dropped, not aborted
            // 4000 blocks, 20 ms a call: seconds of writing.
            std::shared_ptr<PatternProducer> slow = std::make_shared<PatternProducer>(4000, 2048, 3, 0, 20);
            std::unique_ptr<DiscJob> job;
            std::unique_ptr<JobWatch> watch;
        };
        const auto stop = [stdio](const QList<bool> &drops) {
            std::vector<std::unique_ptr<Stop>> stops;
            for (const bool drop : drops) {
                Stop &s = *stops.emplace_back(std::make_unique<Stop>(stdio, drop));
                s.job = s.rig.owner().burn(s.rig.burner, keepDisc(), dataLayout({s.slow}, {4000}));
                QVERIFY(s.job);
                s.watch = std::make_unique<JobWatch>(s.job.get());
            }
            for (const auto &s : stops) {
                QTRY_VERIFY_WITH_TIMEOUT(s->watch->saw(DiscJobState::trackWrite) && s->slow->produced > 0, 5000);
                // Another job can't take the burner meanwhile.
                QVERIFY(!s->rig.owner().burn(s->rig.burner, keepDisc(), dataLayout({s->slow}, {4000})));
            }
            for (const auto &s : stops)
                s->drop ? s->job.reset() : s->job->abort();
            for (const auto &s : stops) {
                if (!s->drop) {
                    QVERIFY(s->watch->endsOnce(5000));
                    QCOMPARE(s->watch->last().state, DiscJobState::failed);
                    QCOMPARE(s->watch->last().errorText, QStringLiteral("The burn was stopped."));
                }
                QVERIFY(s->slow->produced < 4000u * 2048u);
                const std::weak_ptr<PatternProducer> weakSlow = s->slow;
                s->slow.reset();
                // The service lets the producer go once its thread is done with it.
                QTRY_VERIFY_WITH_TIMEOUT(weakSlow.expired(), 5000);
                if (!stdio) {
                    QCOMPARE(s->rig.files(), QStringList{});
                    // A stopped burn has spoilt a virtual burner's disc, as on
                    // a real drive; a dropped job leaves the blank.
                    QCOMPARE(s->rig.burner->status()->blank, s->drop);
                    QVERIFY(s->rig.service.insertBlank(1));
                }
                auto next = std::make_shared<PatternProducer>(100, 2048, 4);
                std::unique_ptr<DiscJob> again;
                QVERIFY(QTest::qWaitFor([&] {
                    if (!again)
                        again = s->rig.owner().burn(s->rig.burner, keepDisc(), dataLayout({next}, {100}));
                    return again != nullptr;
                }, 5000));
                JobWatch second(again.get());
                QVERIFY(second.endsOnce());
                QCOMPARE(second.last().state, DiscJobState::done);
                QVERIFY(s->rig.written().left(100 * 2048) == next->data());
            }
        };
        // Side by side on libburn's pseudo-drives, which halves the wait on the
        // slow sources; virtual burners one after the other, as every one
        // writes into the newest test folder.
        if (stdio)
            stop({false, true});
        else
            for (const bool drop : {false, true})
                stop({drop});
    }

    // Jobs neither service makes: the burner is another service's, or the
    // layout holds nothing to burn.
    void refusedJobs_data() { bothServices(); }
    void refusedJobs()
    {
        QFETCH(bool, stdio);
        BurnRig rig(true, stdio), other(true, !stdio);
        const BurnLayout layout = dataLayout({std::make_shared<PatternProducer>(10, 2048, 1)}, {10});
        QVERIFY(!rig.owner().burn(other.burner, keepDisc(), layout));
        QVERIFY(!rig.owner().erase(other.burner, EraseType::quick));
        QVERIFY(!rig.owner().burn(rig.burner, keepDisc(), BurnLayout{}));
        BurnLayout noProducer = layout;
        noProducer.tracks[0].producer.reset();
        QVERIFY(!rig.owner().burn(rig.burner, keepDisc(), noProducer));
        // Refused jobs were never made: the burner takes the next one.
        QCOMPARE(rig.burn(keepDisc(), layout), DiscJobState::done);
    }

    // A cue sheet is burned by libburn's own reader, straight from its file;
    // a toc sheet goes to it as the cue sheet it amounts to. The read-back
    // compares the disc with the sheet's files as the sheet describes them:
    // a file is written from its INDEX 00, without the zeros of a PREGAP.
    void cueSheetBurn_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("gapSectors"); // of the file, before INDEX 01
        QTest::addColumn<bool>("changeFile"); // the file changes once the disc holds its start
        const QByteArray cue("FILE \"disc image.bin\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n");
        QTest::newRow("toc") << "disc.toc" << QByteArray("CD_ROM\nTRACK MODE1\nDATAFILE \"disc image.bin\"\n") << 0 << false;
        QTest::newRow("cue with pre-gap and INDEX 00") << "disc.cue" << QByteArray("FILE \"disc image.bin\" BINARY\n  TRACK 01 MODE1/2048\n    PREGAP 00:00:30\n" "    INDEX 00 00:00:00\n    INDEX 01 00:00:10\n") << 10 << false;
        QTest::newRow("file changed during the burn") << "disc.cue" << cue << 0 << true;
    }
    void cueSheetBurn()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, text);
        QFETCH(int, gapSectors);
        QFETCH(bool, changeFile);
        // libburn holds a pseudo-drive to its speed every 16 MiB: with all of
        // its data written, this burn then waits a second for the file to change.
        const int sectors = changeFile ? 8192 : 150;
        const QByteArray image = patternBytes(sectors * 2048, 7);
        BurnRig rig(true, true);
        const QString source = rig.env.path(QStringLiteral("disc image.bin"));
        QVERIFY(writeFile(source, image));
        const QString cue = rig.env.path(name);
        QVERIFY(writeFile(cue, text));
        const std::optional<BurnLayout> layout = rig.owner().layoutForImageFile(cue);
        QVERIFY(layout && layout->tracks.isEmpty());
        QCOMPARE(layout->cueSheet, QFileInfo(cue).absoluteFilePath());
        BurnProperties properties = keepDisc();
        properties.verify = true;
        if (changeFile)
            properties.requestedSpeed = 16384;
        std::unique_ptr<DiscJob> job = rig.owner().burn(rig.burner, properties, *layout);
        QVERIFY(job);
        JobWatch watch(job.get());
        if (changeFile) {
            QTRY_VERIFY_WITH_TIMEOUT(watch.saw(DiscJobState::trackWrite), 5000);
            QFile file(source);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.write(QByteArray(2048, 'x')) == 2048);
        }
        QVERIFY(watch.endsOnce());
        QCOMPARE(watch.last().errorText,
                 changeFile ? QStringLiteral("The disc didn't match what was written (track 1).") : QString());
        QVERIFY(rig.written() == image);
        QVERIFY(watch.saw(DiscJobState::verifying));
        if (!changeFile) {
            const quint64 bytes = quint64(sectors - gapSectors) * 2048;
            QVERIFY(watch.last().readBack && watch.last().readBack->skipped.isEmpty());
            QCOMPARE(watch.last().readBack->comparedBytes, bytes);
            QCOMPARE(watch.last().readBack->totalBytes, bytes);
        }
    }

    void cueSheetFiles_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("files"); // empty: not burnable
        QTest::newRow("data track") << "FILE \"a b.bin\" BINARY\r\nTRACK 01 MODE1/2048\r\nINDEX 01 00:00:00" << QStringList{"a b.bin"};
        QTest::newRow("audio, two files, lower case") << "file one.wav wave\n track 01 audio\nFILE two.bin MOTOROLA\n TRACK 02 AUDIO" << QStringList{"one.wav", "two.bin"};
        QTest::newRow("mixed audio and data") << "FILE a.bin BINARY\nTRACK 01 MODE1/2048\nTRACK 02 AUDIO" << QStringList{};
        QTest::newRow("raw data track") << "FILE a.bin BINARY\nTRACK 01 MODE2/2352" << QStringList{};
        QTest::newRow("mp3 file") << "FILE a.mp3 MP3\nTRACK 01 AUDIO" << QStringList{};
        QTest::newRow("track before file") << "TRACK 01 AUDIO\nFILE a.bin BINARY" << QStringList{};
        QTest::newRow("no track") << "FILE a.bin BINARY\n" << QStringList{};
        QTest::newRow("unclosed quote") << "FILE \"a.bin BINARY\nTRACK 01 AUDIO" << QStringList{};
    }
    void cueSheetFiles()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, files);
        const std::optional<QStringList> found = DriveFacts::cueSheetFiles(text);
        QCOMPARE(found.value_or(QStringList{}), files);
        QCOMPARE(found.has_value(), !files.isEmpty());
    }

    void cueSheetWithFilesIn_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        QTest::newRow("relative, quoted") << "FILE \"a b.bin\" BINARY\nTRACK 01 AUDIO" << "FILE \"/discs/a b.bin\" BINARY\nTRACK 01 AUDIO";
        QTest::newRow("relative in a subfolder") << "  file sub/../x.wav WAVE" << "FILE \"/discs/x.wav\" WAVE";
        QTest::newRow("absolute stays") << "FILE /other/x.bin BINARY" << "FILE \"/other/x.bin\" BINARY";
        QTest::newRow("no file line") << "REM FILE x\nTITLE \"t\"" << "REM FILE x\nTITLE \"t\"";
    }
    void cueSheetWithFilesIn()
    {
        QFETCH(QString, text);
        QFETCH(QString, result);
        QCOMPARE(DriveFacts::cueSheetWithFilesIn(text, QStringLiteral("/discs")), result);
    }

    // A failed operation's complaints as libburn words them, oldest first; the
    // first that names a drive fault is the cause, and libburn's words for it.
    void driveTrouble_data()
    {
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<QString>("sentence");
        QTest::addColumn<int>("words"); // which complaint goes under the sentence; -1: none
        const QString fallback = QStringLiteral("The burn failed.");
        const QString write = QStringLiteral("CDB= WRITE(10) : 2a 00 00 00 00 a0 00 00 10 00  : dxfer_len= 32768");
        const QString runFailed = QStringLiteral("Burn run failed");
        QTest::newRow("write error mid-track") << QStringList{"SCSI error on write(160,16): [3 0C 00] Medium error. Write error.", write, runFailed} << "The burner couldn't write to the disc. Try another disc." << 0;
        QTest::newRow("buffer underrun") << QStringList{"SCSI error on write(8000,16): [3 0C 09] Medium error. Write error, loss of streaming.", write, runFailed} << "The burner ran out of data to write (a buffer underrun). Try a lower speed." << 0;
        QTest::newRow("disc taken out mid-burn") << QStringList{"SCSI error on write(160,16): [2 3A 02] Drive not ready. Medium not present, tray open.", write, "Failed to synchronize drive cache. SCSI error : [2 3A 02] Drive not ready. Medium not " "present, tray open.", runFailed} << "The disc was taken out of the burner." << 2;
        // libburn's complaints are shared: another deck's came first.
        QTest::newRow("another deck's fault before this one's") << QStringList{"SCSI error on write(160,16): [3 0C 00] Medium error. Write error.", write, "SCSI error on write(96,16): [2 3A 02] Drive not ready. Medium not present, tray open.", runFailed} << "The disc was taken out of the burner." << 2;
        QTest::newRow("stays becoming ready") << QStringList{"SCSI error on write(0,16): [2 04 01] Drive not ready. Logical unit is in the process of " "becoming ready.", runFailed} << "The burner didn't get ready. Wait a moment, then try again." << 0;
        QTest::newRow("not ready for another reason") << QStringList{"SCSI error on write(0,16): [2 04 02] Drive not ready. Logical unit is not ready.", runFailed} << fallback << 1;
        QTest::newRow("command timed out") << QStringList{"SCSI command 2Ah yielded host problem: 0x3 SG_ERR_DID_TIME_OUT (Timed out for " "miscellaneous reasons)", "SCSI error on write(176,16): [5 21 02] Illegal request. Invalid address for write.", runFailed} << "The burner took too long to answer." << 0;
        QTest::newRow("drive lost mid-burn") << QStringList{DriveTrouble::withSystemError("Failed to transfer command to drive", ENODEV), "Lost connection to drive", runFailed} << "The burner was disconnected." << 1;
        QTest::newRow("drive gone before the grab") << QStringList{"File object '/dev/sr1' not found", "Cannot access '/dev/sr1' as SG_IO CDROM drive"} << "The burner was disconnected." << 0;
        QTest::newRow("no permission") << QStringList{DriveTrouble::withSystemError("Could not grab drive", EACCES)} << "No permission to use the burner." << 0;
        QTest::newRow("held by another program") << QStringList{"Could not grab drive - already in use"} << "Another program is using the burner." << 0;
        // libburn's own bookkeeping, not another program.
        QTest::newRow("busy with this program's work") << QStringList{"Drive is busy on attempt to close"} << fallback << 0;
        QTest::newRow("not a drive fault") << QStringList{"audio track prohibited by non-CD"} << fallback << 0;
        QTest::newRow("not a drive fault, the command's bytes after it") << QStringList{"SCSI error on command A1h BLANK: [5 30 05] Illegal request. Cannot write medium", "CDB= a1 11"} << fallback << 0;
        QTest::newRow("nothing said") << QStringList{} << fallback << -1;
    }
    void driveTrouble()
    {
        QFETCH(QStringList, said);
        QFETCH(QString, sentence);
        QFETCH(int, words);
        const DriveTrouble::Explained explained = DriveTrouble::explain(said, QStringLiteral("The burn failed."));
        QCOMPARE(explained.sentence, sentence);
        QCOMPARE(explained.words, said.value(words));
    }

    void writePercent_data()
    {
        QTest::addColumn<QList<qint64>>("blocks");
        QTest::addColumn<int>("track");
        QTest::addColumn<qint64>("sector");
        QTest::addColumn<double>("percent");
        QTest::newRow("half of one track") << QList<qint64>{100} << 0 << qint64(50) << 0.5;
        QTest::newRow("into the second track") << QList<qint64>{300, 100} << 1 << qint64(50) << 0.875;
        QTest::newRow("sector past the track's end") << QList<qint64>{100, 100} << 0 << qint64(250) << 0.5;
        QTest::newRow("nothing to write") << QList<qint64>{} << 0 << qint64(0) << -1.0;
    }
    void writePercent()
    {
        QFETCH(QList<qint64>, blocks);
        QFETCH(int, track);
        QFETCH(qint64, sector);
        QFETCH(double, percent);
        QCOMPARE(DriveFacts::writePercent(blocks, track, sector), percent);
    }

    void cdTextLanguage_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("language");
        QTest::newRow("english") << "en" << 0x09;
        QTest::newRow("german, region given") << "de-AT" << 0x08;
        QTest::newRow("japanese") << "JA" << 0x69;
        QTest::newRow("unknown falls back to english") << "xx" << 0x09;
    }
    void cdTextLanguage()
    {
        QFETCH(QString, code);
        QFETCH(int, language);
        QCOMPARE(DriveFacts::cdTextLanguage(code), language);
    }
};

QTEST_GUILESS_MAIN(TestHardwareBurn)
#include "tst_hardwareburn.moc"
