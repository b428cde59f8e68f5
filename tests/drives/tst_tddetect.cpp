// Detection rules: identities, deck slots, the tray lines and their readiness.

#include "ScriptedDiscService.h"
#include "drives/TDDetect.h"

#include <QTest>

using Snap = std::optional<DriveSnapshot>;

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

    void deckSlots()
    {
        const QString e;
        const struct { QStringList current, drives, expected; } rows[] = {
            {{e, e, e, e, e, e}, {"a", "b"}, {"a", "b", e, e, e, e}}, // first burners fill in order
            {{"a", "b", e, e, e, e}, {"b"}, {e, "b", e, e, e, e}}, // unplug keeps the other in place
            {{e, "b", e, e, e, e}, {"b", "c"}, {"c", "b", e, e, e, e}}, // newcomer takes lowest free deck
            {{"k1", "k2", e}, {"k2", "k3"}, {"k3", "k2", e}}, // k1 leaves, k3 arrives in the same check
            {{e, e, e, e, e, e}, {"1", "2", "3", "4", "5", "6", "7"}, {"1", "2", "3", "4", "5", "6"}}, // seventh gets none
            {{"1", "2", "3", "4", "5", "6"}, {"7", "2", "3", "4", "5", "6"}, {"7", "2", "3", "4", "5", "6"}}, // seventh waits
            {{"a", e, "c"}, {}, {e, e, e}}, // all gone
        };
        for (const auto &r : rows)
            QCOMPARE(TDDetect::assign(r.current, r.drives), r.expected);
    }

    void mediaNames()
    {
        const struct { QString type, name; DiscFamily family; } rows[] = {
            {"DRDeviceMediaTypeDVDPlusRDoubleLayer", "DVD+R DL", DiscFamily::dvd}, // prefixed
            {"HDDVDRAM", "HD DVD-RAM", DiscFamily::hddvd}, // HD DVD before the DVD rule
            {"Unknown", "Unknown disc", DiscFamily::unknown},
            {"", "Unknown disc", DiscFamily::unknown}, // none
            {"Image file", "Image file", DiscFamily::unknown}, // unlisted: shown as is
            {"CDMRW", "CDMRW", DiscFamily::cd}, // unlisted CD kind
        };
        for (const auto &r : rows) {
            const std::optional<QString> t = r.type.isEmpty() ? std::nullopt : std::optional(r.type);
            QCOMPARE(TDDetect::mediaTypeName(t), r.name);
            QCOMPARE(int(TDDetect::family(t)), int(r.family));
        }
    }

    void audioReport()
    {
        const QMap<QString, bool> noCD{{DRCaps::canWriteDVDR, true}};
        const struct { Snap snapshot; QString text; bool ready; } rows[] = {
            {Snap(), "No burner connected", false},
            {withState(std::nullopt, false), "Burner found — checking the tray…", false}, // no status
            {withState(MediaState::inTransition), "Reading disc…", false},
            {withState(std::nullopt), "No disc — insert a blank CD-R", false}, // no state
            {withMinutes(tray("CDR", true), 79), "Blank CD-R ready · 79 min", true},
            {tray("CDR", true), "Blank CD-R ready", true}, // without minutes
            {tray("DVDR", true, false, noCD), "DVD-R — not usable for audio CD", false}, // refused before caps
            {tray("CDRW", true, true, noCD), "Blank CD-RW — this drive can't write CDs", false},
            {tray("CDR", true, false, QMap<QString, bool>{}), "Blank CD-R ready", true}, // empty caps: unknown, not refused
            {tray("CDR", false), "CD-R — already written, not blank", false},
        };
        for (const auto &r : rows)
            QCOMPARE(TDDetect::media(r.snapshot), (MediaReport{r.text, r.ready}));
    }

    void dataReport()
    {
        const std::optional<qint64> none;
        const QMap<QString, bool> cdOnly{{DRCaps::canWriteCDR, true}};
        const struct { Snap snapshot; std::optional<qint64> image; QString text; bool ready; } rows[] = {
            {withState(MediaState::none), none, "No disc — insert a blank CD-R, DVD-R or DVD+R", false},
            {withBlocks(tray("CDR", true), 1000), 2'048'000, "Blank CD-R ready · 2 MB", true}, // fits exactly
            {withBlocks(tray("CDR", true), 1000), 2'048'001, "Blank CD-R — too small for this image (needs 2 MB, holds 2 MB)", false},
            {withBlocks(tray("DVDR", true), 2'298'496), 4'000'000'000, "Blank DVD-R ready · 4.71 GB", true},
            {withBlocks(tray("DVDPlusR", true, false, cdOnly), 100), none, "Blank DVD+R — this drive can't write DVDs", false},
            {tray("BDR", true, false, cdOnly), none, "Blank BD-R — this drive can't write Blu-rays", false},
            {tray("Image file", true, false, cdOnly), none, "Blank Image file ready", true}, // unknown family skips caps
            {tray("DVDPlusRW", false, true), none, "DVD+RW — has data on it. Erase it first (it's rewritable)", false},
            {tray("DVDR", false), none, "DVD-R — already written, not blank", false},
        };
        for (const auto &r : rows)
            QCOMPARE(TDDetect::dataMedia(r.snapshot, r.image), (MediaReport{r.text, r.ready}));
    }

    void eraseAndReadReports()
    {
        auto named = [](DriveSnapshot s) { s.bsdName = QStringLiteral("sr0"); return s; };
        const MediaReport noRw{QStringLiteral("No disc — insert a rewritable disc (CD-RW, DVD-RW, DVD+RW)"), false};
        const MediaReport noCopy{QStringLiteral("No disc — insert the CD or DVD to copy"), false};
        const QString cantErase = QStringLiteral(" — can't be erased (only CD-RW, DVD-RW, DVD+RW and BD-RE can)");
        const struct { Snap snapshot; MediaReport erase, read; } rows[] = {
            {Snap(), {"No burner connected", false}, {"No drive connected", false}},
            {withState(MediaState::none), noRw, noCopy}, // empty tray
            {withState(std::nullopt, false), noRw, noCopy}, // not read yet
            {tray("CDRW", false, true), {"CD-RW ready to erase", true}, {"CD-RW — waiting for the system to read it", false}},
            {named(tray("DVDROM", false)), {"DVD-ROM" + cantErase, false}, {"DVD-ROM ready to copy", true}},
            {tray("CDR", true), {"CD-R" + cantErase, false}, {"CD-R is blank — nothing to copy", false}},
        };
        for (const auto &r : rows) {
            QCOMPARE(TDDetect::eraseMedia(r.snapshot), r.erase);
            QCOMPARE(TDDetect::readMedia(r.snapshot), r.read);
        }
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

        device.m_status.reset();
        const DriveSnapshot unread = DriveSnapshot::read(device);
        QVERIFY(!unread.statusAvailable);
        QVERIFY(!unread.mediaType && !unread.freeBlocks && unread.topSpeedX == 0);
    }

    // What CD-Text loses is exactly what is past Latin-1, named once each,
    // whole characters even outside the BMP.
    void cdTextLoss()
    {
        const struct { QString text; QStringList lost; } rows[] = {
            {"Über Ärger ÿ é", QStringList{}}, // Latin-1 letters
            {"Ā", QStringList{"Ā"}}, // first past Latin-1
            {"Ω ✓ Ω é ✓", QStringList{"Ω", "✓"}}, // repeats once, in order
            {"Song 🎵", QStringList{"🎵"}}, // outside the BMP
            {"", QStringList{}}, // empty
        };
        for (auto [text, lost] : rows) {
            QCOMPARE(TDDetect::cdTextUnwritable(text), lost);
            const QString warning = TDDetect::cdTextWarning(text);
            QCOMPARE(warning.isEmpty(), lost.isEmpty());
            for (const QString &c : lost)
                QVERIFY2(warning.contains(QStringLiteral("“") + c + QStringLiteral("”")), qPrintable(warning));
            if (lost.size() == 1)
                QCOMPARE(warning, QStringLiteral("CD-Text can't hold “%1”; it becomes “?” on the disc.").arg(lost[0]));
        }
    }
};

QTEST_GUILESS_MAIN(TestTDDetect)
#include "tst_tddetect.moc"
