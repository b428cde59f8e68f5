// Feeds arbitrary bytes to ImageInfo::inspect as the contents of a file and
// uses everything it answers. Any crash, leak or undefined behaviour the
// sanitizers see is a finding.
//
// The file is a memfd, reached through /proc/self/fd, so each run costs no
// disk I/O; inspect() sees an ordinary regular file.

#include "images/ImageInfo.h"

#include <QString>

#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const int fd = ::memfd_create("fuzz-image", MFD_CLOEXEC);
    static const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);
    if (fd < 0)
        std::abort();

    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != ssize_t(size))
        std::abort();

    const std::optional<ImageInfo> info = ImageInfo::inspect(path);
    if (size == 0 && info)
        std::abort(); // an empty file is never an image
    if (info) {
        if (info->bytes != qint64(size))
            std::abort();
        if (info->volumeName && info->volumeName->isEmpty())
            std::abort(); // a name is never empty
        if (info->isUDIF && info->hasUDF)
            std::abort();
        (void)info->formatName().size();
        (void)info->fitsOn().size();
    }
    return 0;
}
