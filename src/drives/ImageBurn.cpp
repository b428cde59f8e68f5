#include "drives/ImageBurn.h"

#include <QFileInfo>

namespace ImageBurn {

std::optional<Layout> layout(const ImageInfo &info, bool forceRaw, DiscService *service)
{
    if (!forceRaw && service) {
        if (auto read = service->layoutForImageFile(info.path)) {
            const qint64 bytes = qint64(read->sectors()) * RawImageProducer::blockBytes;
            const QString how = read->cueSheet.isEmpty() ? QStringLiteral("disk image reader") : QStringLiteral("cue sheet");
            return Layout{*read, how, nullptr, bytes};
        }
    }
    if (!info.isRaw() || info.bytes <= 0 || info.bytes % RawImageProducer::blockBytes != 0)
        return std::nullopt;
    auto producer = std::make_shared<RawImageProducer>(info.path, info.bytes);
    Layout result{{}, QStringLiteral("raw data track"), producer, info.bytes};
    result.layout.tracks.append(producer->makeTrack(producer));
    return result;
}

QString refusal(const ImageInfo &info)
{
    const QString name = QFileInfo(info.path).fileName();
    // A DMG the reader turned down says why (a compression it can't decode,
    // a damaged table), rather than suggesting the DMG it already is.
    if (info.isUDIF) {
        if (const QString why = UdifTrack::why(info.path); !why.isEmpty())
            return QStringLiteral("KLVO Tandor can't burn ") + name + QStringLiteral(": ") + why;
    }
    return QStringLiteral("KLVO Tandor can't burn ") + name + QStringLiteral(". Use an ISO, CDR, DMG or CUE image.");
}

} // namespace ImageBurn
