#include "drives/TDDetect.h"

#include "base/Format.h"

#include <QSet>
#include <cmath>

static bool flag(const QMap<QString, bool> &caps, const QString &name)
{
    return caps.value(name, false);
}

namespace TDMessages {
const QString noBurner = QStringLiteral(
    "No burner found. Check that the burner has power and its cable is plugged straight into the computer "
    "(not chained through another drive or a hub), then click Refresh Drives.");
const QString noBurnerShort = QStringLiteral("No burner found — check power and cable, then Refresh Drives");
} // namespace TDMessages

DriveSnapshot DriveSnapshot::read(const DiscDevice &device)
{
    DriveSnapshot s;
    const DeviceInfo info = device.info();
    if (!info.ioPath.isEmpty())
        s.ioPath = info.ioPath;
    s.name = device.displayName();
    s.bus = info.bus;
    s.bus.remove(QStringLiteral("DRDevicePhysicalInterconnect"));
    s.writeCaps = info.writeCaps;
    s.problem = device.accessProblem();
    const auto status = device.status();
    s.statusAvailable = status.has_value();
    if (!status)
        return s;
    s.mediaState = status->mediaState;
    if (!status->mediaType.isEmpty())
        s.mediaType = status->mediaType;
    s.blank = status->blank;
    if (status->freeFrames)
        s.freeMinutes = int(*status->freeFrames / (60 * 75));
    if (!status->burnSpeeds.isEmpty())
        s.topSpeedX = int(std::lround(*std::max_element(status->burnSpeeds.cbegin(), status->burnSpeeds.cend())
                                      / DRUnits::cd1x));
    if (status->blocksFree && *status->blocksFree >= 1)
        s.freeBlocks = status->blocksFree;
    else if (status->freeFrames)
        s.freeBlocks = status->freeFrames;
    s.erasable = status->erasable;
    if (!status->bsdName.isEmpty())
        s.bsdName = status->bsdName;
    s.audioTracks = status->audioTracks;
    return s;
}

DriveCaps DriveCaps::from(const DriveSnapshot &snapshot)
{
    DriveCaps c;
    if (!snapshot.writeCaps)
        return c;
    const auto &caps = *snapshot.writeCaps;
    c.writesCD = flag(caps, DRCaps::canWriteCD) || flag(caps, DRCaps::canWriteCDR);
    c.writesDVD = TDDetect::canWrite(DiscFamily::dvd, snapshot).value_or(false);
    c.writesBD = TDDetect::canWrite(DiscFamily::bd, snapshot).value_or(false);
    c.cdText = flag(caps, DRCaps::canWriteCDText);
    c.testBurn = flag(caps, DRCaps::canTestWriteCD) || flag(caps, DRCaps::canTestWriteDVD);
    c.sao = flag(caps, DRCaps::canWriteCDSAO);
    c.underrunProtection = flag(caps, DRCaps::canUnderrunProtectCD) || flag(caps, DRCaps::canUnderrunProtectDVD);
    return c;
}

QString DriveCaps::summary() const
{
    QStringList families{QStringLiteral("CD")};
    if (writesDVD)
        families.append(QStringLiteral("DVD"));
    if (writesBD)
        families.append(QStringLiteral("Blu-ray"));
    QStringList parts{QStringLiteral("Writes ") + families.join(QLatin1Char('/')),
                      sao ? QStringLiteral("Disc-at-once") : QStringLiteral("Track-at-once")};
    if (cdText)
        parts.append(QStringLiteral("CD-Text"));
    if (testBurn)
        parts.append(QStringLiteral("Test burn"));
    if (underrunProtection)
        parts.append(QStringLiteral("Underrun protection"));
    return parts.join(QStringLiteral(" · "));
}

namespace TDDetect {

QString key(const DriveSnapshot &snapshot)
{
    if (snapshot.ioPath && !snapshot.ioPath->isEmpty())
        return *snapshot.ioPath;
    return QStringLiteral("drive:") + snapshot.name + QLatin1Char('|') + snapshot.bus;
}

std::optional<bool> canWriteCD(const DriveSnapshot &snapshot)
{
    if (!snapshot.writeCaps || snapshot.writeCaps->isEmpty())
        return std::nullopt;
    if (flag(*snapshot.writeCaps, DRCaps::canWriteCDR))
        return true;
    return flag(*snapshot.writeCaps, DRCaps::canWriteCD);
}

std::optional<bool> canWrite(DiscFamily family, const DriveSnapshot &snapshot)
{
    if (!snapshot.writeCaps || snapshot.writeCaps->isEmpty())
        return std::nullopt;
    QString prefix;
    switch (family) {
    case DiscFamily::cd: return canWriteCD(snapshot);
    case DiscFamily::dvd: prefix = QStringLiteral("DRDeviceCanWriteDVD"); break;
    case DiscFamily::bd: prefix = QStringLiteral("DRDeviceCanWriteBD"); break;
    case DiscFamily::hddvd: prefix = QStringLiteral("DRDeviceCanWriteHDDVD"); break;
    case DiscFamily::unknown: return std::nullopt;
    }
    for (auto it = snapshot.writeCaps->cbegin(); it != snapshot.writeCaps->cend(); ++it)
        if (it.key().startsWith(prefix) && it.value())
            return true;
    return false;
}

QString rawType(const std::optional<QString> &mediaType)
{
    if (!mediaType)
        return {};
    QString raw = *mediaType;
    return raw.remove(QStringLiteral("DRDeviceMediaType"));
}

DiscFamily family(const std::optional<QString> &mediaType)
{
    const QString raw = rawType(mediaType);
    if (raw.startsWith(QStringLiteral("CD")))
        return DiscFamily::cd;
    if (raw.startsWith(QStringLiteral("DVD")))
        return DiscFamily::dvd;
    if (raw.startsWith(QStringLiteral("BD")))
        return DiscFamily::bd;
    if (raw.startsWith(QStringLiteral("HDDVD")))
        return DiscFamily::hddvd;
    return DiscFamily::unknown;
}

QString mediaTypeName(const std::optional<QString> &mediaType)
{
    static const QMap<QString, QString> names = {
        {QStringLiteral("CDR"), QStringLiteral("CD-R")},
        {QStringLiteral("CDRW"), QStringLiteral("CD-RW")},
        {QStringLiteral("CDROM"), QStringLiteral("CD-ROM")},
        {QStringLiteral("DVDR"), QStringLiteral("DVD-R")},
        {QStringLiteral("DVDRW"), QStringLiteral("DVD-RW")},
        {QStringLiteral("DVDPlusR"), QStringLiteral("DVD+R")},
        {QStringLiteral("DVDPlusRW"), QStringLiteral("DVD+RW")},
        {QStringLiteral("DVDPlusRDoubleLayer"), QStringLiteral("DVD+R DL")},
        {QStringLiteral("DVDRDualLayer"), QStringLiteral("DVD-R DL")},
        {QStringLiteral("DVDPlusRWDoubleLayer"), QStringLiteral("DVD+RW DL")},
        {QStringLiteral("DVDRAM"), QStringLiteral("DVD-RAM")},
        {QStringLiteral("DVDROM"), QStringLiteral("DVD-ROM")},
        {QStringLiteral("BDR"), QStringLiteral("BD-R")},
        {QStringLiteral("BDRE"), QStringLiteral("BD-RE")},
        {QStringLiteral("BDROM"), QStringLiteral("BD-ROM")},
        {QStringLiteral("HDDVDR"), QStringLiteral("HD DVD-R")},
        {QStringLiteral("HDDVDRW"), QStringLiteral("HD DVD-RW")},
        {QStringLiteral("HDDVDRAM"), QStringLiteral("HD DVD-RAM")},
        {QStringLiteral("HDDVDROM"), QStringLiteral("HD DVD-ROM")},
    };
    const QString raw = rawType(mediaType);
    if (const auto it = names.constFind(raw); it != names.cend())
        return *it;
    if (raw.isEmpty() || raw == QStringLiteral("Unknown"))
        return QStringLiteral("Unknown disc");
    return raw;
}

QString familyWord(DiscFamily family)
{
    switch (family) {
    case DiscFamily::cd: return QStringLiteral("CD");
    case DiscFamily::dvd: return QStringLiteral("DVD");
    case DiscFamily::bd: return QStringLiteral("Blu-ray");
    case DiscFamily::hddvd: return QStringLiteral("HD DVD");
    case DiscFamily::unknown: return QStringLiteral("disc");
    }
    return {};
}

namespace {
bool present(const DriveSnapshot &s) { return s.mediaState == MediaState::present; }
bool inTransition(const DriveSnapshot &s) { return s.mediaState == MediaState::inTransition; }

// The rules the audio and data reports share before they look at the disc.
std::optional<MediaReport> trayNotReady(const std::optional<DriveSnapshot> &snapshot, const QString &noDisc)
{
    if (!snapshot)
        return MediaReport{QStringLiteral("No burner connected"), false};
    if (!snapshot->problem.isEmpty())
        return MediaReport{snapshot->problem, false};
    if (!snapshot->statusAvailable)
        return MediaReport{QStringLiteral("Burner found — checking the tray…"), false};
    if (inTransition(*snapshot))
        return MediaReport{QStringLiteral("Reading disc…"), false};
    if (!present(*snapshot))
        return MediaReport{noDisc, false};
    return std::nullopt;
}
} // namespace

MediaReport media(const std::optional<DriveSnapshot> &snapshot)
{
    if (auto r = trayNotReady(snapshot, QStringLiteral("No disc — insert a blank CD-R")))
        return *r;
    const DriveSnapshot &s = *snapshot;
    const QString name = mediaTypeName(s.mediaType);
    if (family(s.mediaType) != DiscFamily::cd)
        return {name + QStringLiteral(" — not usable for audio CD"), false};
    if (s.blank) {
        if (canWriteCD(s).value_or(true)) {
            QString text = QStringLiteral("Blank ") + name + QStringLiteral(" ready");
            if (s.freeMinutes)
                text += QStringLiteral(" · ") + QString::number(*s.freeMinutes) + QStringLiteral(" min");
            return {text, true};
        }
        return {QStringLiteral("Blank ") + name + QStringLiteral(" — this drive can't write CDs"), false};
    }
    return {name + QStringLiteral(" — already written, not blank"), false};
}

MediaReport dataMedia(const std::optional<DriveSnapshot> &snapshot, std::optional<qint64> imageBytes)
{
    if (auto r = trayNotReady(snapshot, QStringLiteral("No disc — insert a blank CD-R, DVD-R or DVD+R")))
        return *r;
    const DriveSnapshot &s = *snapshot;
    const QString name = mediaTypeName(s.mediaType);
    if (s.blank) {
        const DiscFamily fam = family(s.mediaType);
        if (fam != DiscFamily::unknown && canWrite(fam, s) == false)
            return {QStringLiteral("Blank ") + name + QStringLiteral(" — this drive can't write ") + familyWord(fam)
                        + QStringLiteral("s"),
                    false};
        if (s.freeBlocks && imageBytes && *s.freeBlocks * 2048 < *imageBytes)
            return {QStringLiteral("Blank ") + name + QStringLiteral(" — too small for this image (needs ")
                        + fmtBytes(*imageBytes) + QStringLiteral(", holds ") + fmtBytes(*s.freeBlocks * 2048)
                        + QStringLiteral(")"),
                    false};
        QString text = QStringLiteral("Blank ") + name + QStringLiteral(" ready");
        if (s.freeBlocks)
            text += QStringLiteral(" · ") + fmtBytes(*s.freeBlocks * 2048);
        return {text, true};
    }
    if (s.erasable)
        return {name + QStringLiteral(" — has data on it. Erase it first (it's rewritable)"), false};
    return {name + QStringLiteral(" — already written, not blank"), false};
}

MediaReport eraseMedia(const std::optional<DriveSnapshot> &snapshot)
{
    if (!snapshot)
        return {QStringLiteral("No burner connected"), false};
    if (!snapshot->problem.isEmpty())
        return {snapshot->problem, false};
    if (snapshot->statusAvailable && present(*snapshot)) {
        const QString name = mediaTypeName(snapshot->mediaType);
        if (!snapshot->erasable)
            return {name + QStringLiteral(" — can't be erased (only CD-RW, DVD-RW, DVD+RW and BD-RE can)"), false};
        return {name + QStringLiteral(" ready to erase"), true};
    }
    return {QStringLiteral("No disc — insert a rewritable disc (CD-RW, DVD-RW, DVD+RW)"), false};
}

MediaReport readMedia(const std::optional<DriveSnapshot> &snapshot)
{
    if (!snapshot)
        return {QStringLiteral("No drive connected"), false};
    const DriveSnapshot &s = *snapshot;
    if (s.statusAvailable && !present(s))
        return {QStringLiteral("No disc — insert the CD or DVD to copy"), false};
    if (present(s)) {
        const QString name = mediaTypeName(s.mediaType);
        if (s.blank)
            return {name + QStringLiteral(" is blank — nothing to copy"), false};
        if (s.bsdName && !s.bsdName->isEmpty())
            return {name + QStringLiteral(" ready to copy"), true};
        return {name + QStringLiteral(" — waiting for the system to read it"), false};
    }
    return {QStringLiteral("No disc — insert the CD or DVD to copy"), false};
}

QStringList assign(const QStringList &current, const QStringList &drives)
{
    const QSet<QString> present(drives.cbegin(), drives.cend());
    QStringList decks = current;
    for (QString &slot : decks)
        if (!slot.isEmpty() && !present.contains(slot))
            slot.clear();
    for (const QString &drive : drives) {
        if (decks.contains(drive))
            continue;
        const qsizetype free = decks.indexOf(QString());
        if (free < 0)
            break;
        decks[free] = drive;
    }
    return decks;
}

QStringList cdTextUnwritable(const QString &text)
{
    QStringList lost;
    // Code points, so a character outside the BMP is named once, not as halves.
    for (const char32_t c : text.toUcs4()) {
        if (c <= 0xff)
            continue;
        const QString one = QString::fromUcs4(&c, 1);
        if (!lost.contains(one))
            lost.append(one);
    }
    return lost;
}

QString cdTextWarning(const QString &text)
{
    const QStringList lost = cdTextUnwritable(text);
    if (lost.isEmpty())
        return {};
    return QStringLiteral("CD-Text can't hold “") + lost.join(QStringLiteral("”, “"))
           + (lost.size() == 1 ? QStringLiteral("”; it becomes “?” on the disc.")
                               : QStringLiteral("”; they become “?” on the disc."));
}

} // namespace TDDetect
