#pragma once
// Erases the rewritable disc in a deck, quickly or completely. Threading,
// ownership and cancelling as for every DeckJob (QueuedJob.h); an erase that
// has begun can't be stopped and finishes on its own.

#include "queue/Job.h"
#include "queue/QueuedJob.h"

class EraseJob : public DeckJob
{
    Q_OBJECT

public:
    EraseJob(const Jobs::Erase &params, Deck *deck, bool demo, const QString &title, Ready ready,
             QObject *parent = nullptr);
    void start() override;

private:
    const bool m_complete;
    const bool m_demo;
    const QString m_title;
};
