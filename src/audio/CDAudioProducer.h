#pragma once
// Feeds one prepared CD audio file (AudioPrep::prepare) to a burn and checks
// it against the disc when the burn is verified.
//
// A burn makes one producer per prepared file and describes the track to the
// burner service as frames() blocks of 2352 bytes after a pre-gap of
// preGapFrames(index, gapSeconds) blocks, with this producer behind it.
//
// Threading: built on any thread; afterwards the service calls it from its
// burn thread only, one call at a time (TrackProducer's contract), so it has
// no lock. Getters are constant after construction and may be read anywhere.
//
// Ownership: the deck keeps the producer (shared_ptr) for the whole burn.
// The producer owns its file handle: opened by prepareTrack(), kept after the
// burn for a verify pass, closed by cleanupTrackAfterVerification() or by the
// destructor. It never deletes the file; AudioPrep::cleanup does, after the
// burn has ended.
//
// Failures: only prepareTrack() and prepareTrackForVerification() can fail
// (the file can't be opened). Seek and read errors later become silence when
// producing and a comparison against silence when verifying; nothing else is
// reported, so a damaged cache file never stops a burn half-way.
//
// Cancellation: the producer has none of its own; the service stops calling.

#include "drives/TrackProducer.h"

#include <QString>

class CDAudioProducer final : public TrackProducer
{
public:
    // Bytes of one CD audio block.
    static constexpr quint32 blockBytes = 2352;
    // CD frames per second, and the pre-gap of the first track (2 s).
    static constexpr quint32 framesPerSecond = 75;
    static constexpr quint32 firstPreGap = 150;

    // Reads the file's size once; a size that can't be read counts as 0.
    explicit CDAudioProducer(const QString &path);
    ~CDAudioProducer() override;
    CDAudioProducer(const CDAudioProducer &) = delete;
    CDAudioProducer &operator=(const CDAudioProducer &) = delete;

    const QString &path() const { return m_path; }
    quint64 byteLength() const { return m_byteLength; }
    // Blocks the track occupies: the last, partial one is padded with zeros.
    quint64 frames() const { return (m_byteLength + blockBytes - 1) / blockBytes; }

    // The pre-gap of the track at `index` (0-based) of a disc whose projects
    // asks for `gapSeconds` between tracks: 150 for the first track, whole
    // frames of the gap (truncated, never negative) for every later one.
    static quint32 preGapFrames(int index, double gapSeconds);

    quint64 estimateLength() override { return frames(); }
    // Opens the file, replacing a handle still open. False when it can't.
    bool prepareTrack() override;
    // Zeros: the gap is digital silence.
    quint32 producePreGap(char *buffer, quint32 length, quint64 address, quint32 blockSize) override;
    // The file's bytes from address x blockSize, zeros past its end or when
    // it can't be read. Always `length`.
    quint32 produceData(char *buffer, quint32 length, quint64 address, quint32 blockSize) override;
    // Keeps the handle for a verify pass.
    void cleanupTrackAfterBurn() override {}
    // Reuses the open handle or opens the file again.
    bool prepareTrackForVerification() override;
    // Always true: the gap isn't compared.
    bool verifyPreGap(const char *buffer, quint32 length, quint64 address, quint32 blockSize) override;
    // True when `buffer` holds exactly what produceData() gives for the blocks.
    bool verifyData(const char *buffer, quint32 length, quint64 address, quint32 blockSize) override;
    // Closes the handle (harmless when already closed). Always true.
    bool cleanupTrackAfterVerification() override;

private:
    // Zeros `length` bytes of `buffer`, then copies in what the file holds there.
    void fill(char *buffer, quint32 length, quint64 address, quint32 blockSize) const;
    void close();

    QString m_path;
    quint64 m_byteLength = 0;
    int m_fd = -1;
};
