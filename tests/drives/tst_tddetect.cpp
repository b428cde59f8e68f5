// Detection rules: identities, deck slots, the tray lines and their readiness.

#include "ScriptedDiscService.h"
#include "drives/TDDetect.h"

#include <QTest>

using Snap = std::optional<DriveSnapshot>;
Q_DECLARE_METATYPE(Snap)
Q_DECLARE_METATYPE(MediaReport)

namespace {
DriveSnapshot tray(const QString &type, bool blank, bool erasable = false,
                   std::optional<QMap<QString, bool>> caps = ScriptedDevice::allCaps())
{
    DriveSnapshot s;
    s.name = QStringLiteral("Burner");
    s.writeCaps = std::move(caps);
    s.statusAvailable = true;
    s.mediaState = MediaState::present;
    if (!type.isEmpty())
        s.mediaType = type;
    s.blank = blank;
    s.erasable = erasable;
    return s;
}

DriveSnapshot withState(std::optional<MediaState> state, bool statusAvailable = true)
{
    DriveSnapshot s;
    s.statusAvailable = statusAvailable;
    s.mediaState = state;
    return s;
}

DriveSnapshot withBlocks(DriveSnapshot s, qint64 blocks) { s.freeBlocks = blocks; return s; }
DriveSnapshot withMinutes(DriveSnapshot s, int minutes) { s.freeMinutes = minutes; return s; }
} // namespace

class TestTDDetect : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void identity()
    {
        DriveSnapshot s;
        s.name = QStringLiteral("DRW-24");
        s.bus = QStringLiteral("USB");
        QCOMPARE(TDDetect::key(s), QStringLiteral("drive:DRW-24|USB"));
        s.ioPath = QString();
        QCOMPARE(TDDetect::key(s), QStringLiteral("drive:DRW-24|USB"));
        s.ioPath = QStringLiteral("pci-0000:00:1f.2-ata-2");
        QCOMPARE(TDDetect::key(s), QStringLiteral("pci-0000:00:1f.2-ata-2"));
    }

    void deckSlots_data()
    {
        QTest::addColumn<QStringList>("current");
        QTest::addColumn<QStringList>("drives");
        QTest::addColumn<QStringList>("expected");
        const QString e;
        QTest::newRow("first burners fill in order") << QStringList{e, e, e, e, e, e} << QStringList{"a", "b"} << QStringList{"a", "b", e, e, e, e};
        QTest::newRow("unplug keeps the other in place") << QStringList{"a", "b", e, e, e, e} << QStringList{"b"} << QStringList{e, "b", e, e, e, e};
        QTest::newRow("newcomer takes lowest free deck") << QStringList{e, "b", e, e, e, e} << QStringList{"b", "c"} << QStringList{"c", "b", e, e, e, e};
        QTest::newRow("k1 leaves, k3 arrives in the same check") << QStringList{"k1", "k2", e} << QStringList{"k2", "k3"} << QStringList{"k3", "k2", e};
        QTest::newRow("seventh gets none") << QStringList{e, e, e, e, e, e} << QStringList{"1", "2", "3", "4", "5", "6", "7"} << QStringList{"1", "2", "3", "4", "5", "6"};
        QTest::newRow("seventh waits for a free deck") << QStringList{"1", "2", "3", "4", "5", "6"} << QStringList{"7", "2", "3", "4", "5", "6"} << QStringList{"7", "2", "3", "4", "5", "6"};
        QTest::newRow("all gone") << QStringList{"a", e, "c"} << QStringList{} << QStringList{e, e, e};
    }
    void deckSlots()
    {
        QFETCH(QStringList, current);
        QFETCH(QStringList, drives);
        QFETCH(QStringList, expected);
        QCOMPARE(TDDetect::assign(current, drives), expected);
    }

    void mediaNames_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("family");
        QTest::newRow("prefixed") << "DRDeviceMediaTypeDVDPlusRDoubleLayer" << "DVD+R DL" << int(DiscFamily::dvd);
        QTest::newRow("HD DVD before DVD rule") << "HDDVDRAM" << "HD DVD-RAM" << int(DiscFamily::hddvd);
        QTest::newRow("unknown raw") << "Unknown" << "Unknown disc" << int(DiscFamily::unknown);
        QTest::newRow("none") << "" << "Unknown disc" << int(DiscFamily::unknown);
        QTest::newRow("unlisted shown as is") << "Image file" << "Image file" << int(DiscFamily::unknown);
        QTest::newRow("unlisted CD kind") << "CDMRW" << "CDMRW" << int(DiscFamily::cd);
    }
    void mediaNames()
    {
        QFETCH(QString, type);
        QFETCH(QString, name);
        QFETCH(int, family);
        const std::optional<QString> t = type.isEmpty() ? std::nullopt : std::optional(type);
        QCOMPARE(TDDetect::mediaTypeName(t), name);
        QCOMPARE(int(TDDetect::family(t)), family);
    }

    void audioReport_data()
    {
        QTest::addColumn<Snap>("snapshot");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ready");
        QMap<QString, bool> noCD{{DRCaps::canWriteDVDR, true}};
        QTest::newRow("no burner") << Snap() << "No burner connected" << false;
        QTest::newRow("no status") << Snap(withState(std::nullopt, false)) << "Burner found — checking the tray…" << false;
        QTest::newRow("in transition") << Snap(withState(MediaState::inTransition)) << "Reading disc…" << false;
        QTest::newRow("no state") << Snap(withState(std::nullopt)) << "No disc — insert a blank CD-R" << false;
        QTest::newRow("blank with minutes") << Snap(withMinutes(tray("CDR", true), 79)) << "Blank CD-R ready · 79 min" << true;
        QTest::newRow("blank without minutes") << Snap(tray("CDR", true)) << "Blank CD-R ready" << true;
        QTest::newRow("DVD refused before caps") << Snap(tray("DVDR", true, false, noCD)) << "DVD-R — not usable for audio CD" << false;
        QTest::newRow("drive can't write CDs") << Snap(tray("CDRW", true, true, noCD)) << "Blank CD-RW — this drive can't write CDs" << false;
        QTest::newRow("empty caps is unknown, not refused") << Snap(tray("CDR", true, false, QMap<QString, bool>{})) << "Blank CD-R ready" << true;
        QTest::newRow("written") << Snap(tray("CDR", false)) << "CD-R — already written, not blank" << false;
    }
    void audioReport()
    {
        QFETCH(Snap, snapshot);
        QFETCH(QString, text);
        QFETCH(bool, ready);
        QCOMPARE(TDDetect::media(snapshot), (MediaReport{text, ready}));
    }

    void dataReport_data()
    {
        QTest::addColumn<Snap>("snapshot");
        QTest::addColumn<qint64>("image");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ready");
        const qint64 none = -1;
        const auto dvd = withBlocks(tray("DVDR", true), 2'298'496);
        QMap<QString, bool> cdOnly{{DRCaps::canWriteCDR, true}};
        QTest::newRow("no disc") << Snap(withState(MediaState::none)) << none << "No disc — insert a blank CD-R, DVD-R or DVD+R" << false;
        QTest::newRow("fits exactly") << Snap(withBlocks(tray("CDR", true), 1000)) << qint64(2'048'000) << "Blank CD-R ready · 2 MB" << true;
        QTest::newRow("one byte too big") << Snap(withBlocks(tray("CDR", true), 1000)) << qint64(2'048'001) << "Blank CD-R — too small for this image (needs 2 MB, holds 2 MB)" << false;
        QTest::newRow("DVD free space") << Snap(dvd) << qint64(4'000'000'000) << "Blank DVD-R ready · 4.71 GB" << true;
        QTest::newRow("drive can't write DVDs") << Snap(withBlocks(tray("DVDPlusR", true, false, cdOnly), 100)) << none << "Blank DVD+R — this drive can't write DVDs" << false;
        QTest::newRow("drive can't write Blu-rays") << Snap(tray("BDR", true, false, cdOnly)) << none << "Blank BD-R — this drive can't write Blu-rays" << false;
        QTest::newRow("unknown family skips caps") << Snap(tray("Image file", true, false, cdOnly)) << none << "Blank Image file ready" << true;
        QTest::newRow("rewritable with data") << Snap(tray("DVDPlusRW", false, true)) << none << "DVD+RW — has data on it. Erase it first (it's rewritable)" << false;
        QTest::newRow("written") << Snap(tray("DVDR", false)) << none << "DVD-R — already written, not blank" << false;
    }
    void dataReport()
    {
        QFETCH(Snap, snapshot);
        QFETCH(qint64, image);
        QFETCH(QString, text);
        QFETCH(bool, ready);
        const auto bytes = image < 0 ? std::nullopt : std::optional<qint64>(image);
        QCOMPARE(TDDetect::dataMedia(snapshot, bytes), (MediaReport{text, ready}));
    }

    void eraseAndReadReports_data()
    {
        QTest::addColumn<Snap>("snapshot");
        QTest::addColumn<MediaReport>("erase");
        QTest::addColumn<MediaReport>("read");
        auto named = [](DriveSnapshot s) { s.bsdName = QStringLiteral("sr0"); return s; };
        const MediaReport noRw{QStringLiteral("No disc — insert a rewritable disc (CD-RW, DVD-RW, DVD+RW)"), false};
        const MediaReport noCopy{QStringLiteral("No disc — insert the CD or DVD to copy"), false};
        QTest::newRow("no burner") << Snap() << MediaReport{QStringLiteral("No burner connected"), false} << MediaReport{QStringLiteral("No drive connected"), false};
        QTest::newRow("empty tray") << Snap(withState(MediaState::none)) << noRw << noCopy;
        QTest::newRow("not read yet") << Snap(withState(std::nullopt, false)) << noRw << noCopy;
        QTest::newRow("rewritable") << Snap(tray("CDRW", false, true)) << MediaReport{QStringLiteral("CD-RW ready to erase"), true} << MediaReport{QStringLiteral("CD-RW — waiting for the system to read it"), false};
        QTest::newRow("pressed disc, read") << Snap(named(tray("DVDROM", false))) << MediaReport{QStringLiteral("DVD-ROM — can't be erased (only CD-RW, DVD-RW, DVD+RW and BD-RE can)"), false} << MediaReport{QStringLiteral("DVD-ROM ready to copy"), true};
        QTest::newRow("blank") << Snap(tray("CDR", true)) << MediaReport{QStringLiteral("CD-R — can't be erased (only CD-RW, DVD-RW, DVD+RW and BD-RE can)"), false} << MediaReport{QStringLiteral("CD-R is blank — nothing to copy"), false};
    }
    void eraseAndReadReports()
    {
        QFETCH(Snap, snapshot);
        QFETCH(MediaReport, erase);
        QFETCH(MediaReport, read);
        QCOMPARE(TDDetect::eraseMedia(snapshot), erase);
        QCOMPARE(TDDetect::readMedia(snapshot), read);
    }

    void capabilities()
    {
        DriveSnapshot s = tray("CDR", true);
        QCOMPARE(DriveCaps::from(s).summary(),
                 QStringLiteral("Writes CD/DVD · Disc-at-once · CD-Text · Test burn · Underrun protection"));
        s.writeCaps = QMap<QString, bool>{{DRCaps::canWriteCD, true}, {DRCaps::canWriteBDRE, true}};
        QCOMPARE(DriveCaps::from(s).summary(), QStringLiteral("Writes CD/Blu-ray · Track-at-once"));
        s.writeCaps = QMap<QString, bool>{};
        QCOMPARE(DriveCaps::from(s), DriveCaps{});
        QVERIFY(!TDDetect::canWrite(DiscFamily::dvd, s).has_value());
        s.writeCaps.reset();
        QCOMPARE(DriveCaps::from(s).summary(), QStringLiteral("Writes CD · Track-at-once"));
    }

    void snapshotFromDevice()
    {
        ScriptedDevice device(QStringLiteral("DRW"), QString(), QStringLiteral("DRDevicePhysicalInterconnectUSB"));
        DeviceStatus status = ScriptedDevice::blankCDR();
        status.freeFrames = 79 * 60 * 75 + 59 * 75 + 74; // 79:59:74
        status.burnSpeeds = {4 * DRUnits::cd1x, 47.6 * DRUnits::cd1x};
        status.blocksFree = 0;
        device.m_status = status;
        const DriveSnapshot s = DriveSnapshot::read(device);
        QVERIFY(!s.ioPath);
        QCOMPARE(s.bus, QStringLiteral("USB"));
        QCOMPARE(s.freeMinutes, 79);
        QCOMPARE(s.freeBlocks, *status.freeFrames); // zero blocks fall back to the frame count
        QCOMPARE(s.topSpeedX, 48);
        QCOMPARE(TDDetect::media(s).text, QStringLiteral("Blank CD-R ready · 79 min"));

        device.m_status.reset();
        const DriveSnapshot unread = DriveSnapshot::read(device);
        QVERIFY(!unread.statusAvailable);
        QVERIFY(!unread.mediaType && !unread.freeBlocks && unread.topSpeedX == 0);
    }

    // What CD-Text loses is exactly what is past Latin-1, named once each,
    // whole characters even outside the BMP.
    void cdTextLoss_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lost");
        QTest::newRow("Latin-1 letters") << "Über Ärger ÿ é" << QStringList{};
        QTest::newRow("first past Latin-1") << "Ā" << QStringList{"Ā"};
        QTest::newRow("repeats once, in order") << "Ω ✓ Ω é ✓" << QStringList{"Ω", "✓"};
        QTest::newRow("outside the BMP") << "Song 🎵" << QStringList{"🎵"};
        QTest::newRow("empty") << "" << QStringList{};
    }
    void cdTextLoss()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lost);
        QCOMPARE(TDDetect::cdTextUnwritable(text), lost);
        const QString warning = TDDetect::cdTextWarning(text);
        QCOMPARE(warning.isEmpty(), lost.isEmpty());
        for (const QString &c : lost)
            QVERIFY2(warning.contains(QStringLiteral("“") + c + QStringLiteral("”")), qPrintable(warning));
        if (lost.size() == 1)
            QCOMPARE(warning, QStringLiteral("CD-Text can't hold “%1”; it becomes “?” on the disc.").arg(lost[0]));
    }
};

QTEST_GUILESS_MAIN(TestTDDetect)
#include "tst_tddetect.moc"
