#include "queue/TDScheduler.h"

#include "drives/TDDetect.h"

namespace TDScheduler {

Decision plan(const QList<QJob> &jobs, const DeckBusy &deckBusy, const NotReady &notReady, int maxComputerJobs)
{
    Decision decision;
    QSet<QString> held;
    int computerRunning = 0;
    for (const QJob &job : jobs) {
        if (job.state != JobState::running)
            continue;
        if (const auto resource = job.kind.resource())
            held.insert(*resource);
        else
            ++computerRunning;
    }

    for (const QJob &job : jobs) {
        if (job.state != JobState::waiting)
            continue;
        const std::optional<QString> resource = job.kind.resource();

        if (job.dependsOn) {
            const auto need = std::find_if(jobs.cbegin(), jobs.cend(),
                                           [&](const QJob &other) { return other.id == *job.dependsOn; });
            if (need == jobs.cend()) {
                decision.cancel.insert(job.id, QStringLiteral("Skipped: the job it needed was removed."));
                continue;
            }
            if (need->state == JobState::failed || need->state == JobState::cancelled) {
                decision.cancel.insert(job.id, QStringLiteral("Skipped: ") + quotedTitle(need->title)
                                                   + QStringLiteral(" didn't finish."));
                continue;
            }
            if (need->state != JobState::done) {
                decision.wait.insert(job.id, QStringLiteral("Starts after ") + quotedTitle(need->title));
                // It keeps its place on the deck: later jobs there wait behind it.
                if (resource)
                    held.insert(*resource);
                continue;
            }
        }

        if (!resource) {
            if (computerRunning >= maxComputerJobs) {
                decision.wait.insert(job.id, QStringLiteral("Waits for the job before it"));
            } else {
                decision.start.append(job.id);
                ++computerRunning;
            }
            continue;
        }

        const std::optional<int> deck = job.kind.deck();
        const QString name = deck ? QStringLiteral("Deck ") + deckLetters[size_t(*deck)] : QStringLiteral("the drive");
        if (held.contains(*resource)) {
            decision.wait.insert(job.id, QStringLiteral("Waits for ") + name + QStringLiteral(" (a job before it uses it)"));
            continue;
        }
        held.insert(*resource);
        if (deck && deckBusy && deckBusy(*deck)) {
            decision.wait.insert(job.id, name + QStringLiteral(" is busy with an audio CD"));
            continue;
        }
        if (notReady) {
            if (const std::optional<QString> reason = notReady(job)) {
                decision.wait.insert(job.id, *reason);
                continue;
            }
        }
        decision.start.append(job.id);
    }
    return decision;
}

std::optional<QString> refusal(const JobKind &kind, const QSet<int> &decksWithDrive, bool demo)
{
    const std::optional<int> deck = kind.deck();
    if (!deck)
        return std::nullopt;
    // Simulated burns and erases need no burner; a disc copy always needs a real drive.
    if (demo && kind.action() != TDAction::readDisc)
        return std::nullopt;
    if (decksWithDrive.isEmpty())
        return TDMessages::noBurner;
    if (decksWithDrive.contains(*deck))
        return std::nullopt;
    return QStringLiteral("Deck ") + deckLetters[size_t(*deck)]
        + QStringLiteral(" has no burner. Pick a deck that shows a burner, or plug one in (straight into the "
                         "computer) and click Refresh Drives.");
}

} // namespace TDScheduler
