// LibburnBurn's read-back: after the write, the drive is grabbed afresh, the
// written tracks are located, and every block is read and handed to its
// producer to compare.

#include "platform/linux/LibburnBurn.h"
#include "platform/linux/Libburn.h"

#include <algorithm>

#include <libburn/libburn.h>

using namespace burn;

namespace {

// Blocks the read-back compares in one go.
constexpr int verifyChunkBlocks = 32;

} // namespace

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
    } else {
        // A file, a DVD+RW or a BD-RE has no table of contents: libburn
        // writes the tracks one after the other from the start.
        qint64 at = 0;
        for (const auto &feed : std::as_const(m_feeds)) {
            m_starts.append(at);
            at += qint64(feed->gapBlocks + feed->dataBlocks);
        }
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
    qint64 totalBlocks = 0, doneBlocks = 0;
    for (const auto &feed : std::as_const(m_feeds)) {
        totalBlocks += qint64(feed->gapBlocks + feed->dataBlocks);
        m_run.readBack->totalBytes += feed->dataBlocks * feed->blockSize;
    }
    const bool mmc = burn_drive_get_drive_role(m_run.drive) == 1;
    for (int i = 0; i < m_feeds.size() && m_error.isEmpty(); ++i)
        readBackTrack(i, mmc, totalBlocks, doneBlocks);
}

void LibburnBurn::readBackTrack(int index, bool mmc, qint64 totalBlocks, qint64 &doneBlocks)
{
    LibburnFeed &feed = *m_feeds[index];
    if (!feed.producer->prepareTrackForVerification()) {
        m_error = QStringLiteral("Track %1 couldn't be opened again to check the disc.").arg(index + 1);
        return;
    }
    const bool isAudio = m_tracks[index].kind == BurnTrack::Kind::audio;
    // Disc-at-once puts the gap before the start in the table of
    // contents; otherwise the gap opens the track.
    const qint64 gapStart = m_atOnce && mmc ? m_starts[index] - qint64(feed.gapBlocks) : m_starts[index];
    QByteArray buffer(verifyChunkBlocks * int(feed.blockSize), Qt::Uninitialized);
    const quint64 blocks = feed.gapBlocks + feed.dataBlocks;
    for (quint64 block = 0; block < blocks && m_error.isEmpty();) {
        if (m_run.abortRequested) {
            m_error = stoppedText;
            break;
        }
        const quint64 regionEnd = block < feed.gapBlocks ? feed.gapBlocks : blocks;
        const quint64 count = std::min<quint64>(verifyChunkBlocks, regionEnd - block);
        const off_t bytes = off_t(count * feed.blockSize);
        if (!readDisc(isAudio, mmc, gapStart + qint64(block), buffer.data(), bytes)) {
            m_error = m_run.complaint(QStringLiteral("The disc couldn't be read back (track %1).").arg(index + 1));
            break;
        }
        const bool same = block < feed.gapBlocks
                              ? feed.producer->verifyPreGap(buffer.constData(), quint32(bytes), block, feed.blockSize)
                              : feed.producer->verifyData(buffer.constData(), quint32(bytes), block - feed.gapBlocks,
                                                          feed.blockSize);
        if (!same)
            m_error = QStringLiteral("The disc didn't match what was written (track %1).").arg(index + 1);
        else if (block >= feed.gapBlocks)
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
