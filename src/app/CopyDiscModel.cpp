#include "app/CopyDiscModel.h"

#include "base/OffMain.h"
#include "drives/Deck.h"
#include "images/DiscReader.h"
#include "images/ImageMaker.h"
#include "queue/JobQueue.h"

#include <algorithm>

CopyDiscModel::CopyDiscModel(JobQueue *queue, const QList<Deck *> &decks, LogFn log, QObject *parent)
    : QObject(parent)
    , m_queue(queue)
    , m_decks(decks)
    , m_log(std::move(log))
    , m_deckDiscs(decks.size())
{
    for (qsizetype i = 0; i < decks.size(); ++i) {
        connect(decks[i], &Deck::snapshotChanged, this, [this, i] {
            const std::optional<DriveSnapshot> &now = m_decks[i]->snapshot();
            // A disc still being read by its burner is not gone yet.
            if (now && now->mediaState == MediaState::inTransition)
                return;
            const QString disc = now ? now->bsdName.value_or(QString()) : QString();
            if (std::exchange(m_deckDiscs[i], disc) != disc)
                look(false);
        });
    }
}

QVariantList CopyDiscModel::discsList() const
{
    QVariantList out;
    for (const DiscInfo &disc : m_discs)
        out.append(QVariantMap{{QStringLiteral("bsdName"), disc.bsdName},
                               {QStringLiteral("label"), disc.label()},
                               {QStringLiteral("volumeName"), disc.volumeName.value_or(QString())},
                               {QStringLiteral("device"), disc.rawPath()}});
    return out;
}

void CopyDiscModel::setDiscBSD(const QString &bsd) { setField(this, m_discBSD, bsd, &CopyDiscModel::discBSDChanged); }

QStringList CopyDiscModel::unlistedDrives() const
{
    // A burner given by its path has no udev record: its deck names its disc.
    QStringList paths;
    for (const Deck *d : std::as_const(m_decks)) {
        if (d->snapshot() && d->snapshot()->bsdName.value_or(QString()).startsWith(QLatin1Char('/')))
            paths << *d->snapshot()->bsdName;
    }
    return paths;
}

void CopyDiscModel::look(bool logIt)
{
    // Looks can overlap; only the latest one's answer counts.
    offMain(
        this, [paths = unlistedDrives()] { return DiscReader::opticalDiscs(paths); },
        [this, logIt, look = ++m_looks](QList<DiscInfo> found) {
            if (look != m_looks)
                return;
            // A burner busy with its own reading may not answer the look;
            // the disc its deck still holds stays listed.
            for (const DiscInfo &known : std::as_const(m_discs)) {
                const auto same = [&](const DiscInfo &d) { return d.bsdName == known.bsdName; };
                if (m_deckDiscs.contains(known.bsdName) && std::none_of(found.cbegin(), found.cend(), same))
                    found.append(known);
            }
            std::sort(found.begin(), found.end(), [](const DiscInfo &a, const DiscInfo &b) { return a.bsdName < b.bsdName; });
            applyDiscs(found, logIt);
        });
}

void CopyDiscModel::refreshDiscs() { look(true); }

void CopyDiscModel::lookForDiscsQuietly()
{
    if (m_discs.isEmpty())
        look(false);
}

void CopyDiscModel::applyDiscs(const QList<DiscInfo> &found, bool logIt)
{
    if (m_discs != found) {
        m_discs = found;
        Q_EMIT discsChanged();
    }
    const bool stillThere = std::any_of(found.cbegin(), found.cend(),
                                        [&](const DiscInfo &d) { return d.bsdName == m_discBSD; });
    if (!stillThere)
        setDiscBSD(found.isEmpty() ? QString() : found.first().bsdName);
    if (!logIt)
        return;
    if (found.isEmpty()) {
        m_log(QStringLiteral("No CD or DVD found in any drive."), {});
        return;
    }
    QStringList labels;
    for (const DiscInfo &d : found)
        labels.append(d.label());
    m_log(QStringLiteral("Discs found: ") + labels.join(QStringLiteral(" · ")), {});
}

void CopyDiscModel::copy(const QString &output)
{
    const auto disc = std::find_if(m_discs.cbegin(), m_discs.cend(),
                                   [&](const DiscInfo &d) { return !m_discBSD.isEmpty() && d.bsdName == m_discBSD; });
    if (disc == m_discs.cend()) {
        m_log(m_discs.isEmpty()
                  ? QStringLiteral("No CD or DVD is in any drive. Insert the disc to copy, then click Look for Discs.")
                  : QStringLiteral("Choose the disc to copy."),
              {});
        return;
    }
    std::optional<int> deck;
    for (const Deck *d : std::as_const(m_decks)) {
        if (d->snapshot() && d->snapshot()->bsdName == m_discBSD) {
            deck = d->index();
            break;
        }
    }
    const std::optional<QUuid> job =
        m_queue->add(Jobs::ReadDisc{m_discBSD, deck, output},
                     QStringLiteral("Copy ") + disc->volumeName.value_or(QStringLiteral("disc")) + QStringLiteral(" to ")
                         + fileNameOf(output));
    if (job)
        Q_EMIT imageQueued(output, *job, deck);
}

QString CopyDiscModel::imageName() const
{
    const auto disc = std::find_if(m_discs.cbegin(), m_discs.cend(),
                                   [&](const DiscInfo &d) { return d.bsdName == m_discBSD; });
    return ImageMaker::volumeName(disc != m_discs.cend() && disc->volumeName ? *disc->volumeName
                                                                              : QStringLiteral("Disc"));
}
