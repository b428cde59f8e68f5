#include "queue/ReadDiscJob.h"

#include "base/CancelToken.h"
#include "base/TDError.h"
#include "drives/Deck.h"
#include "images/MasterCopy.h"

#include <QFileInfo>

#include <cerrno>

ReadDiscJob::ReadDiscJob(const Jobs::ReadDisc &params, Deck *deck, const QString &title, DiscLookup lookup,
                         QThreadPool *pool, QObject *parent)
    : WorkerJob(pool, parent)
    , m_params(params)
    , m_deck(deck)
    , m_title(title)
    , m_lookup(std::move(lookup))
{
}

void ReadDiscJob::start()
{
    if (m_params.master) {
        readMaster();
        return;
    }
    const std::shared_ptr<CancelToken> token = m_deck ? m_deck->beginRead(m_title) : std::make_shared<CancelToken>();
    if (m_deck)
        connect(this, &QueuedJob::progressed, m_deck.data(), &Deck::readProgress);
    run(token, [params = m_params, lookup = m_lookup](CancelToken *token, const std::function<void(double)> &progress) {
        const std::optional<DiscSource> source = lookup(params.bsd);
        if (!source)
            throw TDError::tool(QStringLiteral("The disc (") + params.bsd + QStringLiteral(") is no longer there."));
        const DiscReader::Outcome outcome = DiscReader::makeISO(source->info, source->device, params.output, progress, token);
        QString text = QStringLiteral("Saved ") + QFileInfo(params.output).fileName() + QStringLiteral(". ") + outcome.note;
        if (outcome.sha256)
            text += QStringLiteral(" SHA-256 ") + *outcome.sha256;
        return text;
    });
}

void ReadDiscJob::readMaster()
{
    // The reader is made before the deck turns busy: a busy burner has none.
    std::shared_ptr<CdReader> reader = m_deck ? m_deck->openCd() : nullptr;
    const std::shared_ptr<CancelToken> token = m_deck ? m_deck->beginRead(m_title) : std::make_shared<CancelToken>();
    if (m_deck)
        connect(this, &QueuedJob::progressed, m_deck.data(), &Deck::readProgress);
    run(token, [reader, output = m_params.output](CancelToken *token, const std::function<void(double)> &progress) {
        if (!reader)
            throw TDError::refused(QStringLiteral("There is no CD to copy in that burner."));
        MasterCopy::Outcome outcome;
        try {
            outcome = MasterCopy::read(*reader, output, progress, token);
        } catch (const TDError &e) {
            if (e.kind() == TDError::Kind::readFailed && e.errorNumber() == ENOMEDIUM)
                throw TDError::refused(QStringLiteral("The CD was taken out while it was being read, so nothing was kept."));
            throw;
        }
        const QString name = QFileInfo(output).fileName();
        const qsizetype tracks = outcome.sheet.tracks.size();
        if (!outcome.unreadable.isEmpty())
            throw TDError::refused(MasterCopy::unreadableText(outcome.unreadable) + QStringLiteral(" ") + name
                                   + QStringLiteral(" is kept with silence there; it is burned only with Copy Anyway."));
        return QStringLiteral("Read %1 track%2 into %3; every sector read twice and the same both times.")
            .arg(tracks)
            .arg(tracks == 1 ? QString() : QStringLiteral("s"), name);
    });
}

void ReadDiscJob::cancel()
{
    WorkerJob::cancel();
    if (m_deck && m_deck->busy())
        m_deck->stop();
}

void ReadDiscJob::workEnded(const JobOutcome &outcome)
{
    if (m_deck)
        m_deck->endRead(outcome.ok, outcome.message);
}
