#pragma once
// What every queued job is to the queue: something that can be started once
// and cancelled, reports how far it has got, and ends with exactly one
// finished(outcome). A job never makes UI and never logs: the queue records
// its outcome.
//
// Two ways of running share the contract. A WorkerJob runs a function on a
// thread pool it is handed; a DeckJob hands itself to a deck and mirrors the
// deck's progress.
//
// Threading: every member and every signal is on the main thread. Work on a
// pool reaches the job only through offMain/postToMain, guarded by the job, so
// a job that is gone hears nothing more.
//
// Ownership: the queue creates a job when its turn comes, owns it and deletes
// it once finished has been handled. Destroying a worker job whose work still
// runs cancels its token; the work ends on its own in the pool, whose owner
// waits for it. A deck job destroyed early leaves its deck to finish alone.
//
// Cancelling: cancel() asks the work to stop. A job that has handed nothing
// over yet ends at once, with finished(cancelled) from inside cancel(); other
// jobs end later, normally with "Stopped.".

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class CancelToken;
class Deck;
class QThreadPool;

// How a job ended.
struct JobOutcome
{
    bool ok = false;
    bool cancelled = false;
    // The result text, or the sentence saying why it failed.
    QString message;
    // What a failed tool said behind `message` (TDError::detail); log only.
    QString toolWords;
    // The deck could not take the job after all; nothing was started and the
    // queue may start it again later. Only DeckJobs end this way.
    bool notStarted = false;

    static JobOutcome failed(const QString &message)
    {
        JobOutcome outcome;
        outcome.message = message;
        return outcome;
    }
    static JobOutcome stopped()
    {
        JobOutcome outcome;
        outcome.cancelled = true;
        outcome.message = QStringLiteral("Stopped.");
        return outcome;
    }
};

class QueuedJob : public QObject
{
    Q_OBJECT

public:
    explicit QueuedJob(QObject *parent = nullptr);

    // Begins the work; called once. finished may come from inside start()
    // when the job can't begin at all (no deck, say), otherwise later.
    virtual void start() = 0;
    // Asks the job to stop; calling it again, or after finished, does nothing
    // more.
    virtual void cancel() = 0;

Q_SIGNALS:
    // How far the job has got, 0…1.
    void progressed(double progress);
    // What the job is doing now, in words for the job list.
    void detailChanged(const QString &detail);
    // Exactly once per started job.
    void finished(const JobOutcome &outcome);
};

// A job whose work runs on a thread pool and returns its result text, or
// throws TDError (a cancelled one becomes "Stopped.").
class WorkerJob : public QueuedJob
{
    Q_OBJECT

public:
    // `pool` is not owned and must outlive the job's work.
    explicit WorkerJob(QThreadPool *pool, QObject *parent = nullptr);
    ~WorkerJob() override;

    // Cancels the token the work polls (ending a child process it runs).
    void cancel() override;

protected:
    // Runs on a worker: `progress` may be called from there as often as the
    // work likes; it reaches the job at most every 50 ms (and always at 1).
    using Work = std::function<QString(CancelToken *token, const std::function<void(double)> &progress)>;

    // Hands `work` to the pool with `token`, which cancel() cancels. Call once.
    void run(std::shared_ptr<CancelToken> token, Work work);
    // On the main thread as soon as the work has ended, one event before
    // finished: for a job that shows its end elsewhere too.
    virtual void workEnded(const JobOutcome &outcome);
    // A guard for postToMain from the work, made here on the main thread.
    QPointer<QObject> guard() { return QPointer<QObject>(this); }

private:
    QThreadPool *m_pool;
    std::shared_ptr<CancelToken> m_token;
    bool m_ended = false;
};

// A job that runs on a deck: it asks the queue whether the deck will take it
// at the moment it hands itself over, then mirrors the deck's progress and
// phase every 0.3 s until the deck says it has ended.
class DeckJob : public QueuedJob
{
    Q_OBJECT

public:
    static constexpr int watchMs = 300;
    // Whether the deck can take the job now; asked once, at the hand-over.
    using Ready = std::function<bool()>;

    // `deck` may be null (the job then fails on start) and is held weakly.
    DeckJob(Deck *deck, int deckIndex, Ready ready, QObject *parent = nullptr);

    // Before the hand-over: ends the job at once as stopped. After it: stops
    // the deck if it is still busy (an erase finishes on its own).
    void cancel() override;

protected:
    // Ends the job when there is no deck or the deck can't take it now, and
    // says false; otherwise marks it handed over and says true.
    bool handOver();
    // The deck's `done` for the job: the end arrives one event later, marked
    // cancelled when the deck was stopped.
    std::function<void(bool ok, const QString &message)> deckDone();
    // Starts mirroring the deck's progress and phase.
    void watchDeck();
    // Ends the job now (for refusals before anything was handed over).
    void end(const JobOutcome &outcome);
    // Whether the job has ended (or its end is on its way).
    bool ended() const { return m_ended; }

    QPointer<Deck> m_deck;

private:
    const int m_deckIndex;
    Ready m_ready;
    bool m_handedOver = false;
    bool m_ended = false;
    QTimer m_watch;
    double m_shownProgress = 0;
    std::optional<QString> m_shownPhase;
};
