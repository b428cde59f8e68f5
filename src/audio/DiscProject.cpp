#include "audio/DiscProject.h"

#include "audio/AudioPrep.h"
#include "base/CancelToken.h"
#include "base/Format.h"
#include "base/OffMain.h"
#include "platform/sheets/DiscSheet.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <optional>

DiscProject::DiscProject(QObject *parent)
    : QObject(parent)
{
    m_workers.setMaxThreadCount(1);
    m_workers.setThreadPriority(QThread::LowPriority);
}

DiscProject::~DiscProject()
{
    for (const auto &token : std::as_const(m_measuring))
        token->cancel();
    m_workers.waitForDone();
}

void DiscProject::setAlbum(const QString &album)
{
    if (album == m_album)
        return;
    m_album = album;
    Q_EMIT albumChanged();
}

void DiscProject::setArtist(const QString &artist)
{
    if (artist == m_artist)
        return;
    m_artist = artist;
    Q_EMIT artistChanged();
}

QString DiscProject::normalCode(const QString &typed)
{
    static const QRegularExpression separators(QStringLiteral("[\\s-]"));
    return typed.toUpper().remove(separators);
}

QString DiscProject::codeProblem(const QString &typed, bool catalog)
{
    const QString code = normalCode(typed);
    if (code.isEmpty())
        return {};
    if (QString problem = DiscSheet::codeProblem(code, catalog); !problem.isEmpty())
        return problem;
    if (!catalog)
        return {};
    // EAN-13: the first twelve digits weighed 1, 3, 1, 3, ...; the last
    // brings their sum to a multiple of ten.
    int sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += code[i].digitValue() * (i % 2 ? 3 : 1);
    const int check = (10 - sum % 10) % 10;
    if (code[12].digitValue() == check)
        return {};
    return QStringLiteral("\"%1\" isn't right: its check digit (the last) should be %2.").arg(code).arg(check);
}

bool DiscProject::setCatalog(const QString &typed)
{
    if (!codeProblem(typed, true).isEmpty())
        return false;
    const QString code = normalCode(typed);
    if (code != m_catalog) {
        m_catalog = code;
        Q_EMIT catalogChanged();
    }
    return true;
}

void DiscProject::setGapSeconds(double seconds)
{
    // Not a number can't come from the knob; treat it as its reset value.
    const double g = std::isfinite(seconds) ? qBound(0.0, std::round(seconds), 5.0) : 2.0;
    if (g == m_gap)
        return;
    m_gap = g;
    Q_EMIT gapSecondsChanged();
    Q_EMIT totalSecondsChanged();
}

bool TrackItem::endsEarly() const
{
    return seconds < headerSeconds - AudioPrep::earlyEndSeconds;
}

QString TrackItem::titleFor(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

void DiscProject::changeTracks(bool totalToo)
{
    Q_EMIT tracksChanged();
    if (totalToo)
        Q_EMIT totalSecondsChanged();
}

double DiscProject::totalSeconds() const
{
    double sum = 0;
    for (const TrackItem &t : m_tracks)
        sum += t.seconds;
    return sum + m_gap * double(std::max<qsizetype>(m_tracks.size() - 1, 0));
}

QString DiscProject::totalText() const
{
    return fmt(totalSeconds());
}

QString DiscProject::displayName() const
{
    return m_album.isEmpty() ? QStringLiteral("Untitled disc") : m_album;
}

namespace {
struct ReadBatch
{
    QList<TrackItem> items;
    QStringList notAudio;
    QStringList unreadable;
};

ReadBatch readTracks(const QStringList &paths)
{
    ReadBatch batch;
    for (const QString &path : paths) {
        if (const auto seconds = AudioPrep::duration(path)) {
            batch.items.append({QUuid::createUuid(), path, TrackItem::titleFor(path), *seconds, *seconds, {}, {}});
            continue;
        }
        const QFileInfo file(path);
        (file.isFile() && file.isReadable() ? batch.notAudio : batch.unreadable).append(file.fileName());
    }
    return batch;
}
} // namespace

struct DiscProject::PendingAdd
{
    std::optional<ReadBatch> batch; // set once the files have been read
    std::function<void(int)> done;
};

void DiscProject::add(const QStringList &paths, std::function<void(int)> done)
{
    auto pending = std::make_shared<PendingAdd>();
    pending->done = std::move(done);
    m_pending.append(pending);
    offMain(
        this, [paths] { return readTracks(paths); },
        [this, pending](ReadBatch batch) {
            pending->batch = std::move(batch);
            appendFinishedAdds();
        });
}

void DiscProject::appendFinishedAdds()
{
    // A later batch may finish first; it waits for the ones asked for before it.
    while (!m_pending.isEmpty() && m_pending.first()->batch) {
        const auto pending = m_pending.takeFirst();
        const ReadBatch batch = *pending->batch;
        if (!batch.items.isEmpty()) {
            m_tracks.append(batch.items);
            changeTracks(true);
            for (const TrackItem &t : batch.items)
                measure(t);
        }
        Q_EMIT tracksAdded(int(batch.items.size()));
        if (pending->done)
            pending->done(int(batch.items.size()));
        if (!batch.notAudio.isEmpty())
            Q_EMIT filesLeftOut(batch.notAudio, LeftOut::notAudio);
        if (!batch.unreadable.isEmpty())
            Q_EMIT filesLeftOut(batch.unreadable, LeftOut::unreadable);
    }
}

void DiscProject::measure(const TrackItem &track)
{
    auto token = std::make_shared<CancelToken>();
    m_measuring.insert(track.id, token);
    offMain(
        this, [path = track.path, token] { return AudioPrep::playedSeconds(path, token.get()); },
        [this, id = track.id, token](std::optional<double> seconds) {
            if (m_measuring.value(id) != token)
                return; // removed meanwhile
            m_measuring.remove(id);
            const auto at = std::find_if(m_tracks.cbegin(), m_tracks.cend(), [&](const TrackItem &t) { return t.id == id; });
            // Header and decoder may disagree by a rounding; less than a CD
            // sector (1/75 s) is no news about the file.
            if (seconds && at != m_tracks.cend() && std::abs(*seconds - at->seconds) >= 1.0 / 75) {
                const TrackItem was = *at;
                setTrackSeconds(id, *seconds);
                // A burn may have found the real length first and said so.
                if (*seconds < was.seconds - AudioPrep::earlyEndSeconds)
                    Q_EMIT logged(QStringLiteral("“") + QFileInfo(was.path).fileName()
                                  + QStringLiteral("” ends early — only ") + fmt(*seconds) + QStringLiteral(" of ")
                                  + fmt(was.headerSeconds) + QStringLiteral(" can be read, so the track is ")
                                  + fmt(*seconds) + QStringLiteral(" long."));
            }
            if (m_measuring.isEmpty())
                Q_EMIT measured();
        },
        &m_workers);
}

void DiscProject::stopMeasuring(const QUuid &id)
{
    const auto token = m_measuring.take(id);
    if (!token)
        return;
    token->cancel();
    if (m_measuring.isEmpty())
        Q_EMIT measured();
}

void DiscProject::move(int index, int delta)
{
    const int j = index + delta;
    if (index < 0 || index >= count() || j < 0 || j >= count() || j == index)
        return;
    m_tracks.swapItemsAt(index, j);
    changeTracks(false);
}

void DiscProject::remove(int index)
{
    if (index < 0 || index >= count())
        return;
    stopMeasuring(m_tracks.takeAt(index).id);
    changeTracks(true);
}

void DiscProject::clear()
{
    if (m_tracks.isEmpty())
        return;
    for (const TrackItem &t : std::exchange(m_tracks, {}))
        stopMeasuring(t.id);
    changeTracks(true);
}

void DiscProject::editTrack(int index, QString TrackItem::*field, const QString &value)
{
    if (index < 0 || index >= count() || m_tracks[index].*field == value)
        return;
    m_tracks[index].*field = value;
    changeTracks(false);
}

void DiscProject::rename(int index, const QString &title)
{
    editTrack(index, &TrackItem::title, title);
}

void DiscProject::setPerformer(int index, const QString &performer)
{
    editTrack(index, &TrackItem::performer, performer);
}

bool DiscProject::setIsrc(int index, const QString &typed)
{
    if (index < 0 || index >= count() || !codeProblem(typed, false).isEmpty())
        return false;
    editTrack(index, &TrackItem::isrc, normalCode(typed));
    return true;
}

void DiscProject::setTrackSeconds(const QUuid &id, double seconds)
{
    for (TrackItem &t : m_tracks) {
        if (t.id != id || t.seconds == seconds)
            continue;
        t.seconds = seconds;
        changeTracks(true);
        return;
    }
}
