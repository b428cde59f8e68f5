#pragma once
// One burn or erase on one libburn drive, as the hardware service hands it
// out.
//
// What it does: grabs the drive, writes the layout (tracks fed by their
// producers through a libburn fifo, or a cue sheet read by libburn itself)
// or erases the disc, reads the disc back through the producers when asked
// to verify, and releases the drive (ejecting it when the burn asks so). The
// drive is held only while the job runs. A failure caused by the drive says
// so in a plain sentence (DriveTrouble), with libburn's own words beside it
// as the status's errorDetail.
//
// Threading: create, abort and destroy on the main thread. The job runs on a
// thread of its own (LibburnWorker::startJob); libburn writes on its threads
// and calls the producers' produce callbacks from its fifo thread; every
// other producer call comes from the job thread, one after another. The job
// thread polls libburn every 200 ms and posts each change of state to the
// main thread, where statusChanged is emitted, never before the start call
// has returned. Exactly one final `done` or `failed` is emitted, then
// nothing more.
//
// Ownership: the job thread keeps the layout, and with it the producers,
// until it has ended, even when the job object is destroyed before that.
//
// Cancelling: abort() asks libburn to cancel the write (burn_drive_cancel)
// or stops the read-back; the final `failed` follows once the drive has
// stopped. Destroying a job that has not ended aborts it the same way, and
// its thread finishes in the background. Erases can't be cancelled: abort()
// does nothing for them and they run to their end.

#include "platform/api/DiscService.h"

#include <functional>
#include <memory>

class LibburnWorker;

class LibburnJob final : public DiscJob
{
    Q_OBJECT
public:
    // Starts the job at once. `address` is the libburn drive address.
    // `ended` runs on the main thread after the final status, once the job
    // thread has let the drive go; it runs even when the job object has been
    // destroyed by then.
    static std::unique_ptr<LibburnJob> startBurn(const std::shared_ptr<LibburnWorker> &worker,
                                                 const QString &address, const BurnProperties &properties,
                                                 const BurnLayout &layout, std::function<void()> ended);
    static std::unique_ptr<LibburnJob> startErase(const std::shared_ptr<LibburnWorker> &worker,
                                                  const QString &address, EraseType type,
                                                  std::function<void()> ended);
    ~LibburnJob() override;

    void abort() override;

    struct Run;

private:
    LibburnJob(const std::shared_ptr<LibburnWorker> &worker, std::shared_ptr<Run> run);
    static std::unique_ptr<LibburnJob> start(const std::shared_ptr<LibburnWorker> &worker,
                                             std::shared_ptr<Run> run);
    void deliver(const JobStatus &status);

    // Keeps libburn up until this job's thread has been joined.
    std::shared_ptr<LibburnWorker> m_worker;
    std::shared_ptr<Run> m_run;
    bool m_ended = false;
};
