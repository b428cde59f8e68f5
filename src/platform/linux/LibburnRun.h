#pragma once
// The state one LibburnJob shares with its thread, and the steps every burn
// and erase use: grabbing and releasing the drive, posting statuses, waiting.
// Private to the libburn job sources.
//
// Threading: each member group below says which thread may touch it.
//
// Ownership: shared between the job object and its thread; whichever lets
// go last frees it (see LibburnJob).
//
// Cancelling: abortRequested, set by the main thread; pause() wakes early
// when it is set.

#include "platform/linux/LibburnJob.h"

#include <QByteArray>
#include <QPointer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace burn {
struct burn_drive_info;
struct burn_drive;
}

struct LibburnJob::Run : std::enable_shared_from_this<LibburnJob::Run>
{
    // Fixed before the thread starts.
    LibburnWorker *worker = nullptr;
    QByteArray address;
    bool isErase = false;
    EraseType eraseType = EraseType::quick;
    BurnProperties properties;
    BurnLayout layout;

    // Main thread only.
    QPointer<LibburnJob> job;
    std::function<void()> ended;

    // Between threads.
    std::atomic<bool> abortRequested{false};
    std::mutex wakeLock;
    std::condition_variable wake;

    // Job thread only.
    burn::burn_drive_info *infos = nullptr;
    burn::burn_drive *drive = nullptr;
    quint64 mark = 0;
    // When the write stopped: complaints after it are another drive's or the
    // aftermath's, so a failure is explained from those before.
    quint64 stopped = ~quint64(0);
    QString problem; // why the last grab() found the drive unusable (DriveAccess, never ready)
    QString problemWords; // the drive's own words behind `problem`, if any
    QString said;    // libburn's own words behind the error complaint() made, for the log
    JobStatus last;
    bool posted = false;
    std::optional<ReadBack> readBack; // goes out with `done`

    void execute();
    // Defined with LibburnBurn, which does the work.
    QString burn();
    QString erase();

    void post(const JobStatus &status);
    void finish(const QString &error);
    // Checks a drive addressed by a path first (waiting a while for one that
    // is becoming ready), and leaves it alone when `problem` says it can't
    // be used.
    bool grab();
    void release(bool eject);
    // Waits `interval`, or less when an abort comes.
    static constexpr std::chrono::milliseconds pollInterval{200};
    void pause(std::chrono::milliseconds interval = pollInterval);
    // Waits until libburn's thread for the write begun after `mark` has let
    // go of the drive, 10 s at most (a warning then).
    void waitForThread(quint64 mark);
    // `problem`, else the plain sentence for libburn's complaints between
    // `mark` and `stopped` (DriveTrouble::explain, with `fallback`; the
    // complaint behind it kept in `said`).
    QString complaint(const QString &fallback);
};
