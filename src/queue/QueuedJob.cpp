#include "queue/QueuedJob.h"

#include "base/CancelToken.h"
#include "base/OffMain.h"
#include "base/TDError.h"
#include "drives/Deck.h"

#include <QElapsedTimer>

#include <cmath>

namespace {

// Hands a worker's progress on at most every 50 ms (and always the end), so
// a fast disk can't flood the event loop.
std::function<void(double)> throttled(std::function<void(double)> deliver)
{
    auto clock = std::make_shared<QElapsedTimer>();
    return [deliver = std::move(deliver), clock](double p) {
        if (clock->isValid() && clock->elapsed() < 50 && p < 1.0)
            return;
        clock->start();
        deliver(p);
    };
}

} // namespace

QueuedJob::QueuedJob(QObject *parent)
    : QObject(parent)
{
}

WorkerJob::WorkerJob(QThreadPool *pool, QObject *parent)
    : QueuedJob(parent)
    , m_pool(pool)
{
}

WorkerJob::~WorkerJob()
{
    // An ended job's token may be a deck's, still in use there: leave it be.
    if (m_token && !m_ended)
        m_token->cancel();
}

void WorkerJob::cancel()
{
    if (m_token)
        m_token->cancel();
}

void WorkerJob::workEnded(const JobOutcome &)
{
}

void WorkerJob::run(std::shared_ptr<CancelToken> token, Work work)
{
    m_token = token;
    const QPointer<QObject> self = guard();
    const auto progress = throttled([self, this](double p) { postToMain(self, [this, p] { Q_EMIT progressed(p); }); });
    offMain(
        this,
        [token, work = std::move(work), progress] {
            JobOutcome outcome;
            try {
                outcome.message = work(token.get(), progress);
                outcome.ok = true;
            } catch (const TDError &e) {
                outcome.cancelled = e.kind() == TDError::Kind::cancelled;
                outcome.message = outcome.cancelled ? JobOutcome::stopped().message : e.text();
                outcome.toolWords = e.detail();
            } catch (const std::exception &e) {
                outcome.message = QString::fromLocal8Bit(e.what());
            }
            return outcome;
        },
        [this, self](JobOutcome outcome) {
            m_ended = true;
            workEnded(outcome);
            // One event later, so what workEnded set going is seen first.
            postToMain(self, [this, outcome] { Q_EMIT finished(outcome); });
        },
        m_pool);
}

DeckJob::DeckJob(Deck *deck, int deckIndex, Ready ready, QObject *parent)
    : QueuedJob(parent)
    , m_deck(deck)
    , m_deckIndex(deckIndex)
    , m_ready(std::move(ready))
{
    m_watch.setInterval(watchMs);
    connect(&m_watch, &QTimer::timeout, this, [this] {
        if (!m_deck) {
            m_watch.stop();
            return;
        }
        if (std::abs(m_shownProgress - m_deck->progress()) > 0.002) {
            m_shownProgress = m_deck->progress();
            Q_EMIT progressed(m_shownProgress);
        }
        if (m_shownPhase != m_deck->phase()) {
            m_shownPhase = m_deck->phase();
            Q_EMIT detailChanged(*m_shownPhase);
        }
    });
    connect(this, &QueuedJob::detailChanged, this, [this](const QString &detail) { m_shownPhase = detail; });
}

void DeckJob::cancel()
{
    if (m_ended)
        return;
    if (!m_handedOver) {
        end(JobOutcome::stopped());
        return;
    }
    if (m_deck && m_deck->busy())
        m_deck->stop();
}

bool DeckJob::handOver()
{
    if (!m_deck) {
        end(JobOutcome::failed(QStringLiteral("Deck ") + deckLetters[size_t(m_deckIndex)] + QStringLiteral(": ")
                               + TDMessages::noBurnerShort));
        return false;
    }
    if (!m_ready()) {
        JobOutcome outcome;
        outcome.notStarted = true;
        end(outcome);
        return false;
    }
    m_handedOver = true;
    return true;
}

void DeckJob::end(const JobOutcome &outcome)
{
    m_ended = true;
    m_watch.stop();
    Q_EMIT finished(outcome);
}

std::function<void(bool, const QString &)> DeckJob::deckDone()
{
    const QPointer<QObject> self(this);
    return [this, self](bool ok, const QString &message) {
        if (!self)
            return;
        JobOutcome outcome;
        outcome.ok = ok;
        outcome.message = message;
        outcome.cancelled = m_deck && m_deck->state() == Deck::State::stopped;
        m_ended = true;
        postToMain(self, [this, outcome] { Q_EMIT finished(outcome); });
    };
}

void DeckJob::watchDeck()
{
    m_watch.start();
}
