#pragma once
// The one thread that makes the program's libburn calls. libburn calls can
// take seconds (a drive spinning up, a tray moving) and libburn keeps global
// drive tables, so every call goes through this thread, one at a time, in
// the order the requests were made.
//
// A drive is never kept grabbed: each request grabs it, does its work and
// releases it before the next request starts, so other programs can use the
// drive in between.
//
// Threading: create, submit and destroy on the main thread (any thread with
// an event loop, as long as it is always the same one). Replies run on that
// thread, from its event loop, never inside submit().
//
// Ownership: one worker per process, shared by every hardware service through
// shared(). It starts libburn when it starts and shuts libburn down when the
// last holder lets go.
//
// Cancelling: a request can't be withdrawn once made; a reply whose receiver
// has been destroyed is dropped. Destroying the worker drops the requests that
// have not started and waits for the one in progress (one libburn call
// sequence, at most a few seconds) so that libburn is shut down cleanly.
//
// Burns and erases run on job threads the worker starts (startJob): a job
// thread waits on the drive as long as it likes, but grabs and releases
// through call(), since those touch libburn's drive tables. Destroying the
// worker waits for every job thread to end; the jobs' owners have asked them
// to stop by then (see LibburnJob), except erases, which run to their end.

#include "platform/api/DiscService.h"

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

// One reading of a drive through libburn.
struct DriveReading
{
    bool grabbed = false;          // false: libburn couldn't take the drive; `error` says why
    QString error;                 // libburn's last complaint, when it had one
    QString problem;               // not grabbed because of this (DriveAccess); empty when unknown
    QMap<QString, bool> writeCaps; // DRCaps flags; empty when not grabbed or not asked
    DeviceStatus status;           // bsdName is left empty: only udev knows it
    bool settled = true;           // false: the drive was still spinning up or assessing the disc
};

class LibburnWorker
{
public:
    // The process's worker, started on first use. Main thread.
    static std::shared_ptr<LibburnWorker> shared();
    ~LibburnWorker();

    LibburnWorker(const LibburnWorker &) = delete;
    LibburnWorker &operator=(const LibburnWorker &) = delete;

    enum class Action {
        read,          // grab, read capabilities and medium, release
        ejectThenRead, // grab, release with eject, then read as above
    };
    using Reply = std::function<void(const DriveReading &)>;

    // Queues `action` on the drive at libburn `address` ("/dev/sr0",
    // "stdio:/path/disc.iso"). `reply` runs later on this thread unless
    // `receiver` is gone by then. Returns at once. A drive addressed by a
    // path is checked first (DriveAccess::check), and libburn is not asked
    // about a drive this user can't open or another program holds.
    void submit(const QString &address, Action action, QObject *receiver, Reply reply);

    // Runs `work` on the libburn thread after the requests queued before it
    // and returns once it has run. Job threads only: calling it on the
    // creating thread or the libburn thread would dead-lock or stall the UI.
    // Returns false, without running `work`, when libburn could not start.
    bool call(const std::function<void()> &work);

    // Starts `body` on a thread of its own and returns at once. Main thread.
    // The thread may use call() and post to home() until it returns.
    void startJob(std::function<void()> body);

    // An object on the creating thread, alive as long as the worker: job
    // threads post their results to it.
    QObject *home() const { return m_home.get(); }

    // libburn's messages, taken from its queue in order; complaints are
    // those of severity SORRY and worse. Any thread. messageMark() numbers
    // the point reached; lastMessageSince() gives the last complaint after
    // that point, empty when none. The queue
    // is shared by every drive, so a complaint about another drive that
    // comes at the same moment can be taken for this one.
    static quint64 messageMark();
    static QString lastMessageSince(quint64 mark);
    // Every complaint after `mark`, oldest first.
    // Those up to `until` (a later mark) only, when given.
    static QStringList complaintsSince(quint64 mark, quint64 until = ~quint64(0));

    // libburn's write thread outlives the drive's idle status when the drive
    // is lost or the write fails, and its farewell names the drive by an
    // index libburn doesn't give out. So write threads are counted:
    // writeRefusedSince() tells, right after burn_disc_write() returned,
    // whether it refused (else one more thread is counted as started);
    // claimFarewell() takes one farewell after `mark` that no other job has
    // taken, for the caller's own thread; awaitWriteThreads() waits until
    // every started thread has said farewell, `patience` at most.
    // Any thread; the waits block.
    static bool writeRefusedSince(quint64 mark);
    static bool claimFarewell(quint64 mark);
    static void awaitWriteThreads(std::chrono::milliseconds patience);

private:
    class Thread;
    LibburnWorker();

    std::unique_ptr<Thread> m_thread;
    QObject *m_onThread = nullptr;      // lives on the worker thread; requests are posted to it
    std::unique_ptr<QObject> m_home;    // lives on the creating thread; replies are posted to it
    std::atomic<bool> m_stopping{false};
    struct JobThread;
    std::vector<std::unique_ptr<JobThread>> m_jobs; // creating thread only
};
