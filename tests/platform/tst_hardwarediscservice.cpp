// The hardware burner service against real libburn, through stdio: pseudo-
// drives and an emulated burner (this machine has no optical drive), and the
// tables that turn what udev and libburn report into device values.

#include "EmulatedDrives.h"
#include "ImageFixtures.h"
#include "ScriptedDiscService.h"
#include "platform/linux/DriveFacts.h"
#include "platform/linux/HardwareDiscService.h"
#include "platform/linux/ScsiCdReader.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>

class TestHardwareDiscService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void busName()
    {
        const struct { QString idBus; bool sata; QString bus; } rows[] = {
            {"ata", false, "ATAPI"}, // parallel ATA
            {"ata", true, "SATA"}, // serial ATA
            {"ieee1394", false, "FireWire"},
            {" usb", false, "USB"}, // other bus, in capitals
            {"", false, ""}, // none
        };
        for (const auto &r : rows)
            QCOMPARE(DriveFacts::busName(r.idBus, r.sata), r.bus);
    }

    void driveName()
    {
        const struct { QString vendor, model, name; } rows[] = {
            {"HL-DT-ST", "DVDRAM_GH24NSD1", "HL-DT-ST DVDRAM GH24NSD1"}, // underscores
            {"ASUS__", "DRW-24D5MT_", "ASUS DRW-24D5MT"}, // padding underscores
            {"", "BD-RE_BH16NS40", "BD-RE BH16NS40"}, // no vendor
            {"", "", ""}, // nothing
        };
        for (const auto &r : rows)
            QCOMPARE(DriveFacts::driveName(r.vendor, r.model), r.name);
    }

    void rawMediaType()
    {
        // A few of the table's rows: where two profiles share a type, and the fallbacks.
        const struct { int profile; QString type; bool cd; } rows[] = {
            {0x00, "", false}, // no disc
            {0x0a, "CDRW", true}, // CD-RW
            {0x14, "DVDRW", false}, // DVD-RW sequential
            {0x42, "BDR", false}, // BD-R random
            {0x50, "Unknown", false}, // HD DVD-ROM has no type
            {0xffff, "Image file", false}, // stdio file
        };
        for (const auto &r : rows) {
            QCOMPARE(DriveFacts::rawMediaType(r.profile), r.type);
            QCOMPARE(DriveFacts::isCdProfile(r.profile), r.cd);
        }
    }

    void writeCaps()
    {
        DriveFacts::WriteFacts cdrw;
        cdrw.writeCdr = cdrw.writeCdrw = cdrw.simulate = cdrw.saoBlocks = cdrw.taoBlocks = cdrw.underrunProof = true;
        cdrw.profiles = {0x08, 0x09, 0x0a, 0x10};
        const QStringList cdCaps{DRCaps::canWriteCD,    DRCaps::canWriteCDR,    DRCaps::canWriteCDRW,
                                 DRCaps::canWriteCDSAO, DRCaps::canWriteCDTAO,  DRCaps::canWriteCDText,
                                 DRCaps::canTestWriteCD, DRCaps::canUnderrunProtectCD};
        DriveFacts::WriteFacts dvd = cdrw;
        dvd.writeDvdr = true;
        dvd.profiles = {0x08, 0x09, 0x0a, 0x10, 0x11, 0x13, 0x14, 0x1a, 0x1b, 0x2b};
        DriveFacts::WriteFacts plusOnly;
        plusOnly.simulate = plusOnly.underrunProof = plusOnly.saoBlocks = true;
        plusOnly.profiles = {0x10, 0x1a, 0x1b};
        DriveFacts::WriteFacts bd;
        bd.profiles = {0x40, 0x41, 0x42, 0x43, 0x12};
        DriveFacts::WriteFacts noSao = cdrw;
        noSao.saoBlocks = false;
        QStringList noSaoCaps = cdCaps;
        noSaoCaps.removeAll(DRCaps::canWriteCDSAO);
        noSaoCaps.removeAll(DRCaps::canWriteCDText);
        // What libburn says of a stdio: pseudo-drive.
        DriveFacts::WriteFacts stdio;
        stdio.saoBlocks = stdio.taoBlocks = stdio.underrunProof = true;

        const struct { DriveFacts::WriteFacts facts; QStringList granted; } rows[] = {
            {cdrw, cdCaps}, // CD-RW drive that reads DVDs
            {dvd, cdCaps + QStringList{DRCaps::canTestWriteDVD, DRCaps::canUnderrunProtectDVD, DRCaps::canWriteDVDR, DRCaps::canWriteDVDRW, DRCaps::canWriteDVDPlusR, DRCaps::canWriteDVDPlusRW, DRCaps::canWriteDVDPlusRDoubleLayer}}, // DVD writer
            {plusOnly, QStringList{DRCaps::canUnderrunProtectDVD, DRCaps::canWriteDVDPlusR, DRCaps::canWriteDVDPlusRW}}, // DVD+ only: no test write, no CD modes
            {bd, QStringList{DRCaps::canWriteBDR, DRCaps::canWriteBDRE, DRCaps::canWriteDVDRAM}}, // BD writer, profiles only
            {noSao, noSaoCaps}, // CD writer without disc-at-once has no CD-Text
            {stdio, QStringList{}}, // pseudo-drive
        };
        for (auto [facts, granted] : rows) {
            const QMap<QString, bool> caps = DriveFacts::writeCaps(facts);
            QCOMPARE(caps.size(), 19); // every flag named, so "false" is never "unknown"
            QStringList yes;
            for (auto it = caps.begin(); it != caps.end(); ++it) {
                if (it.value())
                    yes.append(it.key());
            }
            granted.sort();
            QCOMPARE(yes, granted);
        }
    }

    void udevEvent()
    {
        using Props = QMap<QString, QString>;
        const Props empty{{"ID_CDROM", "1"}, {"ID_CDROM_CD_R", "1"}};
        Props blank = empty;
        blank.insert({{"ID_CDROM_MEDIA", "1"}, {"ID_CDROM_MEDIA_CD_R", "1"}, {"ID_CDROM_MEDIA_STATE", "blank"}});
        Props written = blank;
        written.insert({{"ID_CDROM_MEDIA_STATE", "complete"}, {"ID_FS_TYPE", "iso9660"}});
        const Props disk{{"DEVTYPE", "disk"}, {"ID_BUS", "ata"}};
        Props mediaChange = empty;
        mediaChange.insert("DISK_MEDIA_CHANGE", "1");
        Props ejectRequest = written;
        ejectRequest.insert("DISK_EJECT_REQUEST", "1");

        using P = DriveFacts::UdevPlan;
        // before: the properties udev gave last time
        const struct { QString action; Props properties; bool known; Props before; P plan; } rows[] = {
            {"add", empty, false, Props{}, P{true, false, false, false}}, // a burner appears
            {"add", disk, false, Props{}, P{}}, // a hard disk appears
            {"change", empty, false, Props{}, P{true, false, false, false}}, // first heard of in a change
            {"remove", empty, true, empty, P{false, true, false, false}}, // listed burner goes
            {"remove", disk, false, Props{}, P{}}, // unlisted device goes
            {"add", empty, true, empty, P{}}, // a second add of a listed burner
            {"change", blank, true, empty, P{false, false, true, true}}, // disc inserted and read by the system
            {"change", empty, true, written, P{false, false, true, true}}, // disc taken out
            {"change", written, true, blank, P{false, false, true, false}}, // disc written elsewhere
            {"change", blank, true, blank, P{}}, // our own grab and release
            {"change", mediaChange, true, empty, P{false, false, true, false}}, // kernel's media change flag
            {"change", ejectRequest, true, written, P{false, false, true, false}}, // eject button
        };
        for (const auto &r : rows) {
            const P got = DriveFacts::planUdevEvent(r.action, r.properties, r.known, DriveFacts::udevMedium(r.before));
            QCOMPARE(got.add, r.plan.add);
            QCOMPARE(got.remove, r.plan.remove);
            QCOMPARE(got.reread, r.plan.reread);
            QCOMPARE(got.systemReadChanged, r.plan.systemReadChanged);
        }
    }

    void extraAddresses()
    {
        if (QFileInfo::exists("/dev/sr0"))
            QSKIP("This machine has an optical drive; udev would list it first.");
        const struct { QStringList addresses, ioPaths, names, buses; } rows[] = {
            {{}, {}, {}, {}}, // none
            {{"stdio:/tmp/b.iso", " ", "stdio:/tmp/a.iso", " stdio:/tmp/b.iso"}, {"stdio:/tmp/b.iso", "stdio:/tmp/a.iso"}, {"Image file b.iso", "Image file a.iso"}, {"File", "File"}}, // blanks and repeats dropped, order kept
            {{"/dev/sr9"}, {"/dev/sr9"}, {"/dev/sr9"}, {""}}, // device address
        };
        for (const auto &r : rows) {
            HardwareDiscService service(r.addresses);
            // Listed at once, before any reading.
            QCOMPARE(::ioPaths(service), r.ioPaths);
            QStringList names, buses;
            for (const DiscDeviceRef &device : service.devices()) {
                names.append(device->displayName());
                buses.append(device->info().bus);
                QVERIFY(!device->status());
                QVERIFY(!device->info().writeCaps);
            }
            QCOMPARE(names, r.names);
            QCOMPARE(buses, r.buses);
        }
    }

    // A pseudo-drive: its one reading, ejects, and its device outliving the service.
    void stdioDrive()
    {
        // size: -1: the file doesn't exist
        const struct { qint64 size; bool blank; } rows[] = {
            {-1, true}, // file not there yet
            {0, true}, // empty file
            {40960, false}, // file holding an image
        };
        for (auto [size, blank] : rows) {
            QTemporaryDir dir;
            const QString file = dir.filePath("disc.iso");
            if (size >= 0)
                QVERIFY(writeFile(file, QByteArray(size, 'x')));

            // A drive libburn can't take goes first: it is listed without a
            // status, and the drive after it is still read.
            const QString bad = "stdio:" + dir.filePath("no/such/folder/disc.iso");
            auto service = std::make_unique<HardwareDiscService>(QStringList{bad, "stdio:" + file});
            QSignalSpy status(service.get(), &DiscService::deviceStatusChanged);
            bool offThread = false;
            connect(service.get(), &DiscService::deviceStatusChanged, this,
                    [&] { offThread |= QThread::currentThread() != thread(); });

            const DiscDeviceRef drive = service->devices().last();
            QVERIFY(!drive->status());

            QVERIFY(status.wait(5000));
            QVERIFY(!offThread);
            // Requests are answered in order: the bad one's answer came first.
            const DiscDeviceRef badDrive = service->devices().at(service->devices().size() - 2);
            QCOMPARE(badDrive->info().ioPath, bad);
            QVERIFY(!badDrive->status());
            const std::optional<DeviceStatus> s = drive->status();
            QVERIFY(s);
            QCOMPARE(drive->info().bus, "File");
            QCOMPARE(s->mediaState, MediaState::present);
            QCOMPARE(s->mediaType, "Image file");
            QCOMPARE(s->blank, blank);
            QVERIFY(s->blocksFree.value_or(0) > 0);
            QVERIFY(!s->freeFrames); // not a CD
            QVERIFY(s->bsdName.isEmpty());
            QVERIFY(drive->info().writeCaps);
            QCOMPARE(drive->info().writeCaps->value(DRCaps::canWriteCD, true), false);
            // Reading writes nothing.
            QCOMPARE(QFileInfo(file).exists(), size >= 0);
            QCOMPARE(QFileInfo(file).size(), std::max<qint64>(size, 0));
            // One reading, one notice.
            QTest::qWait(50);
            QCOMPARE(status.count(), 1);

            drive->ejectMedia();
            drive->ejectMedia(); // the second waits for the first
            QCOMPARE(status.count(), 1);
            QTRY_COMPARE_WITH_TIMEOUT(status.count(), 3, 5000);
            // A file has no tray: still "in" after an eject.
            QCOMPARE(drive->status()->mediaState, MediaState::present);

            service.reset();
            drive->ejectMedia(); // must do nothing, and not crash
            QCOMPARE(drive->displayName(), "Image file disc.iso");
            QTest::qWait(20);
        }
    }

    // A drive still spinning its disc up is said to be so at once: its
    // reading doesn't wait in libburn's grab (on the drive's own time here),
    // and it is read again once the disc is up.
    void driveBecomingReady()
    {
        EmulatedDrives drives({QStringLiteral("CD-R")}, 1);
        drives[0].arm(mmc::Fault::becomingReady, 0, 0);
        HardwareDiscService service(drives.devices());
        const DiscDeviceRef drive = service.devices().last();
        QTRY_VERIFY_WITH_TIMEOUT(drive->status().has_value(), 5000);
        QCOMPARE(drive->status()->mediaState, MediaState::inTransition);
        drives[0].arm(mmc::Fault::none);
        QTRY_VERIFY_WITH_TIMEOUT(drive->status() && drive->status()->blank, 5000);
        QVERIFY(drive->info().writeCaps && drive->info().writeCaps->value(DRCaps::canWriteCD));
    }

    // A master cdrskin burnt (it shares none of our code) read back through
    // the service's reader: all that is on it, then its sectors, also where
    // the disc is damaged or taken out.
    void readsWrittenCd()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("cdrskin")).isEmpty())
            QSKIP("cdrskin is not installed (scripts/install-deps installs it)");
        QTemporaryDir dir;
        // 1100 sectors: 75 hidden before track 1, pre-gaps of 2 s and 4 s, an INDEX 02.
        QByteArray bin(1100 * 2352, Qt::Uninitialized);
        QRandomGenerator(5).fillRange(reinterpret_cast<quint32 *>(bin.data()), bin.size() / 4);
        QVERIFY(writeFile(dir.filePath("disc.bin"), bin));
        QVERIFY(writeFile(dir.filePath("disc.cue"),
                          "CATALOG 0123456789012\nPERFORMER \"The Band\"\nTITLE \"Album\"\nSONGWRITER \"Writer\"\n"
                          "FILE \"disc.bin\" BINARY\n"
                          "TRACK 01 AUDIO\nFLAGS DCP\nTITLE \"One\"\nISRC USABC2600001\nINDEX 00 00:00:00\nINDEX 01 00:01:00\n"
                          "TRACK 02 AUDIO\nFLAGS PRE\nTITLE \"Two\"\nSONGWRITER \"Composer\"\nISRC USABC2600002\n"
                          "INDEX 00 00:05:00\nINDEX 01 00:07:00\nINDEX 02 00:08:00\n"
                          "TRACK 03 AUDIO\nTITLE \"Three\"\nMESSAGE \"Note\"\nINDEX 00 00:09:00\nINDEX 01 00:13:00\n"));
        EmulatedDrives drives({QStringLiteral("CD-R"), QStringLiteral("CD-R")});
        const auto burned = drives.run(QStringLiteral("cdrskin"),
                                       {"dev=" + EmulatedDrives::device(0), "-sao", "-text", "cuefile=disc.cue"}, dir.path());
        QVERIFY2(burned.code == 0, qPrintable(burned.output));

        HardwareDiscService service(drives.devices());
        // Every drive has a reading.
        QTRY_VERIFY_WITH_TIMEOUT(std::ranges::all_of(service.devices(), [](const DiscDeviceRef &d) { return d->status().has_value(); }), 5000);
        const DiscDeviceRef master = service.devices().at(service.devices().size() - 2);
        QCOMPARE(master->status()->audioTracks, 3);
        QVERIFY(!service.openCd(service.devices().last())); // blank
        QCOMPARE(thrown([] { ScsiCdReader(EmulatedDrives::device(1)).contents(); }).kind(), TDError::Kind::refused);
        const std::unique_ptr<CdReader> reader = service.openCd(master);
        QVERIFY(reader);

        const auto track = [](qint64 start, quint32 gap, quint64 length, const char *title, const char *isrc) {
            SheetTrack t;
            t.start = start * CdReader::sectorBytes;
            t.fileGap = gap;
            t.length = length;
            t.title = QLatin1String(title);
            t.isrc = QLatin1String(isrc);
            return t;
        };
        DiscSheet expected{"Album", "The Band", "Writer", {},
                           {track(75, 75, 300, "One", "USABC2600001"), track(525, 150, 150, "Two", "USABC2600002"),
                            track(975, 300, 125, "Three", "")}, "0123456789012"};
        expected.tracks[0].copyPermitted = expected.tracks[1].preEmphasis = true;
        expected.tracks[1].indexes = {75};
        expected.tracks[1].songwriter = QStringLiteral("Composer");
        expected.tracks[2].message = QStringLiteral("Note");
        QCOMPARE(reader->contents(), expected);

        QByteArray disc(bin.size(), '\0');
        for (int lba = 0; lba < 1100; lba += 64)
            QVERIFY(reader->read(lba, std::min(64, 1100 - lba), disc.data() + qint64(lba) * CdReader::sectorBytes));
        QVERIFY(disc == bin);

        // Sectors 500 to 515, read twice.
        enum Outcome { asBurnt, unreadable, differs, gone };
        const struct { const char *what; mmc::Fault fault; int damagedFrom; Outcome outcome; } rows[] = {
            {"damage just after", mmc::Fault::unreadable, 516, asBurnt},
            {"damage from the last sector", mmc::Fault::unreadable, 515, unreadable},
            {"unstable sector", mmc::Fault::unstable, 500, differs},
            {"disc taken out", mmc::Fault::mediumRemoved, -1, gone},
        };
        for (const auto &row : rows) {
            if (row.damagedFrom >= 0)
                drives[0].damage(row.fault, row.damagedFrom, 10);
            else
                drives[0].arm(row.fault);
            QByteArray first(16 * CdReader::sectorBytes, '\0'), second = first;
            try {
                const bool read = reader->read(500, 16, first.data()) && reader->read(500, 16, second.data());
                QVERIFY2(read == (row.outcome != unreadable), row.what);
                if (read) {
                    QVERIFY2((first == bin.mid(500 * CdReader::sectorBytes, first.size())) == (row.outcome == asBurnt), row.what);
                    QVERIFY2((first == second) == (row.outcome == asBurnt), row.what);
                }
            } catch (const TDError &e) {
                QVERIFY2(row.outcome == gone && e.kind() == TDError::Kind::readFailed && e.errorNumber() == ENOMEDIUM, row.what);
                continue;
            }
            QVERIFY2(row.outcome != gone, row.what);
        }
    }
};

QTEST_GUILESS_MAIN(TestHardwareDiscService)
#include "tst_hardwarediscservice.moc"
