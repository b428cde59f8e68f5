#pragma once
// The engine's types as the window sees them. The engine knows nothing of
// QML; the application module registers them here so screens can name their
// enums and type their properties.

#include "audio/DiscProject.h"
#include "audio/TrackListModel.h"
#include "drives/Deck.h"
#include "queue/JobListModel.h"
#include "queue/JobQueue.h"

#include <QtQml/qqml.h>

struct DeckForeign
{
    Q_GADGET
    QML_FOREIGN(Deck)
    QML_NAMED_ELEMENT(Deck)
    QML_UNCREATABLE("Decks are created by the application model")
};

struct DiscProjectForeign
{
    Q_GADGET
    QML_FOREIGN(DiscProject)
    QML_NAMED_ELEMENT(DiscProject)
    QML_UNCREATABLE("Projects belong to the application model")
};

struct TrackListModelForeign
{
    Q_GADGET
    QML_FOREIGN(TrackListModel)
    QML_NAMED_ELEMENT(TrackListModel)
};

struct JobListModelForeign
{
    Q_GADGET
    QML_FOREIGN(JobListModel)
    QML_NAMED_ELEMENT(JobListModel)
    QML_UNCREATABLE("The job list belongs to the queue")
};

struct JobQueueForeign
{
    Q_GADGET
    QML_FOREIGN(JobQueue)
    QML_NAMED_ELEMENT(JobQueue)
    QML_UNCREATABLE("The queue belongs to the application model")
};
