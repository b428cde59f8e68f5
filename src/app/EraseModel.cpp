#include "app/EraseModel.h"

#include "app/CardSupport.h"
#include "drives/TDDetect.h"
#include "queue/JobQueue.h"

#include <algorithm>

EraseModel::EraseModel(JobQueue *queue, QObject *parent)
    : QObject(parent)
    , m_queue(queue)
{
}

void EraseModel::setDeck(int deck) { setField(this, m_deck, std::clamp(deck, 0, maxDecks - 1), &EraseModel::deckChanged); }
void EraseModel::setComplete(bool on) { setField(this, m_complete, on, &EraseModel::completeChanged); }

void EraseModel::erase()
{
    m_queue->add(Jobs::Erase{m_deck, m_complete},
                 (m_complete ? QStringLiteral("Erase (complete)") : QStringLiteral("Quick erase"))
                     + QStringLiteral(" on Deck ") + deckLetters[size_t(m_deck)]);
}
