#pragma once
// What a burner writes for a disc image: a layout the service reads by itself
// (a cue sheet), or one Mode 1 data track fed from a plain sector image.

#include "drives/DiscService.h"
#include "images/ImageInfo.h"

#include <QString>
#include <memory>
#include <optional>

// Streams a raw image (.iso, .cdr) in 2048-byte blocks and checks the disc
// against it when the burn is verified.
//
// Threading: the service calls it from its burn thread, one call at a time.
// Ownership: the deck keeps it alive for the whole burn. Failures: a read or
// seek error delivers zeros (the verify pass then reports the difference);
// only an image that can't be opened fails the burn, at prepareTrack.
class RawImageProducer final : public TrackProducer
{
public:
    static constexpr quint32 blockBytes = 2048;

    RawImageProducer(const QString &path, qint64 bytes);
    ~RawImageProducer() override;
    RawImageProducer(const RawImageProducer &) = delete;
    RawImageProducer &operator=(const RawImageProducer &) = delete;

    quint64 blocks() const { return quint64(m_bytes) / blockBytes; }
    BurnTrack makeTrack(const std::shared_ptr<RawImageProducer> &self) const;

    quint64 estimateLength() override { return blocks(); }
    bool prepareTrack() override;
    quint32 producePreGap(char *buffer, quint32 length, quint64 address, quint32 blockSize) override;
    quint32 produceData(char *buffer, quint32 length, quint64 address, quint32 blockSize) override;
    void cleanupTrackAfterBurn() override {}
    bool prepareTrackForVerification() override;
    bool verifyPreGap(const char *buffer, quint32 length, quint64 address, quint32 blockSize) override;
    bool verifyData(const char *buffer, quint32 length, quint64 address, quint32 blockSize) override;
    bool cleanupTrackAfterVerification() override;

private:
    void fill(char *buffer, quint32 length, quint64 address, quint32 blockSize) const;
    void close();

    const QString m_path;
    const qint64 m_bytes;
    int m_fd = -1;
};

namespace ImageBurn {

struct Layout
{
    BurnLayout layout;
    QString how;                  // shown in the deck's start line
    std::shared_ptr<void> keep;   // the producer, kept as long as the burn
};

// Asks the service first (unless `forceRaw`), then falls back to a raw data
// track for a plain image (as `info` found it) whose size is whole 2048-byte
// blocks. Nothing when the file can't be burned. Main thread; opens nothing
// itself (the producer opens the image when the burn starts).
std::optional<Layout> layout(const ImageInfo &info, bool forceRaw, DiscService *service);

} // namespace ImageBurn
