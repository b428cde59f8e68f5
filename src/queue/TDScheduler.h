#pragma once
// Which waiting jobs may start now, which keep waiting (and why, in the words
// shown next to the job) and which can never run. Pure: it reads the list and
// two questions about the outside world and changes nothing, so it may be
// called from any thread; the job queue applies its decision.
//
// Policy: jobs run in list order per deck or drive; jobs for different decks
// never block each other; computer-only jobs run at most maxComputerJobs at a
// time; a job that depends on another starts only once that one is done.

#include "queue/Job.h"

#include <QHash>
#include <QList>
#include <QSet>

#include <functional>

namespace TDScheduler {

struct Decision
{
    QList<QUuid> start;          // in list order
    QHash<QUuid, QString> wait;  // the reason to show
    QHash<QUuid, QString> cancel; // the reason to record as the detail
    bool operator==(const Decision &) const = default;
};

using DeckBusy = std::function<bool(int deck)>;
using NotReady = std::function<std::optional<QString>(const QJob &job)>;

// `jobs` is the whole queue in display order, finished jobs included (they
// only matter as dependency targets). Every waiting job lands in exactly one
// of the three collections.
Decision plan(const QList<QJob> &jobs, const DeckBusy &deckBusy, const NotReady &notReady = {},
              int maxComputerJobs = 1);

// Why a job of this kind can't be queued at all, or nothing when it can.
std::optional<QString> refusal(const JobKind &kind, const QSet<int> &decksWithDrive, bool demo);

} // namespace TDScheduler
