#pragma once
// Burns a disc image on a deck. The image is looked at again first, off the
// main thread (it may have gone or changed since it was queued); then the job
// asks whether the deck will take it and hands the burn over.
//
// Threading, ownership and cancelling as for every DeckJob (QueuedJob.h).
// `pool` runs the look at the image; it is not owned.

#include "queue/Job.h"
#include "queue/QueuedJob.h"

class BurnImageJob : public DeckJob
{
    Q_OBJECT

public:
    BurnImageJob(const Jobs::BurnImage &params, Deck *deck, bool demo, const QString &title, Ready ready,
                 QThreadPool *pool, QObject *parent = nullptr);
    void start() override;

private:
    void burn(const std::optional<ImageInfo> &info);

    const Jobs::BurnImage m_params;
    const bool m_demo;
    const QString m_title;
    QThreadPool *m_pool;
};
