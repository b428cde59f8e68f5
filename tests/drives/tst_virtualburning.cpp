// Virtual burners writing for real: the files a burn leaves, the statuses it
// sends, how it ends when something goes wrong, erasing and the tray.

#include "BurnRig.h"
#include "audio/CDAudioProducer.h"

#include <QSignalSpy>

class TestVirtualBurning : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Three audio tracks: each pre-gap goes to the .bin exactly as its
    // producer made it, and the cue sheet places every index.
    void audioBurn()
    {
        // blocks: of each track
        const struct { QList<quint64> blocks; int gapSeconds; bool withText; bool verify; QString cue; } rows[] = {
            {QList<quint64>{10, 4, 1}, 2, true, true, "TITLE \"Album 'Q'\"\n" "PERFORMER \"Band\"\n" "FILE \"Disc 001.bin\" BINARY\n" "  TRACK 01 AUDIO\n" "    TITLE \"One\"\n" "    PERFORMER \"Band\"\n" "    INDEX 00 00:00:00\n" "    INDEX 01 00:02:00\n" "  TRACK 02 AUDIO\n" "    TITLE \"Two ?\"\n" "    INDEX 00 00:02:10\n" "    INDEX 01 00:04:10\n" "  TRACK 03 AUDIO\n" "    TITLE \"Trois é\"\n" "    PERFORMER \"Band\"\n" "    INDEX 00 00:04:14\n" "    INDEX 01 00:06:14\n"}, // 2 s gaps, CD-Text, verified
            {QList<quint64>{4600, 1, 1}, 0, false, false, "FILE \"Disc 001.bin\" BINARY\n" "  TRACK 01 AUDIO\n" "    INDEX 00 00:00:00\n" "    INDEX 01 00:02:00\n" "  TRACK 02 AUDIO\n" "    INDEX 01 01:03:25\n" "  TRACK 03 AUDIO\n" "    INDEX 01 01:03:26\n"}, // no gaps after the first, past a minute
        };
        for (auto [blocks, gapSeconds, withText, verify, cue] : rows) {
            BurnRig rig;
            BurnLayout layout;
            QList<std::shared_ptr<PatternProducer>> producers;
            QByteArray expected;
            for (int i = 0; i < blocks.size(); ++i) {
                const char gapByte = char(0x51 + i);
                producers.append(std::make_shared<PatternProducer>(blocks[i], 2352, i, gapByte));
                const quint32 gap = CDAudioProducer::preGapFrames(i, gapSeconds);
                layout.tracks.append({BurnTrack::Kind::audio, producers.last(), blocks[i], 2352, gap, {}});
                expected += QByteArray(qsizetype(gap) * 2352, gapByte) + producers.last()->data();
            }
            BurnProperties properties = keepDisc();
            properties.verify = verify;
            if (withText) {
                CDText text;
                text.discTitle = "Album \"Q\"";
                text.discPerformer = "Band";
                text.trackTitles = {"One", QString("Two ") + QChar(0x263A), QString("Trois ") + QChar(0xe9)};
                text.trackPerformers = {"Band", "", "Band"};
                properties.cdText = text;
            }
            QCOMPARE(rig.burn(properties, layout), DiscJobState::done);
            QCOMPARE(rig.watch->last().errorText, QString());

            QCOMPARE(rig.watch->saw(DiscJobState::verifying), verify);
            QList<int> opened;
            for (const JobStatus &s : rig.watch->statuses) {
                QVERIFY(s.percent <= 1.0);
                if (s.state == DiscJobState::trackOpen)
                    opened.append(s.currentTrack);
            }
            QCOMPARE(opened, (QList<int>{1, 2, 3}));
            QCOMPARE(rig.files(), (QStringList{"Disc 001.bin", "Disc 001.cue"}));
            QCOMPARE(rig.disc("Disc 001.bin"), expected);
            QCOMPARE(QString::fromUtf8(rig.disc("Disc 001.cue")), cue);
            for (const auto &producer : producers)
                QCOMPARE(producer->verifyCalls > 0, verify);
            // The disc stays in and reads back as a drive gives it: from track
            // 1's INDEX 01 on, its pre-gap hidden in the lead-in.
            QCOMPARE(rig.burner->status()->bsdName, rig.folder + "/Disc 001.cue");
            QCOMPARE(rig.burner->status()->audioTracks, 3);
            const auto reader = rig.service.openCd(rig.burner);
            QVERIFY(reader);
            QByteArray back(expected.size() - 150 * 2352, 0);
            for (qint64 lba = 0; lba * 2352 < back.size(); ++lba)
                QVERIFY(reader->read(lba, 1, back.data() + lba * 2352));
            QCOMPARE(back, expected.mid(150 * 2352));
            QCOMPARE(reader->contents().tracks.first().fileGap, 0u);
        }
    }

    // Speeds snap to one the disc takes: the top one for 0 or more than it,
    // else the fastest not above the request, but never below the slowest.
    void dataBurn()
    {
        const struct { VirtualDiscService::Medium medium; qint64 blocks; bool verify; bool eject; bool erasable; double requested; double reported; } rows[] = {
            {VirtualDiscService::CDR, qint64(1), false, false, false, 0.0, 48 * DRUnits::cd1x}, // one block on a CD-R, top speed for 0
            {VirtualDiscService::CDR, qint64(8), false, false, false, 10 * DRUnits::cd1x, 8 * DRUnits::cd1x}, // CD-R, between two speeds
            {VirtualDiscService::CDR, qint64(8), false, false, false, DRUnits::cd1x, 4 * DRUnits::cd1x}, // CD-R, below the slowest
            {VirtualDiscService::DVDR, qint64(600), true, false, false, 50 * DRUnits::dvd1x, 16 * DRUnits::dvd1x}, // several producer calls, verified, above the top
            {VirtualDiscService::DVDPlusRW, qint64(70), true, false, true, 0.0, 16 * DRUnits::dvd1x}, // DVD+RW stays erasable
            {VirtualDiscService::BDR, qint64(5), false, true, false, 0.0, 6 * DRUnits::bd1x}, // ejected afterwards
        };
        for (auto [medium, blocks, verify, eject, erasable, requested, reported] : rows) {
            BurnRig rig(false); // speeds are reported only when paced
            rig.service.setMedium(1, medium);
            QSignalSpy trays(&rig.service, &DiscService::deviceStatusChanged);
            QVERIFY(trays.wait(1000));
            auto producer = std::make_shared<PatternProducer>(blocks, 2048, 9);
            const BurnLayout layout{{dataTrack(producer, quint64(blocks))}, {}};
            BurnProperties properties;
            properties.verify = verify;
            properties.completion = eject ? CompletionAction::eject : CompletionAction::mount;
            properties.requestedSpeed = requested;
            QCOMPARE(rig.burn(properties, layout), DiscJobState::done);
            QCOMPARE(rig.watch->saw(DiscJobState::verifying), verify);
            QVERIFY(rig.watch->saw(DiscJobState::trackWrite));
            for (const JobStatus &s : rig.watch->statuses) {
                if (s.state == DiscJobState::trackWrite)
                    QCOMPARE(s.speed, reported);
            }
            QCOMPARE(rig.files(), QStringList{"Disc 001.iso"});
            QCOMPARE(rig.disc("Disc 001.iso"), producer->data());
            // The tray changed before the job said done; the news followed.
            const DeviceStatus tray = *rig.burner->status();
            QCOMPARE(trays.count(), 2);
            QCOMPARE(tray.mediaState, eject ? MediaState::none : MediaState::present);
            if (!eject) {
                QVERIFY(!tray.blank);
                QCOMPARE(tray.erasable, erasable);
                QCOMPARE(tray.blocksFree.value_or(-1), 0);
                QCOMPARE(tray.bsdName, rig.folder + "/Disc 001.iso");
            }
            // A written disc takes no second burn.
            QCOMPARE(rig.burn(properties, layout), DiscJobState::failed);
            QCOMPARE(rig.files(), QStringList{"Disc 001.iso"});
        }
    }

    // The next free number; what is already there is never touched.
    void numbering()
    {
        const struct { QStringList existing; QString written; } rows[] = {
            {QStringList{}, "Disc 001.iso"}, // empty folder
            {QStringList{"Disc 001.cue", "Disc 002.bin"}, "Disc 003.iso"}, // after an audio disc
            {QStringList{"Disc 001.bin.partial"}, "Disc 002.iso"}, // leftover partial file
            {QStringList{"Disc 002.iso", "notes.txt"}, "Disc 001.iso"}, // a hole is filled
        };
        for (auto [existing, written] : rows) {
            BurnRig rig;
            for (const QString &name : existing)
                QVERIFY(writeFile(rig.folder + "/" + name, name.toUtf8()));
            auto producer = std::make_shared<PatternProducer>(3, 2048, 4);
            QCOMPARE(rig.burn(keepDisc(), {{dataTrack(producer, 3)}, {}}), DiscJobState::done);
            QStringList expected = existing + QStringList{written};
            expected.sort();
            QCOMPARE(rig.files(), expected);
            QCOMPARE(rig.disc(written), producer->data());
            for (const QString &name : existing)
                QCOMPARE(rig.disc(name), name.toUtf8());
        }
    }

    // Every way a burn can end badly: one final failed status with a reason,
    // nothing left in the folder, and the burner free again.
    void failures()
    {
        const struct { QString how; QString error; } rows[] = {
            {"badVerify", "The disc didn't match what was written (track 2)."}, // verify mismatch
            {"unplug", "The burner was unplugged."}, // unplugged
            {"failAt", "The burner reported a write error at 50 %."}, // write error half-way
            {"failAtStart", "The burner reported a write error at 0 %."}, // write error at once
            {"tooBig", "The disc is too small: this burn needs 360150 blocks and the disc has 360000 free."}, // disc too small
            {"noDisc", "There's no disc in the burner."}, // no disc
            {"dvd", "Audio tracks need a CD. Insert a blank CD-R."}, // audio on a DVD
            {"prepare", "Couldn't read track 2."}, // track can't be read
        };
        for (auto [how, error] : rows) {
            const bool midway = how == "unplug";
            // An unplug needs a burn still running: keep it to 4x, 1 s of sectors.
            BurnRig rig(!midway);
            VirtualDiscService &service = rig.service;
            if (how == "noDisc")
                service.setMedium(1, VirtualDiscService::NoDisc);
            if (how == "dvd")
                service.setMedium(1, VirtualDiscService::DVDR);
            if (how.startsWith("failAt"))
                QVERIFY(service.failNextBurnAt(1, how == "failAt" ? 0.5 : 0));

            QList<std::shared_ptr<PatternProducer>> producers;
            BurnLayout layout;
            const quint64 blocks = how == "tooBig" ? 120'000 : midway ? 100 : 40;
            for (int i = 0; i < 3; ++i) {
                producers.append(std::make_shared<PatternProducer>(blocks, 2352, i));
                layout.tracks.append({BurnTrack::Kind::audio, producers.last(), blocks, 2352, i == 0 ? 150u : 0u, {}});
            }
            producers[1]->badVerify = how == "badVerify";
            producers[1]->failPrepare = how == "prepare";
            BurnProperties properties = keepDisc();
            properties.verify = true;
            properties.requestedSpeed = 4 * DRUnits::cd1x;

            QSignalSpy devices(&service, &DiscService::devicesChanged);
            auto job = service.burn(rig.burner, properties, layout);
            QVERIFY(job);
            JobWatch r(job.get());
            if (midway) {
                QTRY_VERIFY(!r.statuses.isEmpty() && r.last().state == DiscJobState::trackWrite && r.last().percent > 0.05);
                QCOMPARE(r.last().speed, 4 * DRUnits::cd1x);
                QVERIFY(service.unplugBurner(1));
            }
            QVERIFY(r.endsOnce());
            QCOMPARE(r.last().state, DiscJobState::failed);
            QCOMPARE(r.last().errorText, error);
            QCOMPARE(rig.files(), QStringList{});
            if (how == "failAt")
                QCOMPARE(r.last().percent, 0.5);
            if (how == "unplug") {
                QCOMPARE(devices.count(), 1);
                QVERIFY(service.devices().isEmpty());
                continue;
            }
            // Nothing was burned; the tray is as it was, and the burner takes
            // the next job (without the write error, which was for one burn).
            QVERIFY(!service.isBusy(1));
            QCOMPARE(rig.burner->status()->blank, how != "noDisc");
            if (how == "failAt") {
                service.setUnthrottled(true);
                QCOMPARE(rig.burn(keepDisc(), {{dataTrack(producers[0], 4)}, {}}), DiscJobState::done);
            }
        }
    }

    // Jobs a virtual burner won't start at all (the refusals libburn makes
    // too are tst_hardwareburn's).
    void refused()
    {
        for (const QString how : {"mixed", "twoData", "unplugged"}) {
            BurnRig rig(false);
            auto producer = std::make_shared<PatternProducer>(600, 2048, 1);
            BurnLayout layout;
            if (how == "mixed" || how == "twoData")
                layout.tracks = {dataTrack(producer, 8), dataTrack(producer, 8)};
            if (how == "mixed")
                layout.tracks[0].kind = BurnTrack::Kind::audio;
            std::unique_ptr<DiscJob> first;
            if (how == "unplugged") {
                layout.tracks = {dataTrack(producer, 600)};
                BurnProperties slow;
                slow.requestedSpeed = 4 * DRUnits::cd1x;
                first = rig.service.burn(rig.burner, slow, layout);
                QVERIFY(first);
                rig.service.unplugBurner(1);
            }
            QVERIFY(!rig.service.burn(rig.burner, BurnProperties(), layout));
        }
    }

    void erase()
    {
        // error: empty: erased; unplug: half-way through
        const struct { VirtualDiscService::Medium medium; bool written; bool complete; QString error; bool unplug; } rows[] = {
            {VirtualDiscService::CDRW, true, false, "", false}, // written CD-RW, quick
            {VirtualDiscService::CDRW, true, true, "", false}, // written CD-RW, complete
            {VirtualDiscService::DVDPlusRW, false, false, "", false}, // blank DVD+RW
            {VirtualDiscService::BDRE, true, true, "", false}, // written BD-RE
            {VirtualDiscService::CDR, false, false, "This disc can't be erased.", false}, // CD-R
            {VirtualDiscService::NoDisc, false, false, "There's no disc in the burner.", false}, // no disc
            {VirtualDiscService::CDRW, false, false, "The burner was unplugged.", true}, // unplugged while erasing
        };
        for (auto [medium, written, complete, error, unplug] : rows) {
            // A quick erase in real time takes long enough to unplug during it.
            BurnRig rig(!unplug);
            rig.service.setMedium(1, medium);
            if (written) {
                auto producer = std::make_shared<PatternProducer>(8, 2048, 1);
                QCOMPARE(rig.burn(keepDisc(), {{dataTrack(producer, 8)}, {}}), DiscJobState::done);
                QVERIFY(!rig.burner->status()->blank);
            }
            const DeviceStatus before = *rig.burner->status();
            QTest::qWait(10); // the news of the medium chosen above
            QSignalSpy trays(&rig.service, &DiscService::deviceStatusChanged);
            auto job = rig.service.erase(rig.burner, complete ? EraseType::complete : EraseType::quick);
            QVERIFY(job);
            JobWatch r(job.get());
            if (unplug) {
                QTRY_VERIFY(!r.statuses.isEmpty() && r.last().state == DiscJobState::erasing);
                job->abort(); // can't stop an erase
                QTest::qWait(20);
                QCOMPARE(r.finals, 0);
                QVERIFY(rig.service.unplugBurner(1));
            }
            QVERIFY(r.endsOnce());
            QCOMPARE(r.last().errorText, error);
            if (unplug) {
                QCOMPARE(r.states(), (QStringList{"preparing", "erasing", "failed"}));
            } else if (!error.isEmpty()) {
                QCOMPARE(r.states(), (QStringList{"failed"}));
                QCOMPARE(*rig.burner->status(), before);
            } else {
                QCOMPARE(r.states(), (QStringList{"preparing", "erasing", "done"}));
                QCOMPARE(*rig.burner->status(), VirtualDiscService::blankStatus(medium));
                QCOMPARE(trays.count(), 1);
                // Erasing takes the files of earlier discs nowhere.
                QCOMPARE(rig.files().size(), written ? 1 : 0);
            }
        }
    }

    void autoInsert()
    {
        // byBurn: the eject at the end of a burn, else by hand
        const struct { int seconds; bool byBurn; } rows[] = {
            {1, true}, // after a burn
            {1, false}, // after an eject by hand
            {0, true}, // never
        };
        // Every tray is emptied first, so the rows share their second of waiting.
        std::vector<std::unique_ptr<BurnRig>> rigs;
        for (auto [seconds, byBurn] : rows) {
            BurnRig &rig = *rigs.emplace_back(std::make_unique<BurnRig>());
            rig.service.setAutoInsertSeconds(seconds);
            rig.service.setMedium(1, VirtualDiscService::DVDR);
            if (byBurn) {
                auto producer = std::make_shared<PatternProducer>(8, 2048, 1);
                QCOMPARE(rig.burn(BurnProperties(), {{dataTrack(producer, 8)}, {}}), DiscJobState::done);
            } else {
                QVERIFY(rig.service.eject(1));
            }
            QVERIFY(!rig.service.hasDisc(1));
        }
        QTest::qWait(10); // the news of the ejects
        std::vector<std::unique_ptr<QSignalSpy>> trays;
        for (const auto &rig : rigs)
            trays.push_back(std::make_unique<QSignalSpy>(&rig->service, &DiscService::deviceStatusChanged));
        for (size_t i = 0; i < rigs.size(); ++i) {
            if (rows[i].seconds == 0)
                continue;
            QTRY_VERIFY_WITH_TIMEOUT(rigs[i]->service.hasDisc(1), 3000);
            QCOMPARE(*rigs[i]->burner->status(), VirtualDiscService::blankStatus(VirtualDiscService::DVDR));
            QTRY_COMPARE(trays[i]->count(), 1);
        }
        // The other timers have fired by now; a timer of 0 s would have too.
        for (size_t i = 0; i < rigs.size(); ++i)
            QCOMPARE(rigs[i]->service.hasDisc(1), rows[i].seconds > 0);
    }
};

QTEST_MAIN(TestVirtualBurning)
#include "tst_virtualburning.moc"
