// Feeds arbitrary bytes to ImageInfo::inspect as the contents of a file and
// uses everything it answers. Any crash, leak or undefined behaviour the
// sanitizers see is a finding.

#include "Scratch.h"

#include "images/ImageInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const Fuzz::MemFile file("fuzz-image");
    const std::optional<ImageInfo> info = ImageInfo::inspect(file.hold(data, size));
    if (size == 0 && info)
        broken("an empty file taken for an image");
    if (info) {
        if (info->bytes != qint64(size))
            broken("an image size that isn't the file's");
        if (info->volumeName && info->volumeName->isEmpty())
            broken("an empty volume name");
        if (info->isUDIF && info->hasUDF)
            broken("an image both UDIF and UDF");
        (void)info->formatName().size();
        (void)info->fitsOn().size();
    }
    return 0;
}
