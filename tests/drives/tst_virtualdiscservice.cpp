// Virtual burners at run time: plugging, unplugging, the media in their trays,
// the written discs images put there and how they read back, and where their
// discs go; the settings that fill their trays at start.

#include "BurnFixtures.h"
#include "ImageFixtures.h"
#include "ScriptedDiscService.h"
#include "TestEnv.h"
#include "base/TDError.h"
#include "drives/TDDetect.h"
#include "platform/sheets/RawSector.h"
#include "platform/virtual/VirtualDiscService.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

namespace {

// A cue sheet of three tracks: audio hidden before track 1 (and 2 s of
// PREGAP, which a burner puts in the lead-in), a second track with silence
// before and after it, then four Mode 1 blocks.
QByteArray discAudio() { return patternBytes(300 * 2352, 4); }
QByteArray discData() { return patternBytes(4 * 2048, 8); }

QString writeDisc(const TestEnv &env)
{
    writeFile(env.path("hidden.bin"), discAudio());
    writeFile(env.path("data.iso"), discData());
    writeFile(env.path("disc.cue"),
              "CATALOG 0123456789012\nFILE \"hidden.bin\" BINARY\n  TRACK 01 AUDIO\n    TITLE \"One\"\n"
              "    PREGAP 00:02:00\n    INDEX 00 00:00:00\n    INDEX 01 00:01:00\n"
              "  TRACK 02 AUDIO\n    FLAGS DCP PRE\n    ISRC USABC1234567\n    PREGAP 00:00:10\n"
              "    INDEX 01 00:03:00\n    INDEX 02 00:03:20\n    POSTGAP 00:00:05\n"
              "FILE \"data.iso\" BINARY\n  TRACK 03 MODE1/2048\n    INDEX 01 00:00:00\n");
    return env.path("disc.cue");
}

// Sectors [0, count) of the disc, 64 at a time; empty when a read fails.
QByteArray readDisc(CdReader &reader, qint64 count)
{
    QByteArray out(count * CdReader::sectorBytes, Qt::Uninitialized);
    for (qint64 lba = 0; lba < count; lba += 64) {
        if (!reader.read(lba, int(std::min<qint64>(64, count - lba)), out.data() + lba * CdReader::sectorBytes))
            return {};
    }
    return out;
}

} // namespace

class TestVirtualDiscService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each script step: "+" plugs a burner, "-N" unplugs burner N. Burners
    // present from the start are not news.
    void plugAndUnplug()
    {
        const struct { int initial; QStringList steps; QStringList expected; int notifications; } rows[] = {
            {0, QStringList{}, QStringList{}, 0}, // none
            {-2, QStringList{}, QStringList{}, 0}, // negative
            {7, QStringList{}, QStringList{"virtual:1", "virtual:2", "virtual:3", "virtual:4", "virtual:5", "virtual:6", "virtual:7"}, 0}, // seven, more than the decks
            {0, QStringList{"+", "+", "-1"}, QStringList{"virtual:2"}, 3}, // unplug the first
            {0, QStringList{"+", "+", "-1", "+"}, QStringList{"virtual:2", "virtual:3"}, 4}, // a new one after an unplug has a new identity
            {1, QStringList{"-1", "+"}, QStringList{"virtual:2"}, 2}, // unplug the last one, plug again
            {2, QStringList{"-2", "-2"}, QStringList{"virtual:1"}, 1}, // unplugging twice tells once
            {1, QStringList{"-5"}, QStringList{"virtual:1"}, 0}, // unknown burner
        };
        for (auto [initial, steps, expected, notifications] : rows) {
            VirtualDiscService service(initial);
            int inside = 0;     // notifications that arrived during a control call
            int offThread = 0;  // notifications that arrived on another thread
            bool inCall = false;
            connect(&service, &DiscService::devicesChanged, this, [&] {
                inside += inCall;
                offThread += QThread::currentThread() != thread();
            });
            QSignalSpy changed(&service, &DiscService::devicesChanged);
            QSignalSpy status(&service, &DiscService::deviceStatusChanged);

            for (const QString &step : steps) {
                inCall = true;
                if (step == QLatin1String("+"))
                    service.plugBurner();
                else
                    service.unplugBurner(step.mid(1).toInt());
                inCall = false;
            }
            // The list is right at once; the news follows from the event loop.
            QCOMPARE(ioPaths(service), expected);
            QCOMPARE(changed.count(), 0);
            QTRY_COMPARE(changed.count(), notifications);
            QTest::qWait(20);
            QCOMPARE(changed.count(), notifications);
            QCOMPARE(inside, 0);
            QCOMPARE(offThread, 0);
            QCOMPARE(status.count(), 0);
            for (const DiscDeviceRef &device : service.devices()) {
                const DriveSnapshot snapshot = DriveSnapshot::read(*device);
                const QString number = device->info().ioPath.mid(8);
                QCOMPARE(snapshot.name, "KLVO Virtual Burner " + number);
                QCOMPARE(snapshot.bus, "Virtual");
                QCOMPARE(TDDetect::key(snapshot), "virtual:" + number);
                QCOMPARE(DriveCaps::from(snapshot).summary(),
                         "Writes CD/DVD/Blu-ray · Disc-at-once · CD-Text · Test burn · Underrun protection");
            }
        }
    }

    void unpluggedBurnerStaysValid()
    {
        VirtualDiscService service(2);
        const DiscDeviceRef first = service.devices().first();
        QVERIFY(service.unplugBurner(1));
        QSignalSpy status(&service, &DiscService::deviceStatusChanged);
        first->ejectMedia();
        QCOMPARE(first->displayName(), "KLVO Virtual Burner 1");
        QCOMPARE(first->status()->mediaType, "CDR");
        QVERIFY(!service.setMedium(1, VirtualDiscService::DVDR));
        QTest::qWait(20);
        QCOMPARE(status.count(), 0);
        QCOMPARE(ioPaths(service), QStringList{"virtual:2"});
    }

    // What each medium holds is blankStatus's table; here, that the one
    // chosen goes to the right tray and its news follows from the event loop.
    void medium()
    {
        using V = VirtualDiscService;
        for (const V::Medium medium : {V::CDR, V::CDRW, V::DVDR, V::DVDPlusRW, V::BDR, V::BDRE, V::NoDisc}) {
            // The second burner, so a mix-up between burners shows.
            VirtualDiscService service(2);
            QSignalSpy status(&service, &DiscService::deviceStatusChanged);
            QVERIFY(service.setMedium(2, medium));
            QCOMPARE(status.count(), 0);
            QVERIFY(status.wait(1000));
            QCOMPARE(service.medium(2), medium);
            QCOMPARE(service.hasDisc(2), medium != V::NoDisc);
            const DeviceStatus s = *service.devices().at(1)->status();
            QCOMPARE(s, V::blankStatus(medium));
            QCOMPARE(s.mediaState, medium == V::NoDisc ? MediaState::none : MediaState::present);
            QVERIFY(std::is_sorted(s.burnSpeeds.begin(), s.burnSpeeds.end()));
            // The first burner kept its CD-R.
            QCOMPARE(service.devices().at(0)->status()->mediaType, "CDR");
        }
    }

    void ejectAndInsert()
    {
        // The device's own eject, and the control's.
        for (const bool throughDevice : {true, false}) {
            VirtualDiscService service(1);
            const DiscDeviceRef burner = service.devices().first();
            service.setMedium(1, VirtualDiscService::DVDPlusRW);
            QSignalSpy status(&service, &DiscService::deviceStatusChanged);
            QVERIFY(status.wait(1000));

            if (throughDevice)
                burner->ejectMedia();
            else
                QVERIFY(service.eject(1));
            QCOMPARE(status.count(), 1); // not yet
            QVERIFY(status.wait(1000));
            QCOMPARE(burner->status()->mediaState, MediaState::none);
            QVERIFY(burner->status()->mediaType.isEmpty());
            QVERIFY(!service.hasDisc(1));
            QCOMPARE(service.medium(1), VirtualDiscService::DVDPlusRW);

            QVERIFY(service.insertBlank(1));
            QVERIFY(status.wait(1000));
            QCOMPARE(burner->status(), VirtualDiscService::blankStatus(VirtualDiscService::DVDPlusRW));
            QCOMPARE(status.count(), 3);
        }
    }

    // A written disc an image describes: a sheet is a CD, an ISO the
    // smallest disc it fits on; what doesn't go in leaves the tray alone.
    void insertImage()
    {
        const qint64 cd = 360000 * 2048, dvd = 2298496ll * 2048, bd = 12219392ll * 2048;
        // error: "sheet": the sheet's own; mediaType: empty when refused
        const struct { QString file; qint64 size; QString error; QString mediaType; int audioTracks; } rows[] = {
            {"disc.cue", 0, "", "CDR", 2}, // cue sheet
            {"disc.toc", 0, "", "CDR", 1}, // toc sheet
            {"broken.cue", 0, "sheet", "", 0}, // a sheet that doesn't read
            {"cd.iso", cd, "", "CDR", 0}, // fills a CD
            {"dvd.iso", cd + 2048, "", "DVDR", 0}, // a block more than a CD
            {"fulldvd.iso", dvd, "", "DVDR", 0}, // fills a DVD
            {"bd.iso", dvd + 2048, "", "BDR", 0}, // a block more than a DVD
            {"fullbd.iso", bd, "", "BDR", 0}, // fills a BD-R
            {"huge.iso", bd + 2048, "“huge.iso” is larger than a BD-R, the largest disc a virtual burner takes.", "", 0}, // a block more than a BD-R
            {"odd.iso", 2049, "“odd.iso” isn't an ISO image: its size isn't a whole number of 2048-byte blocks.", "", 0}, // part of a block
            {"notes.txt", 0, "“notes.txt” isn't an image a virtual burner takes: choose a .cue, .toc or .iso file.", "", 0}, // other file
        };
        for (auto [file, size, error, mediaType, audioTracks] : rows) {
            TestEnv env;
            writeDisc(env);
            writeFile(env.path("disc.toc"), "CD_ROM\nTRACK MODE1\nDATAFILE \"data.iso\"\nTRACK AUDIO\nFILE \"hidden.bin\" 0\n");
            writeFile(env.path("broken.cue"), "FILE \"missing.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
            writeFile(env.path("notes.txt"), "notes");
            if (size > 0)
                QVERIFY(TestEnv::writeSparse(env.path(file), size));
            if (error == "sheet") {
                try {
                    DiscSheet::read(env.path(file));
                } catch (const TDError &e) {
                    error = e.text();
                }
                QVERIFY(!error.isEmpty() && error != "sheet");
            }
            VirtualDiscService service(1);
            service.setMedium(1, VirtualDiscService::DVDPlusRW);
            QTest::qWait(0);
            const DiscDeviceRef burner = service.devices().first();
            const DeviceStatus before = *burner->status();
            QSignalSpy status(&service, &DiscService::deviceStatusChanged);

            QCOMPARE(service.insertImage(burner, env.path(file)), error);
            // The news comes from the event loop, at once or not at all.
            QCOMPARE(status.wait(error.isEmpty() ? 1000 : 20), error.isEmpty());
            const DeviceStatus s = *burner->status();
            if (!error.isEmpty()) {
                QCOMPARE(s, before);
                continue;
            }
            QCOMPARE(s.mediaType, mediaType);
            QVERIFY(!s.blank && !s.erasable);
            QCOMPARE(s.freeFrames, mediaType == "CDR" ? std::optional<qint64>(0) : std::nullopt);
            QCOMPARE(s.blocksFree, std::optional<qint64>(0));
            QCOMPARE(s.bsdName, env.path(file));
            QCOMPARE(s.audioTracks, audioTracks);
            // An ISO is read straight from its file; only a sheet needs a reader.
            QCOMPARE(service.openCd(burner) != nullptr, audioTracks > 0);
        }
    }

    // The disc as a drive gives a burned one back: from LBA 0 without track
    // 1's lead-in pre-gap, its hidden audio and every later gap as INDEX 00,
    // post-gap silence in its track, Mode 1 headers at their disc address.
    // The disc a burn of the sheet leaves in the tray reads the same.
    void readerGivesTheBurnedDisc()
    {
        TestEnv env;
        const QByteArray audio = discAudio(), data = discData();
        VirtualDiscService service(2);
        service.setUnthrottled(true);
        const QString cue = writeDisc(env);
        QCOMPARE(service.insertImage(1, cue), QString());
        const auto reader = service.openCd(service.devices().first());
        QVERIFY(reader);

        const DiscSheet disc = reader->contents();
        QCOMPARE(disc.catalog, "0123456789012");
        QStringList tracks;
        for (const SheetTrack &t : disc.tracks) {
            QVERIFY(t.file.isEmpty() && t.preGap == 0 && t.postGap == 0);
            tracks << QString("%1 %2@%3+%4 %5 %6%7%8 %9")
                          .arg(DiscSheet::modeName(t.mode)).arg(t.fileGap).arg(t.start / CdReader::sectorBytes)
                          .arg(t.length).arg(t.indexes.value(0)).arg(t.isrc)
                          .arg(t.copyPermitted ? "+DCP" : "").arg(t.preEmphasis ? "+PRE" : "").arg(t.title);
        }
        QCOMPARE(tracks, (QStringList{"AUDIO 75@75+150 0  One", "AUDIO 10@235+80 20 USABC1234567+DCP+PRE ",
                                      "MODE1/2352 0@315+4 0  "}));

        QByteArray expected = audio.left(225 * 2352) + QByteArray(10 * 2352, 0) + audio.mid(225 * 2352)
                              + QByteArray(5 * 2352, 0);
        for (quint32 i = 0; i < 4; ++i) {
            QByteArray sector(2352, 0);
            RawSector::encodeMode1(315 + i, data.constData() + i * 2048, sector.data());
            expected += sector;
        }
        QCOMPARE(readDisc(*reader, 319), expected);

        const struct { qint64 lba; int count; bool ok; } reads[] = {
            {318, 1, true}, // the last sector
            {318, 2, false}, // into the lead-out
            {0, 64, true}, // the most at once
            {0, 65, false}, // one more
            {0, 0, false}, // none
        };
        QByteArray buffer(65 * 2352, 0);
        for (auto [lba, count, ok] : reads)
            QCOMPARE(reader->read(lba, count, buffer.data()), ok);

        auto job = service.burn(service.devices().last(), keepDisc(), *service.layoutForImageFile(cue));
        JobWatch watch(job.get());
        QVERIFY(watch.endsOnce() && watch.last().state == DiscJobState::done);
        const auto burned = service.openCd(service.devices().last());
        QVERIFY(burned);
        QCOMPARE(burned->contents(), disc);
        QCOMPARE(readDisc(*burned, 319), expected);
    }

    // A reader made before the tray changed fails, never reads another disc.
    void readerAfterTheTrayChanged()
    {
        const struct { QString change; QString why; } rows[] = {
            {"eject", "No medium found"}, // ejected
            {"again", "No medium found"}, // the same image put in again
            {"unplug", "No such device"}, // unplugged
        };
        for (auto [change, why] : rows) {
            TestEnv env;
            const QString cue = writeDisc(env);
            VirtualDiscService service(1);
            QCOMPARE(service.insertImage(1, cue), QString());
            const auto reader = service.openCd(service.devices().first());
            QVERIFY(reader);
            change == "eject" ? (void)service.eject(1)
            : change == "again" ? (void)service.insertImage(1, cue) : (void)service.unplugBurner(1);
            char sector[2352];
            try {
                reader->read(0, 1, sector);
                QFAIL("the reader read a disc that had gone");
            } catch (const TDError &e) {
                QCOMPARE(e.kind(), TDError::Kind::readFailed);
                QVERIFY2(e.text().contains(why), qPrintable(e.text()));
            }
        }
    }

    // "klvo.td.virtualDiscs" loads the trays at start; an entry that can't be
    // followed is said and skipped, the others still load. The seconds before
    // a blank goes back in are read beside them; milliseconds of more than a
    // day would overflow the timer's int.
    void settings()
    {
        // {cue}: the test's cue sheet; trays: each burner's mediaType, "*" after a written one
        const struct { QVariant stored; QStringList trays; QStringList problems; QVariant autoInsert; int seconds; } rows[] = {
            {QVariant("1={cue}, 2=blank:DVD-R"), QStringList{"CDR*", "DVDR"}, QStringList{}, QVariant(7), 7}, // one string
            {QVariant(QStringList{"2=blank:bd-r"}), QStringList{"CDR", "BDR"}, QStringList{}, QVariant(-3), 0}, // a list, any case; negative
            {QVariant("3=blank:CD-R, disc.cue, 1=blank:HD-DVD, 2={cue}"), QStringList{"CDR", "CDR*"},
             QStringList{"The virtual disc “3=blank:CD-R” wasn't loaded. There is no virtual burner 3.",
                         "The virtual disc “disc.cue” wasn't loaded. Write each as “1=/path/disc.cue” or “1=blank:CD-R”.",
                         "The virtual disc “1=blank:HD-DVD” wasn't loaded. A virtual burner takes no medium called “HD-DVD”: "
                         "choose CD-R, CD-RW, DVD-R, DVD+RW, BD-R or BD-RE."}, QVariant(QStringLiteral("soon")), 0}, // bad entries; not a number
            {QVariant(), QStringList{"CDR", "CDR"}, QStringList{}, QVariant(2147483647), 86400}, // nothing stored; largest int
        };
        for (auto [stored, trays, problems, autoInsert, seconds] : rows) {
            TestEnv env;
            const QString cue = writeDisc(env);
            auto settings = env.settings();
            settings->setValue("klvo.td.virtualDiscs", stored.typeId() == QMetaType::QString
                                                           ? QVariant(stored.toString().replace("{cue}", cue))
                                                           : stored);
            settings->setValue("klvo.td.virtualUnthrottled", true);
            settings->setValue("klvo.td.virtualAutoInsert", autoInsert);
            VirtualDiscService service(2);
            QCOMPARE(service.readSettings(*settings), problems);
            QStringList seen;
            for (const DiscDeviceRef &burner : service.devices())
                seen << burner->status()->mediaType + (burner->status()->blank ? "" : "*");
            QCOMPARE(seen, trays);
            QVERIFY(service.unthrottled());
            QCOMPARE(service.autoInsertSeconds(), seconds);
        }
    }

    // A burner's folder is made when first asked for, and only that one.
    void outputFolder()
    {
        TestEnv env;
        const QString root = env.path("xdg_data_home/KLVO Tandor/Virtual Burners");
        VirtualDiscService service(2);
        QVERIFY(service.outputFolder(3).isEmpty()); // not plugged
        QVERIFY(!QFileInfo::exists(root));
        QCOMPARE(service.outputFolder(2), root + "/Burner 2");
        QCOMPARE(QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"Burner 2"});
        QCOMPARE(service.outputFolder(1), root + "/Burner 1");
        QCOMPARE(service.outputFolder(1), root + "/Burner 1");
        QVERIFY(QFileInfo(root + "/Burner 1").isDir());
        QCOMPARE(QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot), (QStringList{"Burner 1", "Burner 2"}));
    }
};

QTEST_GUILESS_MAIN(TestVirtualDiscService)
#include "tst_virtualdiscservice.moc"
