#pragma once
// The one queue of long-running jobs: image making, disc copies, image burns,
// erases, checksums and verification.
//
// The queue keeps the list, plans (TDScheduler), spaces burns apart and
// records how each job ended. The work itself is a QueuedJob (QueuedJob.h),
// one class per kind, made when the job's turn comes.
//
// Threading: every member is called on the main thread, except pump(), which
// may be called from anywhere and hops to the main thread itself. The work of
// image making, disc copies, checksums, verification and the burn's look at
// its image runs on the queue's own thread pool; it reaches the queue only
// through its job's signals, on the main thread. Burns and erases run in the
// deck's own machinery; their jobs mirror the deck's progress every 0.3 s.
//
// Ownership: the application model owns the queue. The queue knows nothing of
// it: it is handed the decks (held weakly) and the demo flag, and reports log
// lines, checksums and verify results through signals. The queue owns each
// running job's object from its start until it has finished.
//
// Cancelling: cancel() marks a waiting job cancelled at once. A running job
// is asked to stop (QueuedJob::cancel: its token is cancelled, which also ends
// a child process such as xorriso; a busy deck is stopped) and keeps running
// until its work has ended; then it is recorded once, normally as "Stopped.".
// Destroying the queue destroys the running jobs, which cancels their work,
// and waits for the pool.

#include "images/Checksums.h"
#include "images/Verifier.h"
#include "queue/Job.h"
#include "queue/JobListModel.h"
#include "queue/ReadDiscJob.h"

#include <QHash>
#include <QSet>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <functional>

class Deck;
class QueuedJob;

class JobQueue : public QObject
{
    Q_OBJECT
    Q_PROPERTY(JobListModel *jobs READ model CONSTANT)
    Q_PROPERTY(int activeCount READ activeCount NOTIFY changed)
    Q_PROPERTY(int runningCount READ runningCount NOTIFY changed)
    Q_PROPERTY(int waitingCount READ waitingCount NOTIFY changed)
    Q_PROPERTY(int finishedCount READ finishedCount NOTIFY changed)
    Q_PROPERTY(bool autoStart READ autoStart WRITE setAutoStart NOTIFY autoStartChanged)

public:
    // Burns and erases that start in one pass are spaced this far apart.
    static constexpr int staggerMs = 1500;

    explicit JobQueue(QObject *parent = nullptr);
    ~JobQueue() override;
    // The decks jobs run on, by index; not owned (each is held weakly).
    void setDecks(const QList<Deck *> &decks);
    // Demo mode: burns and erases are simulated and need no disc.
    void setDemo(bool on) { m_demo = on; }

    JobListModel *model() const { return m_model; }
    const QList<QJob> &jobs() const { return m_model->jobs(); }
    const QHash<QUuid, QString> &waitReasons() const { return m_waitReasons; }
    std::optional<QJob> job(const QUuid &id) const;
    // Jobs that have not finished, in order.
    QList<QJob> active() const;
    int activeCount() const;
    int runningCount() const;
    int waitingCount() const;
    int finishedCount() const;

    bool autoStart() const { return m_autoStart; }
    // Off: re-planning still cancels and explains, but starts nothing.
    void setAutoStart(bool on);

    // Queues a job and returns its id, or nothing when it is refused (the
    // reason is logged). A burn of an existing image reads the image's first
    // 16.5 KiB here to refuse a file that is not a disc image.
    std::optional<QUuid> add(const JobKind &kind, const QString &title,
                             const std::optional<QUuid> &dependsOn = std::nullopt);
    void cancel(const QUuid &id);
    // Cancels if needed, then drops the job once it has finished; a running
    // job stays listed until it has stopped.
    void remove(const QUuid &id);
    void moveUp(const QUuid &id);
    Q_INVOKABLE void clearFinished();

    // The same for the screens, by the id text the model shows.
    Q_INVOKABLE void cancelJob(const QString &id) { cancel(QUuid::fromString(id)); }
    Q_INVOKABLE void removeJob(const QString &id) { remove(QUuid::fromString(id)); }
    Q_INVOKABLE void moveJobUp(const QString &id) { moveUp(QUuid::fromString(id)); }

    // Re-plans and starts whatever may start now. Any thread.
    void pump();
    // Whether an unfinished job works on the deck at `index`; audio burns
    // stay off such decks.
    bool usesDeck(int index) const;
    // Why the job's deck can't take it now, or nothing when it can.
    std::optional<QString> notReady(const QJob &job) const;

    // Where a disc copy reads from (called on a worker). The default asks the
    // system; tests hand in an image file. Applies to copies started later.
    using DiscSource = ReadDiscJob::DiscSource;
    using DiscLookup = ReadDiscJob::DiscLookup;
    void setDiscLookup(DiscLookup lookup) { m_discLookup = std::move(lookup); }

Q_SIGNALS:
    void changed();
    void autoStartChanged();
    void waitReasonsChanged();
    // A job failed: the program sounds the alert beep.
    void failureAlert();
    // A job that ran has finished: done, failed or stopped (its state says).
    void jobEnded(const QJob &job);
    // A line for the burn log, with what a tool said behind it (may be empty).
    void logged(const QString &line, const QString &detail) const;
    // A checksum job has the digests of `file`.
    void checksumsComputed(const QString &file, const Digests &digests);
    // A verify job has compared its two sides (whether or not they match).
    void verified(const VerifyResult &result);

private:
    Deck *deckAt(int index) const;
    // Makes the job object for `job`'s kind, owned by the queue.
    QueuedJob *createJob(const QJob &job);
    void run(const QUuid &id);
    // A deck job found its deck unable to take it after all: the job waits
    // again instead of failing.
    void backToWaiting(const QUuid &id);
    // Lets go of a running job's object.
    void dropJob(const QUuid &id);
    void update(const QUuid &id, std::optional<double> progress, std::optional<QString> detail);
    // `toolWords`: what a failed tool said behind `message` (TDError::detail),
    // logged as the detail of the failure's line.
    void finish(const QUuid &id, bool ok, const QString &message, bool cancelled = false,
                const QString &toolWords = {});
    void log(const QString &line, const QString &detail = {}) const;
    void setState(int row, JobState state);

    QList<QPointer<Deck>> m_decks;
    bool m_demo = false;
    JobListModel *m_model;
    QHash<QUuid, QString> m_waitReasons;
    // The objects of running jobs. A running job not in here is still behind
    // its stagger delay.
    QHash<QUuid, QueuedJob *> m_running;
    bool m_autoStart = true;
    DiscLookup m_discLookup;
    // The jobs' workers; the destructor waits for them.
    QThreadPool m_pool;
};
