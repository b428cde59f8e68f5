#include "drives/ImageBurn.h"

#include <QFileInfo>

namespace ImageBurn {

std::optional<Layout> layout(const ImageInfo &info, bool forceRaw, DiscService *service)
{
    if (!forceRaw && service) {
        if (auto read = service->layoutForImageFile(info.path)) {
            const qint64 bytes = qint64(read->sectors()) * RawImageProducer::blockBytes;
            // A toc is burned as the cue sheet it amounts to; the line says
            // which file that came from.
            const QString how = !read->cueSheet.isEmpty()
                ? (info.isTrackSheet() && QFileInfo(info.path).suffix().compare(QLatin1String("toc"), Qt::CaseInsensitive) == 0
                       ? QStringLiteral("cue sheet made from the toc")
                       : QStringLiteral("cue sheet"))
                : QStringLiteral("disk image reader");
            return Layout{*read, how, nullptr, bytes};
        }
    }
    // A sheet or a DMG the reader turned down is no sector image.
    if (!info.isRaw() || info.isDmg() || info.isTrackSheet() || info.bytes <= 0
        || info.bytes % RawImageProducer::blockBytes != 0)
        return std::nullopt;
    auto producer = std::make_shared<RawImageProducer>(info.path, info.bytes);
    Layout result{{}, QStringLiteral("raw data track"), producer, info.bytes};
    result.layout.tracks.append(producer->makeTrack(producer));
    return result;
}

QString refusal(const ImageInfo &info)
{
    const QString name = QFileInfo(info.path).fileName();
    // A DMG or a sheet the readers turned down says why (a compression it
    // can't decode, a missing file), rather than suggesting what it already is.
    if (info.isDmg() || info.isTrackSheet()) {
        if (const auto examined = ImageInfo::examine(info.path); examined && !examined->problem.isEmpty())
            return examined->problem;
    }
    return QStringLiteral("KLVO Tandor can't burn ") + name + QStringLiteral(". Use an ISO, CDR, DMG or CUE image.");
}

} // namespace ImageBurn
