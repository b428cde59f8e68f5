#include "queue/JobQueue.h"

#include "drives/Deck.h"
#include "drives/TDDetect.h"
#include "images/BlockReader.h"
#include "queue/BurnImageJob.h"
#include "queue/ChecksumJob.h"
#include "queue/EraseJob.h"
#include "queue/MakeImageJob.h"
#include "queue/ReadDiscJob.h"
#include "queue/TDScheduler.h"
#include "queue/VerifyJob.h"

#include <QFileInfo>
#include <QThread>
#include <QTimer>

namespace {

QString fileName(const QString &path)
{
    return QFileInfo(path).fileName();
}

} // namespace

JobQueue::JobQueue(QObject *parent)
    : QObject(parent)
    , m_model(new JobListModel(this))
{
    // Concurrency is bounded by the scheduler (one computer job plus one copy
    // per drive), not by the pool.
    m_pool.setMaxThreadCount(8);
    m_discLookup = [](const QString &bsd) -> std::optional<DiscSource> {
        const std::optional<DiscInfo> info = DiscReader::info(bsd);
        if (!info)
            return std::nullopt;
        return DiscSource{*info, info->rawPath()};
    };
}

JobQueue::~JobQueue()
{
    // Destroying a worker job cancels its token, so the wait is short.
    qDeleteAll(std::exchange(m_running, {}));
    m_pool.waitForDone();
}

void JobQueue::setDecks(const QList<Deck *> &decks)
{
    m_decks.clear();
    for (Deck *deck : decks)
        m_decks.append(deck);
}

void JobQueue::log(const QString &line, const QString &detail) const
{
    Q_EMIT logged(line, detail);
}

Deck *JobQueue::deckAt(int index) const
{
    if (index < 0 || index >= m_decks.size())
        return nullptr;
    return m_decks.at(index);
}

std::optional<QJob> JobQueue::job(const QUuid &id) const
{
    const int row = m_model->indexOf(id);
    if (row < 0)
        return std::nullopt;
    return m_model->at(row);
}

QList<QJob> JobQueue::active() const
{
    QList<QJob> out;
    for (const QJob &j : jobs())
        if (!j.finished())
            out.append(j);
    return out;
}

int JobQueue::activeCount() const
{
    return int(std::count_if(jobs().cbegin(), jobs().cend(), [](const QJob &j) { return !j.finished(); }));
}

int JobQueue::runningCount() const
{
    return int(std::count_if(jobs().cbegin(), jobs().cend(), [](const QJob &j) { return j.state == JobState::running; }));
}

int JobQueue::waitingCount() const
{
    return int(std::count_if(jobs().cbegin(), jobs().cend(), [](const QJob &j) { return j.state == JobState::waiting; }));
}

int JobQueue::finishedCount() const
{
    return int(std::count_if(jobs().cbegin(), jobs().cend(), [](const QJob &j) { return j.finished(); }));
}

void JobQueue::setAutoStart(bool on)
{
    if (m_autoStart == on)
        return;
    m_autoStart = on;
    Q_EMIT autoStartChanged();
    if (on)
        pump();
}

void JobQueue::setState(int row, JobState state)
{
    m_model->change(row, [&](QJob &j) {
        j.state = state;
        if (state == JobState::running)
            j.startedAt = QDateTime::currentDateTime();
        else if (j.finished())
            j.endedAt = QDateTime::currentDateTime();
    });
}

std::optional<QUuid> JobQueue::add(const JobKind &kind, const QString &title, const std::optional<QUuid> &dependsOn)
{
    QSet<int> withDrive;
    for (const Deck *deck : std::as_const(m_decks))
        if (deck && deck->hasDrive())
            withDrive.insert(deck->index());
    if (const std::optional<QString> reason = TDScheduler::refusal(kind, withDrive, m_demo)) {
        log(*reason);
        return std::nullopt;
    }
    // A burn that waits for its image to be made can't be looked at yet.
    if (const auto *burn = kind.as<Jobs::BurnImage>(); burn && !dependsOn && !ImageInfo::inspect(burn->image)) {
        log(fileName(burn->image) + QStringLiteral(" can't be read as a disc image."));
        return std::nullopt;
    }
    const QJob job(QUuid::createUuid(), kind, title, dependsOn);
    m_model->append(job);
    log(QStringLiteral("Queue: added ") + quotedTitle(title) + QStringLiteral("."));
    Q_EMIT changed();
    pump();
    return job.id;
}

void JobQueue::pump()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, &JobQueue::pump, Qt::QueuedConnection);
        return;
    }
    const auto deckBusy = [this](int index) {
        const Deck *deck = deckAt(index);
        return deck
            && ((deck->busy() && deck->op() == Deck::Op::audio) || deck->state() == Deck::State::waiting);
    };
    const auto notReady = [this](const QJob &j) { return this->notReady(j); };

    // Cancelling a job can doom the jobs that depend on it, so plan again
    // until nothing more is cancelled: a whole chain goes in one pump.
    TDScheduler::Decision decision;
    bool changedAny = false;
    for (;;) {
        decision = TDScheduler::plan(jobs(), deckBusy, notReady, 1);
        bool cancelledAny = false;
        for (auto it = decision.cancel.cbegin(); it != decision.cancel.cend(); ++it) {
            const int row = m_model->indexOf(it.key());
            if (row < 0 || m_model->at(row).finished())
                continue;
            m_model->change(row, [&](QJob &j) { j.detail = it.value(); });
            setState(row, JobState::cancelled);
            log(QStringLiteral("Queue: ") + quotedTitle(m_model->at(row).title) + QStringLiteral(" — ") + it.value());
            cancelledAny = changedAny = true;
        }
        if (!cancelledAny)
            break;
    }

    if (decision.wait != m_waitReasons) {
        m_waitReasons = decision.wait;
        m_model->setWaitReasons(m_waitReasons);
        Q_EMIT waitReasonsChanged();
    }

    if (m_autoStart) {
        int staggered = 0;
        for (const QUuid &id : std::as_const(decision.start)) {
            const int row = m_model->indexOf(id);
            if (row < 0)
                continue;
            setState(row, JobState::running);
            m_model->change(row, [](QJob &j) { j.progress = 0; });
            int delayMs = 0;
            const TDAction action = m_model->at(row).kind.action();
            if (action == TDAction::burn || action == TDAction::erase) {
                delayMs = staggered * staggerMs;
                if (delayMs > 0)
                    m_model->change(row, [&](QJob &j) {
                        j.detail = QStringLiteral("Starting in ") + QString::asprintf("%.1f", delayMs / 1000.0)
                            + QStringLiteral(" s");
                    });
                ++staggered;
            }
            QTimer::singleShot(delayMs, Qt::PreciseTimer, this, [this, id] { run(id); });
            changedAny = true;
        }
    }
    if (changedAny)
        Q_EMIT changed();
}

std::optional<QString> JobQueue::notReady(const QJob &job) const
{
    const std::optional<int> index = job.kind.deck();
    if (!index)
        return std::nullopt;
    const TDAction action = job.kind.action();
    if (m_demo && action != TDAction::readDisc)
        return std::nullopt;
    const Deck *deck = deckAt(*index);
    if (!deck)
        return std::nullopt;
    const QString prefix = QStringLiteral("Deck ") + deck->letter() + QStringLiteral(": ");
    if (!deck->hasDrive())
        return prefix + TDMessages::noBurnerShort;
    MediaReport report;
    if (action == TDAction::readDisc)
        report = deck->readReport();
    else if (action == TDAction::erase)
        report = deck->eraseReport();
    else
        report = deck->dataReport(fileSize(job.kind.as<Jobs::BurnImage>()->image));
    if (!report.ready)
        return prefix + report.text;
    return std::nullopt;
}

bool JobQueue::usesDeck(int index) const
{
    return std::any_of(jobs().cbegin(), jobs().cend(),
                       [index](const QJob &j) { return !j.finished() && j.kind.deck() == index; });
}

QueuedJob *JobQueue::createJob(const QJob &job)
{
    const QUuid id = job.id;
    // Asked by a deck job at the moment it would hand itself to its deck.
    const auto ready = [this, id] {
        const int row = m_model->indexOf(id);
        return row < 0 || !notReady(m_model->at(row));
    };
    if (const auto *make = job.kind.as<Jobs::MakeImage>())
        return new MakeImageJob(*make, &m_pool, this);
    if (const auto *read = job.kind.as<Jobs::ReadDisc>())
        return new ReadDiscJob(*read, read->deck ? deckAt(*read->deck) : nullptr, job.title, m_discLookup, &m_pool,
                               this);
    if (const auto *burn = job.kind.as<Jobs::BurnImage>())
        return new BurnImageJob(*burn, deckAt(burn->deck), m_demo, job.title, ready, &m_pool, this);
    if (const auto *erase = job.kind.as<Jobs::Erase>())
        return new EraseJob(*erase, deckAt(erase->deck), m_demo, job.title, ready, this);
    if (const auto *sum = job.kind.as<Jobs::Checksum>()) {
        auto *checksum = new ChecksumJob(sum->file, &m_pool, this);
        connect(checksum, &ChecksumJob::computed, this, &JobQueue::checksumsComputed);
        return checksum;
    }
    const auto *verify = job.kind.as<Jobs::Verify>();
    Q_ASSERT(verify);
    auto *verifyJob = new VerifyJob(*verify, &m_pool, this);
    connect(verifyJob, &VerifyJob::compared, this, &JobQueue::verified);
    return verifyJob;
}

void JobQueue::run(const QUuid &id)
{
    const int row = m_model->indexOf(id);
    if (row < 0 || m_model->at(row).state != JobState::running)
        return;
    QueuedJob *job = createJob(m_model->at(row));
    m_running.insert(id, job);
    connect(job, &QueuedJob::progressed, this, [this, id](double p) { update(id, p, std::nullopt); });
    connect(job, &QueuedJob::detailChanged, this, [this, id](const QString &d) { update(id, std::nullopt, d); });
    connect(job, &QueuedJob::finished, this, [this, id](const JobOutcome &outcome) {
        if (outcome.notStarted)
            backToWaiting(id);
        else
            finish(id, outcome.ok, outcome.message, outcome.cancelled, outcome.toolWords);
    });
    job->start();
}

void JobQueue::dropJob(const QUuid &id)
{
    if (QueuedJob *job = m_running.take(id)) {
        // Whatever the job still says (a last tick of a deck's progress) is
        // no longer news; it may be inside one of its own calls, so it goes
        // later.
        job->disconnect(this);
        job->deleteLater();
    }
}

void JobQueue::backToWaiting(const QUuid &id)
{
    dropJob(id);
    const int row = m_model->indexOf(id);
    if (row < 0)
        return;
    // The tray changed during the stagger delay (a disc ejected or taken
    // out): the job waits for the deck again instead of failing.
    m_model->change(row, [](QJob &j) {
        j.state = JobState::waiting;
        j.startedAt.reset();
        j.detail.clear();
    });
    Q_EMIT changed();
    pump();
}

void JobQueue::update(const QUuid &id, std::optional<double> progress, std::optional<QString> detail)
{
    const int row = m_model->indexOf(id);
    if (row < 0)
        return;
    m_model->change(row, [&](QJob &j) {
        if (progress)
            j.progress = *progress;
        if (detail)
            j.detail = *detail;
    });
}

void JobQueue::finish(const QUuid &id, bool ok, const QString &message, bool cancelled, const QString &toolWords)
{
    const int row = m_model->indexOf(id);
    if (row < 0 || m_model->at(row).finished())
        return;
    dropJob(id);
    m_model->change(row, [&](QJob &j) {
        if (ok)
            j.progress = 1.0;
        j.detail = message;
    });
    setState(row, cancelled ? JobState::cancelled : ok ? JobState::done : JobState::failed);
    log(QStringLiteral("Queue: ")
        + (ok ? QStringLiteral("done") : cancelled ? QStringLiteral("stopped") : QStringLiteral("FAILED"))
        + QStringLiteral(" — ") + quotedTitle(m_model->at(row).title) + QStringLiteral(". ") + message,
        toolWords);
    Q_EMIT changed();
    const QJob ended = m_model->at(row);
    Q_EMIT jobEnded(ended);
    if (!ok && !cancelled)
        Q_EMIT failureAlert();
    pump();
}

void JobQueue::cancel(const QUuid &id)
{
    const int row = m_model->indexOf(id);
    if (row < 0 || m_model->at(row).finished())
        return;
    const QJob job = m_model->at(row);
    if (job.state == JobState::waiting) {
        m_model->change(row, [](QJob &j) { j.detail = QStringLiteral("Cancelled"); });
        setState(row, JobState::cancelled);
        log(QStringLiteral("Queue: cancelled ") + quotedTitle(job.title) + QStringLiteral("."));
        Q_EMIT changed();
        pump();
        return;
    }
    if (QueuedJob *running = m_running.value(id)) {
        running->cancel();
        return;
    }
    // Still behind its stagger delay: nothing has been handed over, so it
    // stops here and its launch finds it finished.
    finish(id, false, QStringLiteral("Stopped."), true);
}

void JobQueue::remove(const QUuid &id)
{
    if (m_model->indexOf(id) < 0)
        return;
    cancel(id);
    const int row = m_model->indexOf(id);
    if (row >= 0 && m_model->at(row).finished()) {
        m_model->removeAt(row);
        Q_EMIT changed();
    }
}

void JobQueue::moveUp(const QUuid &id)
{
    const int row = m_model->indexOf(id);
    if (row <= 0 || m_model->at(row).state != JobState::waiting)
        return;
    m_model->moveUp(row);
    pump();
}

void JobQueue::clearFinished()
{
    bool removed = false;
    for (int row = int(jobs().size()) - 1; row >= 0; --row) {
        if (m_model->at(row).finished()) {
            m_model->removeAt(row);
            removed = true;
        }
    }
    if (removed)
        Q_EMIT changed();
}
