// LibburnBurn's read-back: after the write, the drive is grabbed afresh, the
// written tracks are located, and every block is read and handed to its
// producer to compare. A disc burned from a sheet is compared with what the
// sheet's own producers make of its files.

#include "platform/linux/LibburnBurn.h"
#include "platform/linux/Libburn.h"

#include "platform/sheets/RawSector.h"
#include "platform/sheets/SheetProducer.h"

#include <algorithm>
#include <cstring>

#include <libburn/libburn.h>

using namespace burn;

namespace {

// Blocks the read-back compares in one go.
constexpr int verifyChunkBlocks = 32;

// Bytes a sector of a track gives when read back: audio comes raw, data as
// its user data, which is all of a 2048-byte block.
quint32 readBytes(const LibburnFeed &feed, BurnTrack::Kind kind)
{
    return kind == BurnTrack::Kind::audio ? feed.blockSize : RawSector::userBytes;
}

} // namespace

// The sheet's tracks take the place of the layout's (it has none): each
// one's pre-gap and INDEX 00 sectors as its gap, the rest as its data.
void LibburnBurn::takeSheetTracks()
{
    m_tracks = SheetProducer::tracksOf(*m_sheet);
    for (const BurnTrack &track : std::as_const(m_tracks)) {
        auto feed = std::make_shared<LibburnFeed>();
        feed->producer = track.producer;
        feed->blockSize = track.blockSize;
        feed->gapBlocks = track.preGapFrames;
        feed->dataBlocks = track.lengthBlocks;
        m_feeds.append(feed);
        m_verified.append(false);
    }
}

quint64 LibburnBurn::zerosBefore(int index) const
{
    return m_sheet ? m_sheet->tracks[index].preGap : 0;
}

quint64 LibburnBurn::zerosAfter(int index) const
{
    return m_sheet ? m_sheet->tracks[index].postGap : 0;
}

void LibburnBurn::locateTracks()
{
    JobStatus s;
    s.state = DiscJobState::finishing;
    m_run.post(s);
    burn_write_opts_free(m_opts);
    m_opts = nullptr;
    // libburn learns the new table of contents only from a fresh grab.
    m_run.release(false);
    if (!m_run.grab()) {
        m_run.release(false);
        m_error = m_run.complaint(QStringLiteral("The burner could not be opened again to check the disc."));
    } else if (burn_drive_get_drive_role(m_run.drive) == 1 && !Libburn::overwritable(m_run.drive)) {
        readTrackStarts();
        if (m_starts.size() != m_feeds.size())
            m_error = QStringLiteral("The burner couldn't tell where the tracks were written.");
        else
            placeTracks(true);
    } else {
        placeTracks(false);
    }
}

// Disc-at-once writes every gap, the table of contents giving where the
// track proper (INDEX 01) begins. Track at once, and a file, leave out
// the zeros libburn would add itself, and a track begins with its source:
// the producer's gap, or a sheet's INDEX 00 sectors. A file, a DVD+RW or a
// BD-RE has no table of contents: libburn writes the tracks one after the
// other from the start.
void LibburnBurn::placeTracks(bool mmc)
{
    qint64 at = 0;
    for (int i = 0; i < m_feeds.size(); ++i) {
        const LibburnFeed &feed = *m_feeds[i];
        const quint64 blocks = feed.gapBlocks + feed.dataBlocks;
        Place place;
        if (m_atOnce && mmc) {
            place.gapStart = m_starts[i] - qint64(feed.gapBlocks);
            // The first track's gap may reach back before block 0.
            place.first = place.gapStart < 0 ? quint64(-place.gapStart) : 0;
            place.end = blocks;
        } else {
            place.first = zerosBefore(i);
            place.end = blocks - zerosAfter(i);
            place.gapStart = (mmc ? m_starts[i] : at) - qint64(place.first);
            at += qint64(place.end - place.first);
        }
        m_places.append(place);
    }
}

// The tracks of the disc's last session, from its table of contents.
void LibburnBurn::readTrackStarts()
{
    burn_disc *written = burn_drive_get_disc(m_run.drive);
    if (!written)
        return;
    int sessionCount = 0;
    burn_session **sessions = burn_disc_get_sessions(written, &sessionCount);
    if (sessionCount > 0) {
        int count = 0;
        burn_track **list = burn_session_get_tracks(sessions[sessionCount - 1], &count);
        for (int i = 0; i < count; ++i) {
            burn_toc_entry entry{};
            burn_track_get_entry(list[i], &entry);
            m_starts.append((entry.extensions_valid & 1) ? entry.start_lba
                                                         : burn_msf_to_lba(entry.pmin, entry.psec, entry.pframe));
        }
    }
    burn_disc_free(written);
}

void LibburnBurn::readBack()
{
    JobStatus s;
    s.state = DiscJobState::verifying;
    s.percent = 0;
    m_run.post(s);
    const bool mmc = burn_drive_get_drive_role(m_run.drive) == 1;
    qint64 totalBlocks = 0, doneBlocks = 0;
    for (int i = 0; i < m_feeds.size(); ++i) {
        const LibburnFeed &feed = *m_feeds[i];
        const Place &place = m_places[i];
        totalBlocks += qint64(place.end - place.first);
        const quint64 dataBlocks = place.end - std::max(place.first, feed.gapBlocks);
        m_run.readBack->totalBytes += dataBlocks * readBytes(feed, m_tracks[i].kind);
    }
    for (int i = 0; i < m_feeds.size() && m_error.isEmpty(); ++i)
        readBackTrack(i, mmc, totalBlocks, doneBlocks);
}

void LibburnBurn::readBackTrack(int index, bool mmc, qint64 totalBlocks, qint64 &doneBlocks)
{
    LibburnFeed &feed = *m_feeds[index];
    const Place &place = m_places[index];
    if (!feed.producer->prepareTrackForVerification()) {
        m_error = QStringLiteral("Track %1 couldn't be opened again to check the disc.").arg(index + 1);
        return;
    }
    const bool isAudio = m_tracks[index].kind == BurnTrack::Kind::audio;
    // A data sector comes back as its 2048 bytes of user data, whatever
    // the producer makes of it.
    const quint32 sectorBytes = readBytes(feed, m_tracks[index].kind);
    const bool userDataOnly = sectorBytes != feed.blockSize;
    QByteArray buffer(verifyChunkBlocks * int(sectorBytes), Qt::Uninitialized);
    for (quint64 block = place.first; block < place.end && m_error.isEmpty();) {
        if (m_run.abortRequested) {
            m_error = stoppedText;
            break;
        }
        const bool inGap = block < feed.gapBlocks;
        const quint64 regionEnd = inGap ? std::min(feed.gapBlocks, place.end) : place.end;
        const quint64 count = std::min<quint64>(verifyChunkBlocks, regionEnd - block);
        const off_t bytes = off_t(count * sectorBytes);
        if (!readDisc(isAudio, mmc, place.gapStart + qint64(block), buffer.data(), bytes)) {
            m_error = m_run.complaint(QStringLiteral("The disc couldn't be read back (track %1).").arg(index + 1));
            break;
        }
        const bool same = userDataOnly ? sameUserData(feed, block, buffer.constData(), count)
                          : inGap ? feed.producer->verifyPreGap(buffer.constData(), quint32(bytes), block, feed.blockSize)
                                  : feed.producer->verifyData(buffer.constData(), quint32(bytes),
                                                              block - feed.gapBlocks, feed.blockSize);
        if (!same)
            m_error = QStringLiteral("The disc didn't match what was written (track %1).").arg(index + 1);
        else if (!inGap)
            m_run.readBack->comparedBytes += quint64(bytes);
        block += count;
        doneBlocks += qint64(count);
        JobStatus v;
        v.state = DiscJobState::verifying;
        v.currentTrack = index + 1;
        v.percent = totalBlocks > 0 ? double(doneBlocks) / double(totalBlocks) : -1;
        m_run.post(v);
    }
    feed.producer->cleanupTrackAfterVerification();
    m_verified[index] = true;
}

// The user data of `count` Mode 1 sectors read from block `block` on, against
// the whole sectors the producer makes for them.
bool LibburnBurn::sameUserData(LibburnFeed &feed, quint64 block, const char *read, quint64 count)
{
    const quint32 length = quint32(count * RawSector::bytes);
    m_expected.resize(length);
    if (block < feed.gapBlocks)
        feed.producer->producePreGap(m_expected.data(), length, block, RawSector::bytes);
    else
        feed.producer->produceData(m_expected.data(), length, block - feed.gapBlocks, RawSector::bytes);
    for (quint64 i = 0; i < count; ++i) {
        if (std::memcmp(m_expected.data() + i * RawSector::bytes + RawSector::userOffset,
                        read + i * RawSector::userBytes, RawSector::userBytes)
            != 0)
            return false;
    }
    return true;
}

// Reads `bytes` from sector `lba` on: audio sectors raw (only a real drive
// has them), data by its 2048-byte address.
bool LibburnBurn::readDisc(bool audio, bool mmc, qint64 lba, char *buffer, off_t bytes)
{
    off_t got = 0;
    int ok = 0;
    if (audio)
        ok = mmc ? burn_read_audio(m_run.drive, int(lba), buffer, bytes, &got, 0) : 0;
    else
        ok = burn_read_data(m_run.drive, off_t(lba) * 2048, buffer, bytes, &got, 0);
    return ok == 1 && got == bytes;
}
