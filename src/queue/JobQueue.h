#pragma once
// The one queue of long-running jobs: image making, disc copies, image burns,
// erases, checksums and verification.
//
// Threading: every member is called on the main thread, except pump(), which
// may be called from anywhere and hops to the main thread itself. The work of
// image making, disc copies, checksums and verification runs on the queue's
// own thread pool; its progress only ever reaches the jobs through queued
// calls. Burns and erases run in the deck's own machinery; the queue starts
// them and mirrors the deck's progress every 0.3 s.
//
// Ownership: the application model owns the queue. The queue knows nothing of
// it: it is handed the decks (held weakly) and the demo flag, and reports log
// lines, checksums and verify results through signals. Each running
// background job holds a CancelToken, shared with its worker, from its start
// until it has finished.
//
// Cancelling: cancel() marks a waiting job cancelled at once. A running job
// is asked to stop (its token is cancelled, which also ends a child process
// such as xorriso; a busy deck is stopped) and keeps running until its work
// has ended; then it is recorded once, normally as "Stopped.". Destroying the
// queue cancels every token and waits for the workers.

#include "images/Checksums.h"
#include "images/DiscReader.h"
#include "images/Verifier.h"
#include "queue/Job.h"
#include "queue/JobListModel.h"

#include <QHash>
#include <QSet>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <functional>
#include <memory>

class CancelToken;
class Deck;

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
    static constexpr int deckWatchMs = 300;

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

    // Where a disc copy reads from: the disc's description and the device to
    // read. The default asks the system; tests hand in an image file.
    struct DiscSource
    {
        DiscInfo info;
        QString device;
    };
    using DiscLookup = std::function<std::optional<DiscSource>(const QString &bsd)>;
    void setDiscLookup(DiscLookup lookup) { m_discLookup = std::move(lookup); }

Q_SIGNALS:
    void changed();
    void autoStartChanged();
    void waitReasonsChanged();
    // A job failed: the program sounds the alert beep.
    void failureAlert();
    // A line for the burn log, with what a tool said behind it (may be empty).
    void logged(const QString &line, const QString &detail) const;
    // A checksum job has the digests of `file`.
    void checksumsComputed(const QString &file, const Digests &digests);
    // A verify job has compared its two sides (whether or not they match).
    void verified(const VerifyResult &result);

private:
    // What a background job's work hands back: the result text, or it throws.
    using Work = std::function<QString(CancelToken *token, const std::function<void(double)> &progress)>;

    Deck *deckAt(int index) const;
    void run(const QUuid &id);
    void runBurn(const QUuid &id, const Jobs::BurnImage &burn);
    // At the moment a burn or erase is handed to its deck: when the deck
    // can't take it after all, puts the job back to waiting and says true.
    bool backToWaiting(const QUuid &id);
    void background(const QUuid &id, std::shared_ptr<CancelToken> token, Work work,
                    std::function<void(bool ok, const QString &message)> after = {});
    void update(const QUuid &id, std::optional<double> progress, std::optional<QString> detail);
    // `toolWords`: what a failed tool said behind `message` (TDError::detail),
    // logged as the detail of the failure's line.
    void finish(const QUuid &id, bool ok, const QString &message, bool cancelled = false,
                const QString &toolWords = {});
    void watchDeck(Deck *deck, const QUuid &id);
    std::function<void(bool ok, const QString &message)> deckDone(const QUuid &id, Deck *deck);
    void log(const QString &line, const QString &detail = {}) const;
    void setState(int row, JobState state);
    // Runs `fn` on the main thread, unless the queue is gone by then.
    void post(std::function<void()> fn);

    static QString makeImage(const Jobs::MakeImage &job, CancelToken *token,
                             const std::function<void(double)> &progress,
                             const std::function<void(const QString &)> &detail);

    QList<QPointer<Deck>> m_decks;
    bool m_demo = false;
    JobListModel *m_model;
    QHash<QUuid, QString> m_waitReasons;
    QHash<QUuid, std::shared_ptr<CancelToken>> m_tokens;
    // Running jobs whose work has been handed over (to a worker or a deck).
    // A running job not in here is still behind its stagger delay.
    QSet<QUuid> m_launched;
    bool m_autoStart = true;
    DiscLookup m_discLookup;
    QThreadPool m_pool;
};
