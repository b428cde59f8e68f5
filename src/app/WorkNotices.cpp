#include "app/WorkNotices.h"

#include "app/CardSupport.h"
#include "base/Decks.h"
#include "drives/Deck.h"

namespace {

QString onDeck(int deck)
{
    return QStringLiteral(" on Deck ") + deckLetters[size_t(std::clamp(deck, 0, maxDecks - 1))];
}

// The summary of a job that ended done (`ok`) or failed.
QString jobSummary(const JobKind &kind, bool ok)
{
    if (const auto *make = kind.as<Jobs::MakeImage>())
        return (ok ? QStringLiteral("Image made: ") : QStringLiteral("Image not made: ")) + fileNameOf(make->output);
    if (const auto *read = kind.as<Jobs::ReadDisc>())
        return (ok ? QStringLiteral("Disc copied: ") : QStringLiteral("Disc not copied: ")) + fileNameOf(read->output);
    if (const auto *burn = kind.as<Jobs::BurnImage>()) {
        if (burn->test)
            return (ok ? QStringLiteral("Test burn passed") : QStringLiteral("Test burn failed")) + onDeck(burn->deck);
        return (ok ? QStringLiteral("Image burned") : QStringLiteral("Image burn failed")) + onDeck(burn->deck);
    }
    if (const auto *erase = kind.as<Jobs::Erase>())
        return (ok ? QStringLiteral("Disc erased") : QStringLiteral("Erase failed")) + onDeck(erase->deck);
    if (const auto *sum = kind.as<Jobs::Checksum>())
        return (ok ? QStringLiteral("Checksums ready: ") : QStringLiteral("Checksums failed: ")) + fileNameOf(sum->file);
    const auto *verify = kind.as<Jobs::Verify>();
    Q_ASSERT(verify);
    return (ok ? QStringLiteral("Verified: ") : QStringLiteral("Verify failed: ")) + fileNameOf(verify->image);
}

} // namespace

DesktopNote WorkNotices::audioBurn(const Deck &deck)
{
    const bool ok = deck.state() == Deck::State::done;
    return {(ok ? QStringLiteral("Burn finished") : QStringLiteral("Burn failed")) + onDeck(deck.index()),
            deck.phase(), !ok};
}

DesktopNote WorkNotices::copiesDone(int count)
{
    return {QString::number(count) + (count == 1 ? QStringLiteral(" copy burned") : QStringLiteral(" copies burned")),
            QStringLiteral("Copies: all ") + QString::number(count) + QStringLiteral(" copies are done."), false};
}

std::optional<DesktopNote> WorkNotices::jobEnded(const QJob &job)
{
    if (job.state != JobState::done && job.state != JobState::failed)
        return std::nullopt;
    const bool ok = job.state == JobState::done;
    return DesktopNote{jobSummary(job.kind, ok), job.detail, !ok};
}
