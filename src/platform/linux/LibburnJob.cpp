#include "platform/linux/LibburnJob.h"

#include "platform/linux/Libburn.h"
#include "platform/linux/LibburnBurn.h"

#include "platform/linux/DriveAccess.h"
#include "platform/linux/DriveTrouble.h"
#include "platform/linux/LibburnRun.h"
#include "platform/linux/LibburnWorker.h"
#include "platform/linux/OpticalDiscs.h"

#include <QLoggingCategory>
#include <algorithm>
#include <chrono>
#include <thread>

#include <vector>

#include <libburn/libburn.h>

using namespace burn;

Q_LOGGING_CATEGORY(lcLibburnJob, "tandor.burn", QtWarningMsg)

namespace {

// How long a drive may stay "becoming ready" before a job gives up on it.
// libburn itself would wait up to 35 minutes (five to load, thirty to start),
// holding the thread every drive's reading needs.
constexpr auto readyWait = std::chrono::seconds(20);

} // namespace

void LibburnJob::Run::post(const JobStatus &status)
{
    if (posted && status.state == last.state && status.currentTrack == last.currentTrack
        && qAbs(status.percent - last.percent) < 0.001 && qAbs(status.speed - last.speed) < 1)
        return;
    posted = true;
    last = status;
    QMetaObject::invokeMethod(
        worker->home(),
        [self = shared_from_this(), status] {
            if (self->job)
                self->job->deliver(status);
        },
        Qt::QueuedConnection);
}

void LibburnJob::Run::finish(const QString &error)
{
    JobStatus status;
    status.state = error.isEmpty() ? DiscJobState::done : DiscJobState::failed;
    status.errorText = error;
    if (!error.isEmpty())
        status.errorDetail = said;
    if (status.state == DiscJobState::done) {
        status.percent = 1;
        status.readBack = readBack;
    }
    posted = false; // the final status always goes out
    post(status);
}

QString LibburnJob::Run::complaint(const QString &fallback)
{
    said = problemWords;
    if (!problem.isEmpty())
        return problem;
    const DriveTrouble::Explained explained = DriveTrouble::explain(LibburnWorker::complaintsSince(mark, stopped), fallback);
    said = explained.words;
    return explained.sentence;
}

void LibburnJob::Run::pause(std::chrono::milliseconds interval)
{
    std::unique_lock guard(wakeLock);
    wake.wait_for(guard, interval, [this] { return abortRequested.load(); });
}

void LibburnJob::Run::waitForThread(quint64 mark)
{
    // libburn reports the drive idle a little before its write thread lets
    // go of it (after a cancel, once the fifo has wound down: up to about a
    // second; on a lost drive, half a second). Releasing the drive in
    // between would pull it from under that thread, and the next write on
    // it would be refused, so wait for the thread's farewell.
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + seconds(10);
    while (!LibburnWorker::claimFarewell(mark)) {
        if (steady_clock::now() > deadline) {
            qCWarning(lcLibburnJob) << "libburn's write thread did not say it ended";
            return;
        }
        std::this_thread::sleep_for(milliseconds(20));
    }
    // The message comes just before the thread leaves libburn's list.
    std::this_thread::sleep_for(milliseconds(50));
}

bool LibburnJob::Run::grab()
{
    problem.clear();
    problemWords.clear();
    // Asked here, on the job's thread, so that a drive that never gets ready
    // holds up this deck only.
    const QString node = DriveAccess::nodeOf(QString::fromLocal8Bit(address));
    if (!node.isEmpty() && OpticalDiscs::becomingReady(node)) {
        const auto deadline = std::chrono::steady_clock::now() + readyWait;
        do
            pause();
        while (!abortRequested && std::chrono::steady_clock::now() < deadline && OpticalDiscs::becomingReady(node));
        if (abortRequested) {
            problem = LibburnBurn::stoppedText;
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            problem = QStringLiteral("The burner didn't get ready. Wait a moment, then try again.");
            problemWords = QStringLiteral("Drive not ready. Logical unit is in the process of becoming ready.");
            return false;
        }
    }
    const bool started = worker->call([this, node] {
        if (address.size() >= BURN_DRIVE_ADR_LEN)
            return;
        // The drive may have changed hands since it was last read.
        if (!node.isEmpty()) {
            problem = DriveAccess::check(node);
            if (!problem.isEmpty())
                return;
        }
        const quint64 grabMark = LibburnWorker::messageMark();
        char adr[BURN_DRIVE_ADR_LEN];
        qstrncpy(adr, address.constData(), sizeof adr);
        // load = 1: a burn needs the tray closed.
        if (burn_drive_scan_and_grab(&infos, adr, 1) == 1 && infos)
            drive = infos[0].drive;
        else
            problem = DriveAccess::afterGrabFailed(node, LibburnWorker::lastMessageSince(grabMark));
    });
    return started && drive;
}

void LibburnJob::Run::release(bool eject)
{
    if (!drive && !infos)
        return;
    worker->call([this, eject] {
        if (drive)
            burn_drive_release(drive, eject ? 1 : 0);
        if (infos)
            burn_drive_info_free(infos);
    });
    drive = nullptr;
    infos = nullptr;
}

void LibburnJob::Run::execute()
{
    mark = LibburnWorker::messageMark();
    JobStatus preparing;
    preparing.state = isErase ? DiscJobState::erasing : DiscJobState::preparing;
    post(preparing);
    const QString error = isErase ? erase() : burn();
    // The producers go now, not when the job object does.
    layout = BurnLayout();
    finish(error);
}

QString LibburnJob::Run::erase()
{
    if (!grab()) {
        release(false);
        return complaint(QStringLiteral("The burner could not be opened."));
    }
    if (burn_disc_get_status(drive) == BURN_DISC_EMPTY) {
        release(false);
        return QStringLiteral("There is no disc in the burner.");
    }
    const quint64 eraseMark = LibburnWorker::messageMark();
    const bool inPlace = Libburn::overwritable(drive);
    if (inPlace && eraseType == EraseType::quick) {
        // Zeros over the file system's descriptors, as other programs blank
        // a DVD+RW: every reader then finds it empty.
        std::vector<char> zeros(64 * 1024, 0);
        const bool wiped = burn_random_access_write(drive, 0, zeros.data(), off_t(zeros.size()), 1) == 1;
        release(false);
        if (wiped)
            return {};
        const DriveTrouble::Explained explained =
            DriveTrouble::explain(LibburnWorker::complaintsSince(eraseMark), QStringLiteral("The erase failed."));
        said = explained.words;
        return explained.sentence;
    }
    if (inPlace)
        burn_disc_format(drive, 0, 1 << 4); // formatted afresh, de-iced
    else
        burn_disc_erase(drive, eraseType == EraseType::quick ? 1 : 0);
    burn_progress progress{};
    burn_drive_status status;
    // libburn may still be starting the erase when the call returns.
    while ((status = burn_drive_get_status(drive, &progress)) != BURN_DRIVE_IDLE) {
        JobStatus s;
        s.state = DiscJobState::erasing;
        if (status == BURN_DRIVE_ERASING && progress.sectors > 0)
            s.percent = std::clamp(double(progress.sector) / double(progress.sectors), 0.0, 1.0);
        post(s);
        std::this_thread::sleep_for(Run::pollInterval);
    }
    // A refused erase leaves the drive idle without touching the outcome of
    // the previous job on it; libburn's complaints say why.
    // The erase thread's last act is to make the drive idle.
    const QStringList complaints = LibburnWorker::complaintsSince(eraseMark);
    // libburn's messages are shared by every drive, so the drive itself
    // tells whether the erase took: a refused one leaves the disc as it was.
    const bool ok = burn_drive_wrote_well(drive) == 1 && burn_disc_get_status(drive) == BURN_DISC_BLANK;
    release(false);
    if (ok)
        return {};
    const DriveTrouble::Explained explained = DriveTrouble::explain(complaints, QStringLiteral("The erase failed."));
    said = explained.words;
    return explained.sentence;
}

LibburnJob::LibburnJob(const std::shared_ptr<LibburnWorker> &worker, std::shared_ptr<Run> run)
    : m_worker(worker), m_run(std::move(run))
{
}

LibburnJob::~LibburnJob()
{
    if (!m_ended)
        abort();
}

void LibburnJob::abort()
{
    if (m_ended || m_run->isErase)
        return;
    {
        std::lock_guard guard(m_run->wakeLock);
        m_run->abortRequested = true;
    }
    m_run->wake.notify_all();
}

void LibburnJob::deliver(const JobStatus &status)
{
    if (m_ended)
        return;
    m_ended = status.state == DiscJobState::done || status.state == DiscJobState::failed;
    Q_EMIT statusChanged(status);
}

std::unique_ptr<LibburnJob> LibburnJob::start(const std::shared_ptr<LibburnWorker> &worker, std::shared_ptr<Run> run)
{
    run->worker = worker.get();
    std::unique_ptr<LibburnJob> job(new LibburnJob(worker, run));
    run->job = job.get();
    worker->startJob([run] {
        run->execute();
        // `ended` and the last reference go back to the main thread, after
        // the final status posted just before.
        QMetaObject::invokeMethod(
            run->worker->home(),
            [run] {
                if (run->ended)
                    run->ended();
            },
            Qt::QueuedConnection);
    });
    return job;
}

std::unique_ptr<LibburnJob> LibburnJob::startBurn(const std::shared_ptr<LibburnWorker> &worker,
                                                  const QString &address, const BurnProperties &properties,
                                                  const BurnLayout &layout, std::function<void()> ended)
{
    auto run = std::make_shared<Run>();
    run->address = address.toLocal8Bit();
    run->properties = properties;
    run->layout = layout;
    run->ended = std::move(ended);
    return start(worker, std::move(run));
}

std::unique_ptr<LibburnJob> LibburnJob::startErase(const std::shared_ptr<LibburnWorker> &worker,
                                                   const QString &address, EraseType type,
                                                   std::function<void()> ended)
{
    auto run = std::make_shared<Run>();
    run->address = address.toLocal8Bit();
    run->isErase = true;
    run->eraseType = type;
    run->ended = std::move(ended);
    return start(worker, std::move(run));
}
