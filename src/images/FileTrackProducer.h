#pragma once
// A track fed from a file of raw blocks: the prepared audio of a CD track, or
// a plain sector image. Produces the file's bytes block by block, zeros past
// its end, and checks the disc against the file again when the burn is
// verified.
//
// Threading: built on any thread; afterwards the service calls it from its
// burn thread only, one call at a time (TrackProducer's contract), so it has
// no lock. path() and byteLength() are constant and may be read anywhere.
//
// Ownership: the deck keeps the producer (shared_ptr) for the whole burn. The
// producer owns its file handle: opened by prepareTrack(), kept after the burn
// for a verify pass, closed by cleanupTrackAfterVerification() or by the
// destructor. It never deletes the file.
//
// The verify pass keeps a tally (bytes compared, first byte that differed)
// that the deck reads once the burn has ended, to say what the read-back
// found; the tally is atomic, so reading it early is safe, merely unfinished.
//
// Failures: only prepareTrack() and prepareTrackForVerification() can fail
// (the file can't be opened). Seek and read errors later become zeros when
// producing and a comparison against zeros when verifying; nothing else is
// reported, so a damaged file never stops a burn half-way.
//
// Cancellation: none of its own; the service stops calling.

#include "platform/api/TrackProducer.h"

#include <QString>

#include <atomic>
#include <optional>

class FileTrackProducer : public FilledTrackProducer
{
public:
    // `byteLength` is how much of the file the track holds.
    FileTrackProducer(const QString &path, quint64 byteLength);
    ~FileTrackProducer() override;
    FileTrackProducer(const FileTrackProducer &) = delete;
    FileTrackProducer &operator=(const FileTrackProducer &) = delete;

    const QString &path() const { return m_path; }
    quint64 byteLength() const { return m_byteLength; }

    // Opens the file, replacing a handle still open. False when it can't.
    bool prepareTrack() override;
    // Keeps the handle for a verify pass.
    void cleanupTrackAfterBurn() override {}
    // Reuses the open handle or opens the file again, and starts a new tally.
    bool prepareTrackForVerification() override;
    // As FilledTrackProducer compares, keeping the tally.
    bool verifyData(const char *buffer, quint32 length, quint64 address, quint32 blockSize) override;
    // Closes the handle (harmless when already closed). Always true.
    bool cleanupTrackAfterVerification() override;

    // Bytes of data (not pre-gap) verifyData() has been handed since the
    // verify pass began.
    quint64 bytesCompared() const { return m_compared.load(std::memory_order_acquire); }
    // The offset from the track's start of the first byte that differed.
    std::optional<quint64> firstDifference() const
    {
        const quint64 at = m_firstDifference.load(std::memory_order_acquire);
        return at == noDifference ? std::nullopt : std::optional<quint64>(at);
    }

private:
    static constexpr quint64 noDifference = UINT64_MAX;

    // The file's bytes from address x blockSize, zeros past the track's end
    // or where they can't be read.
    void fill(char *buffer, quint32 length, quint64 address, quint32 blockSize) override;
    void close();

    const QString m_path;
    const quint64 m_byteLength;
    int m_fd = -1;
    std::atomic<quint64> m_compared {0};
    std::atomic<quint64> m_firstDifference {noDifference};
};
