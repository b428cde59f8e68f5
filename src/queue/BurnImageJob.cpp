#include "queue/BurnImageJob.h"

#include "base/OffMain.h"
#include "drives/Deck.h"

#include <QFileInfo>

BurnImageJob::BurnImageJob(const Jobs::BurnImage &params, Deck *deck, bool demo, const QString &title, Ready ready,
                           QThreadPool *pool, QObject *parent)
    : DeckJob(deck, params.deck, std::move(ready), parent)
    , m_params(params)
    , m_demo(demo)
    , m_title(title)
    , m_pool(pool)
{
}

void BurnImageJob::start()
{
    offMain(
        this, [image = m_params.image] { return ImageInfo::inspect(image); },
        [this](const std::optional<ImageInfo> &info) { burn(info); }, m_pool);
}

void BurnImageJob::burn(const std::optional<ImageInfo> &info)
{
    if (ended())
        return; // stopped while the image was looked at
    if (!info) {
        end(JobOutcome::failed(QFileInfo(m_params.image).fileName() + QStringLiteral(" can't be read as a disc image.")));
        return;
    }
    if (!handOver())
        return;
    Q_EMIT detailChanged(QStringLiteral("Burning on Deck ") + m_deck->letter());
    m_deck->burnImage(*info, m_params.test, m_params.verify, m_params.checksum, m_demo, m_title, deckDone());
    watchDeck();
}
