#include "queue/JobQueue.h"

#include "base/CancelToken.h"
#include "base/Format.h"
#include "base/TDError.h"
#include "drives/Deck.h"
#include "drives/TDDetect.h"
#include "images/BlockReader.h"
#include "images/Checksums.h"
#include "images/FolderCompare.h"
#include "images/ImageMaker.h"
#include "images/Mounter.h"
#include "images/Verifier.h"
#include "queue/TDScheduler.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QTimer>
#include <QUrl>

namespace {

QString fileName(const QString &path)
{
    return QFileInfo(path).fileName();
}

// Hands a worker's progress to the main thread at most every 50 ms (and
// always the end), so a fast disk can't flood the event loop.
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
    for (const auto &token : std::as_const(m_tokens))
        token->cancel();
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

void JobQueue::post(std::function<void()> fn)
{
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
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

void JobQueue::run(const QUuid &id)
{
    const int row = m_model->indexOf(id);
    if (row < 0 || m_model->at(row).state != JobState::running)
        return;
    const QJob job = m_model->at(row);
    // A burn is handed over only once its image has been looked at again.
    if (!job.kind.as<Jobs::BurnImage>())
        m_launched.insert(id);

    if (const auto *make = job.kind.as<Jobs::MakeImage>()) {
        const Jobs::MakeImage params = *make;
        background(id, std::make_shared<CancelToken>(),
                   [this, id, params](CancelToken *token, const std::function<void(double)> &progress) {
                       return makeImage(params, token, progress, [this, id](const QString &detail) {
                           post([this, id, detail] { update(id, std::nullopt, detail); });
                       });
                   });
    } else if (const auto *read = job.kind.as<Jobs::ReadDisc>()) {
        const Jobs::ReadDisc params = *read;
        QPointer<Deck> deck = params.deck ? deckAt(*params.deck) : nullptr;
        const std::shared_ptr<CancelToken> token = deck ? deck->beginRead(job.title) : std::make_shared<CancelToken>();
        const DiscLookup lookup = m_discLookup;
        background(
            id, token,
            [this, params, lookup, deck](CancelToken *token, const std::function<void(double)> &progress) {
                const std::optional<DiscSource> source = lookup(params.bsd);
                if (!source)
                    throw TDError::tool(QStringLiteral("The disc (") + params.bsd
                                        + QStringLiteral(") is no longer there."));
                const auto both = [this, progress, deck](double p) {
                    progress(p);
                    if (deck)
                        post([deck, p] {
                            if (deck)
                                deck->readProgress(p);
                        });
                };
                const DiscReader::Outcome outcome =
                    DiscReader::makeISO(source->info, source->device, params.output, throttled(both), token);
                QString text = QStringLiteral("Saved ") + fileName(params.output) + QStringLiteral(". ") + outcome.note;
                if (outcome.sha256)
                    text += QStringLiteral(" SHA-256 ") + *outcome.sha256;
                return text;
            },
            [deck](bool ok, const QString &message) {
                if (deck)
                    deck->endRead(ok, message);
            });
    } else if (const auto *burn = job.kind.as<Jobs::BurnImage>()) {
        runBurn(id, *burn);
    } else if (const auto *erase = job.kind.as<Jobs::Erase>()) {
        Deck *deck = deckAt(erase->deck);
        if (!deck) {
            finish(id, false, QStringLiteral("Deck ") + deckLetters[size_t(erase->deck)] + QStringLiteral(": ")
                       + TDMessages::noBurnerShort);
            return;
        }
        if (backToWaiting(id))
            return;
        deck->eraseDisc(erase->complete, m_demo, job.title, deckDone(id, deck));
        watchDeck(deck, id);
    } else if (const auto *sum = job.kind.as<Jobs::Checksum>()) {
        const QString file = sum->file;
        background(id, std::make_shared<CancelToken>(),
                   [this, file](CancelToken *token, const std::function<void(double)> &progress) {
                       const Digests digests = Checksums::compute(file, progress, token);
                       post([this, file, digests] { Q_EMIT checksumsComputed(file, digests); });
                       return QStringLiteral("MD5 ") + digests.md5 + QStringLiteral(" · SHA-256 ") + digests.sha256;
                   });
    } else if (const auto *verify = job.kind.as<Jobs::Verify>()) {
        const Jobs::Verify params = *verify;
        background(id, std::make_shared<CancelToken>(),
                   [this, params](CancelToken *token, const std::function<void(double)> &progress) {
                       const VerifyResult result = Verifier::compare(params.image, params.against, progress, token);
                       post([this, result] { Q_EMIT verified(result); });
                       if (!result.match)
                           throw TDError::tool(result.summary());
                       return result.summary();
                   });
    }
}

void JobQueue::runBurn(const QUuid &id, const Jobs::BurnImage &burn)
{
    // The image is looked at again off the main thread: it may have gone or
    // changed since it was queued.
    QPointer<JobQueue> self(this);
    m_pool.start([self, id, burn] {
        const std::optional<ImageInfo> info = ImageInfo::inspect(burn.image);
        QMetaObject::invokeMethod(
            self.data(),
            [self, id, burn, info] {
                const int row = self->m_model->indexOf(id);
                if (row < 0 || self->m_model->at(row).state != JobState::running)
                    return;
                if (!info) {
                    self->finish(id, false, fileName(burn.image) + QStringLiteral(" can't be read as a disc image."));
                    return;
                }
                Deck *deck = self->deckAt(burn.deck);
                if (!deck) {
                    self->finish(id, false, QStringLiteral("Deck ") + deckLetters[size_t(burn.deck)]
                                                + QStringLiteral(": ") + TDMessages::noBurnerShort);
                    return;
                }
                if (self->backToWaiting(id))
                    return;
                self->m_launched.insert(id);
                self->update(id, std::nullopt, QStringLiteral("Burning on Deck ") + deck->letter());
                deck->burnImage(*info, burn.test, burn.verify, burn.checksum, self->m_demo, self->m_model->at(row).title,
                                self->deckDone(id, deck));
                self->watchDeck(deck, id);
            },
            Qt::QueuedConnection);
    });
}

bool JobQueue::backToWaiting(const QUuid &id)
{
    const int row = m_model->indexOf(id);
    if (row < 0 || !notReady(m_model->at(row)))
        return false;
    // The tray changed during the stagger delay (a disc ejected or taken
    // out): the job waits for the deck again instead of failing.
    m_launched.remove(id);
    m_model->change(row, [](QJob &j) {
        j.state = JobState::waiting;
        j.startedAt.reset();
        j.detail.clear();
    });
    Q_EMIT changed();
    pump();
    return true;
}

std::function<void(bool, const QString &)> JobQueue::deckDone(const QUuid &id, Deck *deck)
{
    QPointer<JobQueue> self(this);
    QPointer<Deck> watched(deck);
    return [self, watched, id](bool ok, const QString &message) {
        if (!self)
            return;
        const bool cancelled = watched && watched->state() == Deck::State::stopped;
        self->post([self, id, ok, message, cancelled] {
            if (self)
                self->finish(id, ok, message, cancelled);
        });
    };
}

void JobQueue::watchDeck(Deck *deck, const QUuid &id)
{
    auto *timer = new QTimer(this);
    timer->setInterval(deckWatchMs);
    QPointer<Deck> watched(deck);
    connect(timer, &QTimer::timeout, this, [this, timer, watched, id] {
        const int row = m_model->indexOf(id);
        if (!watched || row < 0 || m_model->at(row).finished()) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        const QJob &j = m_model->at(row);
        if (std::abs(j.progress - watched->progress()) > 0.002)
            update(id, watched->progress(), std::nullopt);
        if (j.detail != watched->phase())
            update(id, std::nullopt, watched->phase());
    });
    timer->start();
}

void JobQueue::background(const QUuid &id, std::shared_ptr<CancelToken> token, Work work,
                          std::function<void(bool, const QString &)> after)
{
    m_tokens.insert(id, token);
    QPointer<JobQueue> self(this);
    const auto progress = throttled([self, id](double p) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, id, p] {
                if (self)
                    self->update(id, p, std::nullopt);
            },
            Qt::QueuedConnection);
    });
    m_pool.start([self, id, token, work = std::move(work), after = std::move(after), progress] {
        bool ok = false, cancelled = false;
        QString message;
        QString toolWords;
        try {
            message = work(token.get(), progress);
            ok = true;
        } catch (const TDError &e) {
            cancelled = e.kind() == TDError::Kind::cancelled;
            message = cancelled ? QStringLiteral("Stopped.") : e.text();
            toolWords = e.detail();
        } catch (const std::exception &e) {
            message = QString::fromLocal8Bit(e.what());
        }
        QMetaObject::invokeMethod(
            self.data(),
            [self, id, ok, cancelled, message, toolWords, after] {
                if (!self)
                    return;
                if (after)
                    after(ok, message);
                self->post([self, id, ok, message, cancelled, toolWords] {
                    if (self)
                        self->finish(id, ok, message, cancelled, toolWords);
                });
            },
            Qt::QueuedConnection);
    });
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
    m_tokens.remove(id);
    m_launched.remove(id);
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
    // Still behind its stagger delay: nothing has been handed over, so it
    // stops here and its launch finds it finished.
    if (!m_launched.contains(id)) {
        finish(id, false, QStringLiteral("Stopped."), true);
        return;
    }
    if (const auto token = m_tokens.value(id))
        token->cancel();
    if (const std::optional<int> index = job.kind.deck())
        if (Deck *deck = deckAt(*index); deck && deck->busy())
            deck->stop();
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

QString JobQueue::makeImage(const Jobs::MakeImage &job, CancelToken *token, const std::function<void(double)> &progress,
                            const std::function<void(const QString &)> &detail)
{
    const double makeShare = job.check ? 0.7 : 1.0;
    ImageMaker::make(job.folder, job.output, job.format, job.volume,
                     [&](double p) { progress(p * makeShare); }, token);
    const QString saved = QStringLiteral("Saved ") + fileName(job.output) + QStringLiteral(" (")
        + fmtBytes(fileSize(job.output).value_or(0)) + QStringLiteral(")");
    if (!job.check)
        return saved + QStringLiteral(".");

    detail(QStringLiteral("Checking the new image against the folder"));
    const MountedImage mounted = Mounter::attach(job.output, false, true);
    // The check is over either way; an image left mounted would be harmless.
    const auto detach = [&mounted] {
        try {
            Mounter::detach(mounted.device, false);
        } catch (const TDError &) {
        }
    };
    if (mounted.mountPoints.isEmpty()) {
        detach();
        throw TDError::tool(QStringLiteral("The new image didn't open for checking."));
    }
    FolderCompareResult result;
    try {
        result = FolderCompare::compare(job.folder, mounted.mountPoints.first(),
                                        [&](double p) { progress(0.7 + p * 0.3); }, token);
    } catch (...) {
        detach();
        throw;
    }
    detach();
    if (!result.ok())
        throw TDError::tool(result.summary());
    return saved + QStringLiteral(". Checked: ") + result.summary();
}
