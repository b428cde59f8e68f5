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

DesktopNote WorkNotices::audioBurn(const QList<const Deck *> &decks)
{
    // The failed decks are the news when there are any.
    QList<const Deck *> named;
    for (const Deck *deck : decks) {
        if (deck->state() != Deck::State::done)
            named.append(deck);
    }
    const bool ok = named.isEmpty();
    if (ok)
        named = decks;
    QStringList letters;
    for (const Deck *deck : std::as_const(named))
        letters.append(deck->letter());
    QString where = QStringLiteral(" on Deck ") + letters.constFirst();
    if (letters.size() > 1) {
        const QString last = letters.takeLast();
        where = QStringLiteral(" on Decks ") + letters.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
    }
    if (decks.size() == 1)
        return {(ok ? QStringLiteral("Burn finished") : QStringLiteral("Burn failed")) + where, decks.first()->phase(), !ok};
    QStringList body;
    for (const Deck *deck : decks)
        body.append(QStringLiteral("Deck ") + deck->letter() + QStringLiteral(": ") + deck->phase());
    return {(ok ? QStringLiteral("Burn finished") : QStringLiteral("Burn failed")) + where,
            body.join(QLatin1Char('\n')), !ok};
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
