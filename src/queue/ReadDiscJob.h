#pragma once
// Copies a disc into an image file: a data disc into an ISO, an audio or
// mixed CD in a deck into a BIN/CUE. When the drive is one of our decks, the
// deck shows the copy: it is marked reading at the start, follows the
// progress and hears the end one event before the queue does.
//
// Threading, ownership and cancelling as for every WorkerJob (QueuedJob.h).
// The token is the deck's when there is one, so the deck's own stop button
// stops the copy too; cancel() also stops a busy deck. The deck is held
// weakly.

#include "images/DiscReader.h"
#include "queue/Job.h"
#include "queue/QueuedJob.h"

class ReadDiscJob : public WorkerJob
{
    Q_OBJECT

public:
    // Where a copy reads from: the disc's description and the device to read.
    struct DiscSource
    {
        DiscInfo info;
        QString device;
    };
    // Called on the worker when the copy begins; nothing when the disc is gone.
    using DiscLookup = std::function<std::optional<DiscSource>(const QString &bsd)>;

    ReadDiscJob(const Jobs::ReadDisc &params, Deck *deck, const QString &title, DiscLookup lookup, QThreadPool *pool,
                QObject *parent = nullptr);
    void start() override;
    void cancel() override;

protected:
    void workEnded(const JobOutcome &outcome) override;

private:
    // An audio master into a BIN/CUE, through the deck's CD reader.
    void readMaster();

    const Jobs::ReadDisc m_params;
    QPointer<Deck> m_deck;
    const QString m_title;
    const DiscLookup m_lookup;
};
