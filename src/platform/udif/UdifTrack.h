#pragma once
// Burning a DMG: one Mode 1 data track whose blocks are decoded from the
// UDIF image as the burner asks for them, so no decoded copy of the image is
// ever written to disk.
//
// Threading: layout() runs on the caller's thread (it reads the trailer and
// the block tables, a few kilobytes). The producer follows TrackProducer's
// contract: built anywhere, then called from the service's burn thread only,
// one call at a time.
//
// Ownership: the layout's track holds the producer (shared_ptr); the
// producer owns its Udif::Reader, opened by prepareTrack() and dropped by
// cleanupTrackAfterVerification() or the destructor.
//
// Failures: prepareTrack() fails when the image can't be opened, or no
// longer decodes to the size the burn was laid out for; a chunk type the
// reader can't decode already fails layout(), so such an image never starts.
// A chunk that fails to decode mid-burn becomes zeros, which a verify pass
// reports, as with any other producer.

#include "platform/api/DiscService.h"

#include <QString>
#include <memory>
#include <optional>

namespace Udif {
class Reader;
}

class UdifProducer final : public FilledTrackProducer
{
public:
    static constexpr quint32 blockBytes = 2048;

    // `bytes`: the decoded image's size, as the reader gave it.
    UdifProducer(const QString &path, qint64 bytes);
    ~UdifProducer() override;

    // Whole 2048-byte blocks; a last partial block is padded with zeros.
    quint64 blocks() const { return (m_bytes + blockBytes - 1) / blockBytes; }

    quint64 estimateLength() override { return blocks(); }
    bool prepareTrack() override;
    void cleanupTrackAfterBurn() override {}
    bool prepareTrackForVerification() override;
    bool cleanupTrackAfterVerification() override;

private:
    void fill(char *buffer, quint32 length, quint64 address, quint32 blockSize) override;

    const QString m_path;
    const quint64 m_bytes;
    std::unique_ptr<Udif::Reader> m_reader;
};

namespace UdifTrack {

// The layout that burns the UDIF image at `path` (whatever its extension) as
// one data track; nothing when it can't be read as one (why() then says what
// is wrong).
std::optional<BurnLayout> layout(const QString &path);

// Why `path` can't be burned as a DMG, in a sentence; empty when it can.
QString why(const QString &path);

} // namespace UdifTrack
