#pragma once
// Translations from what libudev and libburn report about a drive into the
// values the burner service hands out. Pure functions with no system headers,
// so the tables can be checked without a drive. Any thread.

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

namespace DriveFacts {

// libburn's profile number for its stdio: pseudo-drives (not an MMC profile).
inline constexpr int stdioProfile = 0xffff;

// The raw media type of a pseudo-drive's file. No detection table knows it,
// so it is shown as it is and never taken for a CD.
inline const QString imageFileType = QStringLiteral("Image file");

// udev's ID_BUS as the interconnect a user knows: "usb" → "USB", "ata" →
// "ATAPI" (or "SATA" when udev marks the link as SATA), "scsi" → "SCSI",
// "ieee1394" → "FireWire"; any other bus upper-cased; empty stays empty.
QString busName(const QString &idBus, bool sataLink);

// udev's ID_VENDOR and ID_MODEL, which use underscores for spaces, as one
// name: "HL-DT-ST" + "DVDRAM_GH24NSD1" → "HL-DT-ST DVDRAM GH24NSD1".
QString driveName(const QString &vendor, const QString &model);

// MMC profile of the loaded medium → raw media type ("CDR", "DVDPlusRW", …).
// 0 (no medium) gives an empty type, a profile with no raw type "Unknown",
// and the pseudo-drive profile `imageFileType`.
QString rawMediaType(int profile);
// CD profiles (CD-ROM, CD-R, CD-RW), whose free space is also counted in frames.
bool isCdProfile(int profile);

// What libburn says a drive can do when it is grabbed.
struct WriteFacts
{
    bool writeCdr = false;      // burn_drive_info flags
    bool writeCdrw = false;
    bool writeDvdr = false;
    bool writeDvdram = false;
    bool simulate = false;
    bool saoBlocks = false;     // disc-at-once block types offered
    bool taoBlocks = false;     // track-at-once block types offered
    bool underrunProof = false; // the drive accepts buffer underrun protection
    QList<int> profiles;        // the drive's profile list (the media it can write)
};

// The DRCaps flags for a drive, every key present. Test writes exist for CDs
// and the DVD-R family only (MMC has no test write for DVD+ or BD media);
// CD-Text goes with disc-at-once, as libburn writes it in the SAO cue sheet.
QMap<QString, bool> writeCaps(const WriteFacts &facts);

// What udev says of a drive's medium, kept between events.
struct UdevMedium
{
    QString fingerprint;        // the ID_CDROM_MEDIA* and ID_FS_* properties
    bool systemHasDisc = false; // ID_CDROM_MEDIA=1: the system has read the disc
    bool operator==(const UdevMedium &) const = default;
};
UdevMedium udevMedium(const QMap<QString, QString> &properties);

// What to do about one udev event on a block device.
struct UdevPlan
{
    bool add = false;               // a drive not listed yet
    bool remove = false;            // a listed drive went away
    bool reread = false;            // its medium changed: ask libburn again
    bool systemReadChanged = false; // the disc's block device came or went
    bool operator==(const UdevPlan &) const = default;
};
// `known`: whether the drive is listed, and `before` its medium as udev last
// described it. Our own grab and release make udev send "change" events too;
// those describe the same medium and must not start another reading, or the
// two would chase each other.
UdevPlan planUdevEvent(const QString &action, const QMap<QString, QString> &properties, bool known,
                       const UdevMedium &before);

} // namespace DriveFacts

namespace DriveFacts {

// The files a cue sheet burns, as named on its FILE lines, when libburn's cue
// reader can burn it: FILE types BINARY, MOTOROLA or WAVE, TRACK types AUDIO
// or MODE1/2048 and not both, every TRACK after a FILE, at least one track.
// Nothing when it can't.
std::optional<QStringList> cueSheetFiles(const QString &text);

// `text` with the name on each FILE line made absolute (quoted), relative
// names being taken from `folder`; other lines as they were.
QString cueSheetWithFilesIn(const QString &text, const QString &folder);

// CD-Text language code (EBU Tech 3264) of an ISO 639-1 code such as "en";
// English for codes it doesn't know.
int cdTextLanguage(const QString &code);

// Overall write progress, 0…1, from libburn's position: `sector` blocks done
// in track `track` (from 0) of tracks `trackBlocks` long. Below 0 when there
// is nothing to write.
double writePercent(const QList<qint64> &trackBlocks, int track, qint64 sector);

} // namespace DriveFacts
