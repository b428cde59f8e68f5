#include "app/CopyDiscModel.h"

#include "base/OffMain.h"
#include "drives/Deck.h"
#include "images/DiscReader.h"
#include "images/ImageMaker.h"
#include "queue/JobQueue.h"
#include "audio/AudioPrep.h"
#include "base/Decks.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

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
            // An audio CD's tracks are read after the disc itself is known.
            const std::pair<QString, int> disc = now ? std::pair(now->bsdName.value_or(QString()), now->audioTracks)
                                                     : std::pair(QString(), 0);
            if (std::exchange(m_deckDiscs[i], disc) != disc)
                look(false);
        });
    }
    connect(queue, &JobQueue::jobEnded, this, [this](const QJob &job) {
        if (!m_reading || job.id != m_reading->job)
            return;
        const Pending read = *std::exchange(m_reading, std::nullopt);
        // A read that kept its copy despite unreadable sectors waits for Copy Anyway.
        const bool kept = job.state == JobState::failed && QFileInfo::exists(read.cue);
        m_kept = kept ? std::optional(read) : std::nullopt;
        const QString unreadable = kept ? job.detail : QString();
        setField(this, m_unreadable, unreadable, &CopyDiscModel::unreadableChanged);
        if (read.stack && job.state == JobState::done)
            Q_EMIT stackReady(read.cue);
    });
}

QVariantList CopyDiscModel::discsList() const
{
    QVariantList out;
    for (const DiscInfo &disc : m_discs)
        out.append(QVariantMap{{QStringLiteral("bsdName"), disc.bsdName},
                               {QStringLiteral("label"), masterDeck(disc.bsdName) ? *disc.volumeName : disc.label()},
                               {QStringLiteral("volumeName"), disc.volumeName.value_or(QString())},
                               {QStringLiteral("device"), disc.rawPath()},
                               {QStringLiteral("master"), masterDeck(disc.bsdName).has_value()}});
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
    // Looks can overlap; only the latest one's answer counts. A quiet look
    // (a deck's disc changed) can overtake the user's, so the answer the user
    // asked for is owed until some look comes back.
    m_answerOwed = m_answerOwed || logIt;
    offMain(
        this, [paths = unlistedDrives()] { return DiscReader::opticalDiscs(paths); },
        [this, look = ++m_looks](QList<DiscInfo> found) {
            if (look != m_looks)
                return;
            // A burner busy with its own reading may not answer the look;
            // the disc its deck still holds stays listed.
            for (const DiscInfo &known : std::as_const(m_discs)) {
                const auto same = [&](const DiscInfo &d) { return d.bsdName == known.bsdName; };
                const bool held = std::any_of(m_deckDiscs.cbegin(), m_deckDiscs.cend(),
                                              [&](const auto &disc) { return disc.first == known.bsdName; });
                if (held && std::none_of(found.cbegin(), found.cend(), same))
                    found.append(known);
            }
            std::sort(found.begin(), found.end(), [](const DiscInfo &a, const DiscInfo &b) { return a.bsdName < b.bsdName; });
            applyDiscs(withMasters(found), std::exchange(m_answerOwed, false));
        });
}

std::optional<int> CopyDiscModel::masterDeck(const QString &bsd) const
{
    if (!bsd.startsWith(QLatin1String("deck:")))
        return std::nullopt;
    return bsd.mid(5).toInt();
}

QList<DiscInfo> CopyDiscModel::withMasters(QList<DiscInfo> found) const
{
    for (const Deck *d : std::as_const(m_decks)) {
        const std::optional<DriveSnapshot> &s = d->snapshot();
        if (!s || s->audioTracks <= 0)
            continue;
        const QString held = s->bsdName.value_or(QString());
        found.removeIf([&](const DiscInfo &disc) { return !held.isEmpty() && disc.bsdName == held; });
        DiscInfo master;
        master.bsdName = QStringLiteral("deck:") + QString::number(d->index());
        master.mediaKind = QStringLiteral("CD");
        master.mediaName = QStringLiteral("Audio CD");
        master.volumeKind = QStringLiteral("cdda");
        master.volumeName = QStringLiteral("Audio CD in Deck %1 (%2 audio track%3)")
                                .arg(deckLetters[size_t(d->index())])
                                .arg(s->audioTracks)
                                .arg(s->audioTracks == 1 ? QString() : QStringLiteral("s"));
        found.prepend(master);
    }
    return found;
}

bool CopyDiscModel::masterChosen() const { return masterDeck(m_discBSD).has_value(); }

QString CopyDiscModel::cacheFolder() { return AudioPrep::cacheDir() + QStringLiteral("/Masters"); }

void CopyDiscModel::copyAnyway()
{
    if (!m_kept) {
        m_log(QStringLiteral("No master copy is waiting to be burned."), {});
        return;
    }
    const Pending kept = *std::exchange(m_kept, std::nullopt);
    setField(this, m_unreadable, QString(), &CopyDiscModel::unreadableChanged);
    m_log(QStringLiteral("Copying ") + fileNameOf(kept.cue) + QStringLiteral(" anyway, with silence where it couldn't be read."), {});
    if (kept.stack)
        Q_EMIT stackReady(kept.cue);
    else
        Q_EMIT burnNow(kept.cue, kept.deck);
}

void CopyDiscModel::setStack(bool on) { setField(this, m_stack, on, &CopyDiscModel::stackChanged); }

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
    if (const std::optional<int> from = masterDeck(m_discBSD)) {
        if (output.isEmpty())
            QDir().mkpath(cacheFolder());
        const QString cue = output.isEmpty()
            ? cacheFolder() + QStringLiteral("/Master ")
                + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")) + QStringLiteral(".cue")
            : output;
        const std::optional<QUuid> job = m_queue->add(Jobs::ReadDisc{m_discBSD, from, cue, true},
                                                      QStringLiteral("Read the CD in Deck ") + deckLetters[size_t(*from)]
                                                          + QStringLiteral(" into ") + fileNameOf(cue));
        if (!job)
            return;
        m_reading = Pending{*job, cue, from, m_stack};
        if (!m_stack)
            Q_EMIT imageQueued(cue, *job, from);
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
