#include "drives/ImageBurn.h"

namespace ImageBurn {

std::optional<Layout> layout(const ImageInfo &info, bool forceRaw, DiscService *service)
{
    if (!forceRaw && service) {
        if (auto read = service->layoutForImageFile(info.path))
            return Layout{*read, QStringLiteral("cue sheet"), nullptr};
    }
    if (!info.isRaw() || info.bytes <= 0 || info.bytes % RawImageProducer::blockBytes != 0)
        return std::nullopt;
    auto producer = std::make_shared<RawImageProducer>(info.path, info.bytes);
    Layout result{{}, QStringLiteral("raw data track"), producer};
    result.layout.tracks.append(producer->makeTrack(producer));
    return result;
}

} // namespace ImageBurn
