#pragma once
// Virtual burners: software burners that behave like MMC burners at the
// burner service interface, so a user can try every burn without hardware
// and tests can drive the whole burn path. Each has every write capability,
// per-medium speeds and a tray whose medium can be chosen at run time:
// a blank CD-R 80 min (the default), CD-RW, DVD-R, DVD+RW, BD-R, BD-RE or no
// disc.
//
// What a burn leaves in the burner's output folder (outputFolder()), with NNN
// the lowest three-digit number no file of the folder uses yet (001 first):
// - audio tracks: "Disc NNN.bin" (every sector as the producers gave it,
//   pre-gaps included) and "Disc NNN.cue" (CD-Text as TITLE/PERFORMER, each
//   pre-gap as INDEX 00);
// - one data track: "Disc NNN.iso" (the track's blocks, without its pre-gap);
// - a cue or toc sheet: "Disc NNN.bin" (every sector 2352 bytes, gaps
//   included, MODE1/2048 sectors encoded into full Mode 1 sectors headed by
//   their disc address, track 1's PREGAP lying before LBA 0 in the lead-in;
//   big-endian audio swapped) and "Disc NNN.cue" (see
//   VirtualCueSheet::forSheet).
// A disc left in the tray is that image: its .cue or .iso stands where a
// real disc's block device would (DeviceStatus::bsdName), and a CD described
// by a sheet reads back through openCd(). insertImage() puts any such image
// in a tray.
// Files are written as "… .partial" and renamed only once the burn (and its
// verify pass) has succeeded; a failed, stopped or test burn leaves nothing,
// and no existing file is ever replaced.
//
// Threading: main thread only, like every service. The control calls change
// a burner at once (status() shows the change straight away) and post the
// matching notification, which is emitted later from the event loop, never
// inside the call, as a real service would. Each running burn or erase has a
// worker thread of its own that calls the producers and does the file I/O;
// it reports to the job through queued calls, so a job's statusChanged is
// emitted on the main thread.
//
// Ownership: the service owns its burners; an unplugged burner stays valid
// for its holders, keeps its last status and ignores ejectMedia(). The
// caller owns a job; the service keeps the job's layout (and so its
// producers) until the worker has finished with it.
//
// Cancelling: control calls have nothing to cancel. A burn stops at the next
// block after DiscJob::abort(), after the job is destroyed, or when its burner
// is unplugged; its partial files are removed and the job (if still alive)
// ends with `failed`. Erases can't be stopped, except by unplugging.
// Destroying the service stops and joins every worker; jobs still alive then
// end without a final status.
//
// Burners are numbered from 1 in the order they were plugged; numbers are
// never reused, so a burner plugged in later is a new identity
// ("virtual:" + number).

#include "platform/api/DiscService.h"

#include <QList>
#include <QString>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

class QSettings;

class VirtualDiscService final : public DiscService
{
    Q_OBJECT
public:
    enum Medium { NoDisc, CDR, CDRW, DVDR, DVDPlusRW, BDR, BDRE };
    Q_ENUM(Medium)

    // `count` burners (the --virtual-burners option or the
    // "klvo.td.virtualBurners" setting), numbered 1 to count, each with a
    // blank CD-R. A negative count gives none.
    explicit VirtualDiscService(int count, QObject *parent = nullptr);
    // Stops the running jobs and waits for their workers (at most one block
    // of I/O each).
    ~VirtualDiscService() override;

    // The plugged burners in the order they were plugged.
    QList<DiscDeviceRef> devices() const override;

    // Starts a burn on a worker thread. nullptr when it can't start: the
    // device is not one of this service's plugged burners, the burner is busy,
    // the layout is empty, mixes audio and data, holds more than one data
    // track, or has both tracks and a sheet. A sheet (BurnLayout::cueSheet,
    // .cue or .toc) is read again here; one that no longer reads, and
    // problems with the disc (none, not blank, too small, audio or a sheet on
    // a DVD) give a job that fails with a message. Statuses: preparing, sessionOpen, then
    // per track trackOpen, trackWrite, trackClose, then sessionClose,
    // finishing, verifying (with properties.verify, not for a test) and done;
    // each state change is sent, and progress at most every 100 ms. percent
    // is that of the writing, then of the verify pass; speed is in kB/s
    // (achieved, or the write speed while paced); currentTrack counts from 1.
    // A successful real burn leaves the disc it wrote in the tray (as
    // insertImage() of its .cue or .iso would, free space kept for an
    // appendable one), or none with CompletionAction::eject.
    std::unique_ptr<DiscJob> burn(const DiscDeviceRef &device, const BurnProperties &properties,
                                  const BurnLayout &layout) override;
    // Blanks an erasable disc (quick or complete): preparing, erasing with
    // percent, done; the tray then holds a blank of the same kind. nullptr
    // for a burner that isn't plugged or is busy; a job that fails for no
    // disc or a disc that can't be erased.
    std::unique_ptr<DiscJob> erase(const DiscDeviceRef &device, EraseType type) override;
    // A .cue or .toc sheet that reads cleanly and whose files are all there
    // (DiscSheet::read): a layout holding its absolute path. A DMG: one data
    // track decoded as it burns (UdifTrack). Nothing for anything else.
    // Reads the sheet and looks up its files, or the DMG's tables; main thread.
    std::optional<BurnLayout> layoutForImageFile(const QString &path) override;
    // A reader of the CD a sheet describes in the tray (inserted or burned);
    // nullptr for anything else (an ISO too: its file is read directly) or
    // while the burner is busy. Any change of the tray, a burn starting on it
    // or the burner's unplugging makes the reader's next call throw
    // TDError::readFailed.
    std::unique_ptr<CdReader> openCd(const DiscDeviceRef &device) override;
    // "CD-R", "CD-RW", "DVD-R", "DVD+RW", "BD-R", "BD-RE"; empty for a device
    // that isn't one of this service's plugged burners.
    QStringList trayMedia(const DiscDeviceRef &device) const override;
    // setMedium() for one of trayMedia() by name (any case).
    QString insertMedium(const DiscDeviceRef &device, const QString &medium) override;
    QString insertImage(const DiscDeviceRef &device, const QString &path) override;

    // Settings, for jobs started afterwards.

    // Unthrottled burns and erases go as fast as the producers and the disk
    // allow; otherwise they take the time a real burner at the requested
    // speed would (requestedSpeed, 0 or above the top: the medium's top
    // speed). Off by default.
    void setUnthrottled(bool unthrottled);
    bool unthrottled() const { return m_unthrottled; }
    // After an eject (by hand or at the end of a burn), a burner puts a new
    // blank of its chosen kind in its empty tray after `seconds`; 0 (the
    // default) never does. Held to 0 … 86400.
    void setAutoInsertSeconds(int seconds);
    int autoInsertSeconds() const { return m_autoInsertSeconds; }
    // Takes both from "klvo.td.virtualUnthrottled" (bool) and
    // "klvo.td.virtualAutoInsert" (seconds), and loads the trays
    // "klvo.td.virtualDiscs" names: "1=/home/me/master.cue, 2=blank:CD-R"
    // (a string, or its entries as a list), an image by its path ("~/" for
    // home) or a blank by its trayMedia() name. An entry that can't be
    // followed is skipped, and said in the list returned, one sentence each,
    // for the caller to log.
    QStringList readSettings(const QSettings &settings);

    // Control. Each returns at once; the notification follows from the event
    // loop. Calls naming a burner that isn't plugged do nothing and return
    // false; so do calls that would open the tray of a busy burner.

    // Plugs in a new burner with a blank CD-R; returns its number.
    // Posts devicesChanged.
    Q_INVOKABLE int plugBurner();
    // Posts devicesChanged. A job running on the burner fails with "The
    // burner was unplugged." once its worker has stopped.
    Q_INVOKABLE bool unplugBurner(int number);
    // Numbers of the plugged burners, in device order.
    Q_INVOKABLE QList<int> burnerNumbers() const;
    // Chooses the kind of medium the burner takes and puts a blank one in the
    // tray (NoDisc empties it). Posts deviceStatusChanged.
    Q_INVOKABLE bool setMedium(int number, VirtualDiscService::Medium medium);
    // Puts a fresh blank of the chosen kind in the tray (after an eject, or
    // to replace a written disc). Posts deviceStatusChanged.
    Q_INVOKABLE bool insertBlank(int number);
    // Empties the tray, as ejectMedia() does. Posts deviceStatusChanged.
    Q_INVOKABLE bool eject(int number);
    // Puts a written disc described by an image in the tray: a .cue or .toc
    // sheet (read as DiscSheet::read does) is a CD-R holding its tracks, an
    // .iso (whole 2048-byte blocks) the smallest of CD-R, DVD-R and BD-R it
    // fits on. The status shows no free space, the image's absolute path as
    // bsdName and the sheet's audio tracks. Returns why it can't, as one
    // sentence (a sheet's own error for one that doesn't read), the tray
    // left as it was; empty when it did, and deviceStatusChanged is posted.
    Q_INVOKABLE QString insertImage(int number, const QString &path);
    // The next burn on the burner (test burns too) fails with a write error
    // once `percent` (0…1) of it is written. False for an unknown burner.
    Q_INVOKABLE bool failNextBurnAt(int number, double percent);
    // The kind chosen for the burner (what insertBlank puts in); NoDisc for
    // an unknown burner.
    Q_INVOKABLE VirtualDiscService::Medium medium(int number) const;
    // Whether the tray holds a disc.
    Q_INVOKABLE bool hasDisc(int number) const;
    // Whether a burn or erase is running on the burner.
    Q_INVOKABLE bool isBusy(int number) const;
    // Where burner `number` puts the discs it writes:
    // "$XDG_DATA_HOME/KLVO Tandor/Virtual Burners/Burner N" (by default under
    // ~/.local/share), created on first use. Empty when it can't be created.
    Q_INVOKABLE QString outputFolder(int number) const;

    // What a burner reports for a blank `medium` in its tray (NoDisc: an
    // empty tray). Pure; any thread.
    static DeviceStatus blankStatus(Medium medium);

private:
    class Burner;
    class Job;
    struct Run;
    friend class Job;

    static std::optional<BurnLayout> sheetLayout(const QString &path);
    std::shared_ptr<Burner> find(int number) const;
    std::shared_ptr<Burner> ours(const DiscDeviceRef &device) const;
    void post(void (DiscService::*signal)());
    std::unique_ptr<DiscJob> start(const std::shared_ptr<Run> &run, const QString &refusal);
    void deliver(const std::shared_ptr<Run> &run, const JobStatus &status);
    void finish(const std::shared_ptr<Run> &run, const JobStatus &status);
    // Joins the ended workers' threads that have exited.
    void reap();
    // Every change of a tray goes through here, so its readers see it.
    void setTray(Burner &burner, Medium kind, const DeviceStatus &status, std::optional<DiscSheet> sheet = {});
    QString insertMedium(int number, const QString &medium);
    // Changes an idle burner's tray: a blank of `chosen` (or of its kind), or empty.
    bool loadTray(int number, std::optional<Medium> chosen, bool eject);
    void scheduleAutoInsert(const std::shared_ptr<Burner> &burner);

    QList<std::shared_ptr<Burner>> m_burners;
    QList<std::shared_ptr<Run>> m_runs;
    // Threads of runs that have ended, joined once they have exited.
    struct Ending
    {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> exited;
    };
    std::vector<Ending> m_ending;
    int m_lastNumber = 0;
    bool m_unthrottled = false;
    int m_autoInsertSeconds = 0;
};
