#pragma once
// Pure functions that turn what the burner service reports into the values and
// texts a deck shows. Apart from DriveSnapshot::read, nothing here touches a
// device; every function may be called from any thread.

#include "base/Decks.h"
#include "platform/api/DiscService.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// One reading of a burner.
struct DriveSnapshot
{
    std::optional<QString> ioPath;
    QString name;
    QString bus;
    std::optional<QMap<QString, bool>> writeCaps;
    QString problem; // why the burner can't be used; empty when nothing is known
    bool statusAvailable = false;
    // Fields below keep their empty values when statusAvailable is false.
    std::optional<MediaState> mediaState;
    std::optional<QString> mediaType;
    bool blank = false;
    std::optional<int> freeMinutes;
    int topSpeedX = 0;
    std::optional<qint64> freeBlocks;
    bool erasable = false;
    std::optional<QString> bsdName;
    int audioTracks = 0; // of a written CD in the tray

    bool operator==(const DriveSnapshot &) const = default;

    // Reads info, display name and status of a device once, in that order.
    // Main thread (the service's readings never block).
    static DriveSnapshot read(const DiscDevice &device);
};

// What a burner can write.
struct DriveCaps
{
    bool cdText = false;
    bool testBurn = false;
    bool sao = false;
    bool underrunProtection = false;
    bool writesCD = false;
    bool writesDVD = false;
    bool writesBD = false;

    bool operator==(const DriveCaps &) const = default;

    static DriveCaps from(const DriveSnapshot &snapshot);
    // "Writes CD/DVD · Disc-at-once · CD-Text · Test burn · Underrun protection"
    QString summary() const;
};

// The line shown for a tray, and whether the operation may start.
struct MediaReport
{
    QString text;
    bool ready = false;
    bool operator==(const MediaReport &) const = default;
};

enum class DiscFamily { cd, dvd, bd, hddvd, unknown };

namespace TDMessages {
extern const QString noBurner;
extern const QString noBurnerShort;
} // namespace TDMessages

namespace TDDetect {

// A burner's identity: its registry path, else "drive:" + name + "|" + bus.
QString key(const DriveSnapshot &snapshot);

// Unknown (nullopt) when the drive's capabilities are absent or empty.
std::optional<bool> canWriteCD(const DriveSnapshot &snapshot);
std::optional<bool> canWrite(DiscFamily family, const DriveSnapshot &snapshot);

QString rawType(const std::optional<QString> &mediaType);
DiscFamily family(const std::optional<QString> &mediaType);
// "DVD+R", "Blu-ray" etc.; an unlisted raw type as it is; "Unknown disc".
QString mediaTypeName(const std::optional<QString> &mediaType);
// "CD", "DVD", "Blu-ray", "HD DVD", "disc".
QString familyWord(DiscFamily family);

// The burn and erase reports give a burner's access problem, when it has
// one, as their text. Copying a disc does without the burner's exclusive
// access (it reads the system's block device, or the mounted files), so
// readMedia leaves it out.
MediaReport media(const std::optional<DriveSnapshot> &snapshot);
MediaReport dataMedia(const std::optional<DriveSnapshot> &snapshot, std::optional<qint64> imageBytes);
MediaReport eraseMedia(const std::optional<DriveSnapshot> &snapshot);
MediaReport readMedia(const std::optional<DriveSnapshot> &snapshot);

// New deck keys: burners still present keep their deck, vanished ones leave
// theirs empty, new ones take the lowest empty decks in service order, and
// burners beyond the free decks get none. Same length as `current`.
QStringList assign(const QStringList &current, const QStringList &drives);

// The characters of `text` that CD-Text (ISO Latin-1) can't carry and that
// therefore reach the disc as "?": each once, in the order they first appear.
QStringList cdTextUnwritable(const QString &text);
// One line naming those characters, or empty when `text` survives whole.
QString cdTextWarning(const QString &text);

} // namespace TDDetect
