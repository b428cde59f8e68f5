#pragma once
// The burner service for real drives: libudev lists the optical drives and
// watches them come and go, libburn reads what each can write and what is in
// its tray. Extra libburn addresses (such as "stdio:/path/disc.iso", a
// pseudo-drive that writes into a file) are listed after the udev drives.
//
// Threading: construct, use and destroy on the main thread. The udev monitor
// is watched by a socket notifier on the main thread; every libburn call runs
// on the shared libburn thread (LibburnWorker) and its result comes back to
// the main thread by a queued call. Nothing here waits on a drive.
//
// Readings: each drive is read (grab, read, release) when it appears, when
// udev reports a medium change (for an extra device path: when its tray,
// asked every two seconds, reports one), after an eject and on refresh(). Until its first reading
// is back, a device's status() is absent; while a read is under way the last
// reading stays visible. A drive that can't be grabbed (busy in another
// program, no permission) has an absent status. A drive addressed by a
// device path (every udev drive, and extra addresses that are paths) is
// checked before libburn touches it; when this user may not open it or
// another program holds it, its accessProblem() says so (DriveAccess) and
// libburn is left out. deviceStatusChanged is emitted when a reading
// changes a device's info, status or access problem.
//
// Ownership: the service owns its devices; a device that is unplugged, or
// outlives the service, stays valid for its holders but does nothing more.
//
// Burns and erases: each runs as a LibburnJob on a thread of its own, one
// job per drive at a time. While a job holds a drive, readings and ejects of
// that drive wait; the drive is read again once the job has released it.
//
// Cancelling: a reading or an eject, once asked for, runs to its end on the
// libburn thread; its result is dropped when the drive has gone or the
// service has been destroyed meanwhile. Jobs: see LibburnJob.

#include "platform/api/DiscService.h"

#include <QStringList>
#include <memory>

class LibburnWorker;
class QSocketNotifier;
struct DriveReading;
struct udev_device;

class HardwareDiscService final : public DiscService
{
    Q_OBJECT
public:
    // Lists the drives udev knows at once (no drive is touched here) and
    // starts reading them in the background. `extraAddresses` are libburn
    // drive addresses (the "klvo.td.extraDrives" setting); blank entries and
    // repeats are ignored.
    explicit HardwareDiscService(const QStringList &extraAddresses, QObject *parent = nullptr);
    // Drops readings still queued; may wait for a libburn call in progress
    // when this is the last user of the libburn thread.
    ~HardwareDiscService() override;

    // udev drives sorted by device node, then the extra addresses in the
    // order given.
    QList<DiscDeviceRef> devices() const override;
    // nullptr when `device` is not one of this service's plugged drives,
    // when a job already holds it, or (burn) when the layout has neither
    // tracks with producers nor a cue sheet. Otherwise the job runs as
    // described in LibburnJob.h; a problem found later (no disc, libburn
    // refusing the layout) ends it with a `failed` status.
    std::unique_ptr<DiscJob> burn(const DiscDeviceRef &device, const BurnProperties &properties,
                                  const BurnLayout &layout) override;
    std::unique_ptr<DiscJob> erase(const DiscDeviceRef &device, EraseType type) override;
    // A DMG: one data track decoded as it burns (UdifTrack). A .cue file, or
    // a .toc file read as the cue sheet it amounts to (DiscSheet::cueTextFor),
    // that libburn's cue reader can burn (see DriveFacts::cueSheetFiles) and
    // whose files exist: a layout holding its absolute path. Reads only the
    // files, never a drive; main thread.
    std::optional<BurnLayout> layoutForImageFile(const QString &path) override;
    // A reader of the CD in a plugged burner no job holds, by the burner's
    // device node (ScsiCdReader), when its last reading shows a written CD;
    // nullptr for a pseudo-drive, a blank or no disc. Asks nothing here.
    std::unique_ptr<CdReader> openCd(const DiscDeviceRef &device) override;
    // Reads every drive again (an eject or a job under way goes first).
    void refresh() override;

    // False when the udev monitor could not be opened (no hot-plug then:
    // the drive list stays as it was at start).
    bool watchesHotPlug() const;

private:
    class Drive;
    struct Udev;
    using DriveRef = std::shared_ptr<Drive>;

    void enumerateUdev();
    void readUdevEvents();
    DriveRef makeDrive(udev_device *device);
    DriveRef driveFor(udev_device *device) const;
    void addUdevDrive(const DriveRef &drive);
    void request(const DriveRef &drive, bool eject);
    void received(const DriveRef &drive, bool wasEject, const DriveReading &reading);
    // The drive `device` names, when a job may start on it.
    DriveRef jobDrive(const DiscDeviceRef &device) const;
    void jobEnded(const DriveRef &drive);
    // Extra drives that are device nodes have no udev to tell of a disc put
    // in or taken out: their trays are asked in the background instead.
    void pollTrays();

    std::shared_ptr<LibburnWorker> m_worker;
    std::unique_ptr<Udev> m_udev;
    QSocketNotifier *m_notifier = nullptr;
    QList<DriveRef> m_udevDrives;  // sorted by device node
    QList<DriveRef> m_extraDrives;
    bool m_polling = false;
};
