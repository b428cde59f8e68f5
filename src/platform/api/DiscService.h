#pragma once
// The burner service: the one interface between the program's logic and the
// burners. Two implementations stand behind it, the hardware one (libudev for
// devices and hot-plug, libburn for media, burns and erases) and virtual
// burners that write their discs to files. Decks, detection and the burn logic
// know only this header.
//
// Threading: a service and its devices live on the main thread. Every call
// below returns without waiting on a drive: readings are refreshed by the
// service in the background, and every notification (the service's signals
// and a job's statusChanged) is emitted on the main thread.
//
// Ownership: the service owns its devices; callers hold them through
// shared_ptr so a device unplugged mid-burn stays valid until they let go.

#include "platform/api/CdReader.h"
#include "platform/api/TrackProducer.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace DRUnits {
// Write speeds are in kB/s; 1x of each family.
inline constexpr double cd1x = 176.4;
inline constexpr double dvd1x = 1385.0;
inline constexpr double bd1x = 4496.0;
} // namespace DRUnits

// Names of the write-capability flags in DeviceInfo::writeCaps.
namespace DRCaps {
inline const QString canWriteCD = QStringLiteral("DRDeviceCanWriteCDKey");
inline const QString canWriteCDR = QStringLiteral("DRDeviceCanWriteCDRKey");
inline const QString canWriteCDRW = QStringLiteral("DRDeviceCanWriteCDRWKey");
inline const QString canWriteCDText = QStringLiteral("DRDeviceCanWriteCDTextKey");
inline const QString canWriteCDSAO = QStringLiteral("DRDeviceCanWriteCDSAOKey");
inline const QString canWriteCDTAO = QStringLiteral("DRDeviceCanWriteCDTAOKey");
inline const QString canTestWriteCD = QStringLiteral("DRDeviceCanTestWriteCDKey");
inline const QString canTestWriteDVD = QStringLiteral("DRDeviceCanTestWriteDVDKey");
inline const QString canUnderrunProtectCD = QStringLiteral("DRDeviceCanUnderrunProtectCDKey");
inline const QString canUnderrunProtectDVD = QStringLiteral("DRDeviceCanUnderrunProtectDVDKey");
inline const QString canWriteDVDR = QStringLiteral("DRDeviceCanWriteDVDRKey");
inline const QString canWriteDVDRW = QStringLiteral("DRDeviceCanWriteDVDRWKey");
inline const QString canWriteDVDRAM = QStringLiteral("DRDeviceCanWriteDVDRAMKey");
inline const QString canWriteDVDPlusR = QStringLiteral("DRDeviceCanWriteDVDPlusRKey");
inline const QString canWriteDVDPlusRW = QStringLiteral("DRDeviceCanWriteDVDPlusRWKey");
inline const QString canWriteDVDPlusRDoubleLayer = QStringLiteral("DRDeviceCanWriteDVDPlusRDoubleLayerKey");
inline const QString canWriteDVDRDualLayer = QStringLiteral("DRDeviceCanWriteDVDRDualLayerKey");
inline const QString canWriteBDR = QStringLiteral("DRDeviceCanWriteBDRKey");
inline const QString canWriteBDRE = QStringLiteral("DRDeviceCanWriteBDREKey");
} // namespace DRCaps

// What a burner is. Fixed while it stays plugged in.
struct DeviceInfo
{
    QString ioPath;  // stable identity (the udev ID_PATH); empty when unknown
    QString bus;     // "USB", "SATA", "ATAPI", "SCSI", "File", "Virtual"; empty when unknown
    std::optional<QMap<QString, bool>> writeCaps; // absent when the drive couldn't be asked
    bool operator==(const DeviceInfo &) const = default;
};

enum class MediaState { none, inTransition, present };

// What is in the tray, as last read.
struct DeviceStatus
{
    std::optional<MediaState> mediaState;
    QString mediaType;                  // raw type: "CDR", "DVDPlusRW", "BDR", …; empty when none
    bool blank = false;
    std::optional<qint64> freeFrames;   // free space in CD frames (75 a second), when known
    std::optional<qint64> blocksFree;   // free 2048-byte blocks, when known
    QList<double> burnSpeeds;           // kB/s the drive offers for this medium
    bool erasable = false;
    QString bsdName;                    // block device ("sr0") once the system has read the disc
    int audioTracks = 0;                // audio tracks of a written CD in the tray, once read
    bool operator==(const DeviceStatus &) const = default;
};

class DiscDevice
{
public:
    virtual ~DiscDevice() = default;
    // Main thread; never block.
    virtual DeviceInfo info() const = 0;
    // The drive's name ("ASUS DRW-24D5MT"); empty when it has none.
    virtual QString displayName() const = 0;
    // Absent while the drive has not been read yet (or can't be).
    virtual std::optional<DeviceStatus> status() const = 0;
    // Opens the tray; returns at once, the status notification follows.
    virtual void ejectMedia() = 0;
    // What keeps the program from using the burner (no permission, another
    // program holds it), as one sentence that says how to fix it; empty when
    // nothing is known to be wrong. Set by a reading, like status().
    virtual QString accessProblem() const { return {}; }
};
using DiscDeviceRef = std::shared_ptr<DiscDevice>;

struct CDText
{
    QString language = QStringLiteral("en"); // written in ISO Latin-1
    QString discTitle;                       // empty: not written
    QString discPerformer;                   // empty: not written
    QStringList trackTitles;                 // one per track
    QStringList trackPerformers;             // one per track; empty entries are not written
    bool operator==(const CDText &) const = default;
};

struct BurnTrack
{
    enum class Kind { audio, data };
    Kind kind = Kind::data;
    std::shared_ptr<TrackProducer> producer;
    quint64 lengthBlocks = 0;
    quint32 blockSize = 2048;  // 2352 for audio, 2048 for a Mode 1 data track
    quint32 preGapFrames = 0;  // silence before the track, in blocks
    QString isrc;              // audio: 12 characters, no hyphens; empty when none
};

// What a burn writes: tracks fed by producers, or a cue sheet the service
// reads by itself.
struct BurnLayout
{
    QList<BurnTrack> tracks;
    QString cueSheet;          // path of a .cue/.toc file; when set, `tracks` is empty
    quint64 sheetSectors = 0;  // with `cueSheet`: the sectors its disc takes, when the service could tell

    // Blocks of the blank the burn takes: every sector counts one, whatever
    // its size. 0 when a sheet's size is unknown.
    quint64 sectors() const
    {
        quint64 n = sheetSectors;
        for (const BurnTrack &t : tracks)
            n += t.preGapFrames + t.lengthBlocks;
        return n;
    }
};

enum class CompletionAction { eject, mount };

struct BurnProperties
{
    bool test = false;                 // go through the motions, write nothing
    bool verify = false;               // read the disc back through the producers
    bool underrunProtection = true;
    CompletionAction completion = CompletionAction::eject;
    bool appendable = false;
    bool sao = false;                  // ask for disc-at-once
    bool strategyRequired = false;     // false: fall back to track-at-once
    double requestedSpeed = 0;         // kB/s; 0 asks for the drive's top speed
    std::optional<CDText> cdText;
    QString catalog;                   // audio: the disc's catalogue number (MCN), 13 digits; empty when none
};

enum class EraseType { quick, complete };

enum class DiscJobState {
    none, preparing, sessionOpen, trackOpen, trackWrite, trackClose, sessionClose,
    finishing, verifying, erasing, done, failed
};

// What the read-back after a verified burn did. Every byte it compared
// matched: a difference fails the burn instead.
struct ReadBack
{
    quint64 comparedBytes = 0; // data (not gaps) read back and compared
    quint64 totalBytes = 0;    // data the burn wrote
    QString skipped;           // why it didn't run at all; empty when it ran
};

struct JobStatus
{
    DiscJobState state = DiscJobState::none;
    double percent = -1;  // 0…1; below 0 while the service can't tell
    double speed = 0;     // kB/s
    int currentTrack = 0; // from 1; 0 when none
    QString errorText;    // with `failed`; empty when the service gave none
    std::optional<ReadBack> readBack; // with `done` of a burn asked to verify
    QString errorDetail;  // with `errorText`: the burner's own words behind it, for the log; often empty
};

// A running burn or erase. It emits statusChanged on the main thread and
// ends with exactly one status whose state is `done` or `failed`, after
// which it emits nothing more. Destroying a job that has not ended aborts it.
class DiscJob : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    // Stops a burn as soon as the drive allows; the final status follows.
    // Erases can't be stopped part-way: abort does nothing for them.
    virtual void abort() = 0;
Q_SIGNALS:
    void statusChanged(const JobStatus &status);
};

class DiscService : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    // The burners now connected, in a stable order.
    virtual QList<DiscDeviceRef> devices() const = 0;
    // Starts writing `layout`; nullptr when the job can't be started. The job
    // emits nothing before this returns. Producers are called on the
    // service's thread and kept alive by the service until its thread is done
    // with them.
    virtual std::unique_ptr<DiscJob> burn(const DiscDeviceRef &device, const BurnProperties &properties,
                                          const BurnLayout &layout) = 0;
    // Starts erasing; nullptr when it can't be started.
    virtual std::unique_ptr<DiscJob> erase(const DiscDeviceRef &device, EraseType type) = 0;
    // A layout the service makes from an image file by itself (cue sheets),
    // or nothing when it can't read that file. Any thread, unlike the rest:
    // it reads the file and must touch no state of the service.
    virtual std::optional<BurnLayout> layoutForImageFile(const QString &path) = 0;
    // A reader of the written CD in the burner's tray (audio, data or both),
    // to be used on a worker thread; nullptr when the burner holds none, or
    // is busy. Main thread; returns at once: the reader asks the drive only
    // when called.
    virtual std::unique_ptr<CdReader> openCd(const DiscDeviceRef &device) { Q_UNUSED(device); return nullptr; }
    // Reads every burner again, for when the user has fixed what kept one
    // from being used. Returns at once; the usual notifications follow.
    virtual void refresh() {}

    // A tray the program loads itself (a virtual burner's). Main thread;
    // each returns at once, the status notification following a change.
    // The media insertMedium() takes ("CD-R", "DVD+RW", …), in menu order;
    // empty for a burner whose tray only a hand can load.
    virtual QStringList trayMedia(const DiscDeviceRef &device) const { Q_UNUSED(device); return {}; }
    // Puts a blank of `medium` in the tray. Why it can't, as one sentence;
    // empty when it did.
    virtual QString insertMedium(const DiscDeviceRef &device, const QString &medium)
    {
        Q_UNUSED(device); Q_UNUSED(medium);
        return QStringLiteral("Only a virtual burner's tray can be loaded from here.");
    }
    // Puts the written disc an image describes in the tray (.cue, .toc,
    // .iso). Why it can't, as one sentence; empty when it did.
    virtual QString insertImage(const DiscDeviceRef &device, const QString &path)
    {
        Q_UNUSED(device); Q_UNUSED(path);
        return QStringLiteral("Only a virtual burner's tray can be loaded from here.");
    }

Q_SIGNALS:
    // A burner appeared or disappeared.
    void devicesChanged();
    // A burner's status changed: a disc was inserted, ejected or read.
    void deviceStatusChanged();
};
