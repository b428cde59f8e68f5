#include "queue/EraseJob.h"

#include "drives/Deck.h"

EraseJob::EraseJob(const Jobs::Erase &params, Deck *deck, bool demo, const QString &title, Ready ready,
                   QObject *parent)
    : DeckJob(deck, params.deck, std::move(ready), parent)
    , m_complete(params.complete)
    , m_demo(demo)
    , m_title(title)
{
}

void EraseJob::start()
{
    if (!handOver())
        return;
    m_deck->eraseDisc(m_complete, m_demo, m_title, deckDone());
    watchDeck();
}
