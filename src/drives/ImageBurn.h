#pragma once
// What a burner writes for a disc image: a layout the service reads by itself
// (a cue sheet), or one Mode 1 data track fed from a plain sector image.

#include "platform/api/DiscService.h"
#include "images/FileTrackProducer.h"
#include "images/ImageInfo.h"
#include "platform/udif/UdifTrack.h"

#include <QString>
#include <memory>
#include <optional>

// Streams a raw image (.iso, .cdr) in 2048-byte blocks and checks the disc
// against it when the burn is verified. Threading, ownership and failures
// are FileTrackProducer's.
class RawImageProducer final : public FileTrackProducer
{
public:
    static constexpr quint32 blockBytes = 2048;

    RawImageProducer(const QString &path, qint64 bytes) : FileTrackProducer(path, quint64(std::max<qint64>(bytes, 0))) {}

    quint64 blocks() const { return byteLength() / blockBytes; }
    BurnTrack makeTrack(const std::shared_ptr<RawImageProducer> &self) const
    {
        return {BurnTrack::Kind::data, self, blocks(), blockBytes, 0, {}};
    }
    quint64 estimateLength() override { return blocks(); }
};

namespace ImageBurn {

struct Layout
{
    BurnLayout layout;
    QString how;                  // shown in the deck's start line
    std::shared_ptr<void> keep;   // the producer, kept as long as the burn
    qint64 bytes = 0;             // the blank's blocks it takes x 2048, when known (0: the file's size is the guide)
};

// Asks the service first (unless `forceRaw`), then falls back to a raw data
// track for a plain image (as `info` found it) whose size is whole 2048-byte
// blocks. Nothing when the file can't be burned. Any thread: it reads the
// file's tables (a DMG's, a cue sheet's) but keeps nothing open (the producer
// opens the image when the burn starts).
std::optional<Layout> layout(const ImageInfo &info, bool forceRaw, DiscService *service);

// Why layout() gave nothing for `info`, as the deck's refusal says it. Any
// thread; reads a DMG's tables.
QString refusal(const ImageInfo &info);

} // namespace ImageBurn
