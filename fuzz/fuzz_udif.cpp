// Feeds arbitrary bytes to Udif::Reader as the contents of a file: open,
// reads at the start, the end and across the middle, then verify() and
// decodeTo() when the image is small. Any crash, leak, hang or undefined
// behaviour the sanitizers see is a finding; a TDError is an answer.
//
// The file is a memfd, reached through /proc/self/fd, so each run costs no
// disk I/O.

#include "base/TDError.h"
#include "platform/udif/Udif.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

// Decoded images larger than this are only sampled, so a 2-byte zero chunk
// claiming a petabyte can't stall the fuzzer.
constexpr qint64 wholeLimit = qint64(8) << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const int fd = ::memfd_create("fuzz-udif", MFD_CLOEXEC);
    static const int outFd = ::memfd_create("fuzz-udif-out", MFD_CLOEXEC);
    static const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);
    static const QString outPath = QStringLiteral("/proc/self/fd/%1").arg(outFd);
    if (fd < 0 || outFd < 0)
        std::abort();
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != ssize_t(size))
        std::abort();

    std::unique_ptr<Udif::Reader> reader;
    try {
        reader = Udif::Reader::open(path);
    } catch (const TDError &e) {
        if (e.text().isEmpty())
            std::abort();
        return 0;
    }
    const qint64 total = reader->size();
    if (total < 0 || total % 512 != 0)
        std::abort(); // the tables describe whole sectors
    if (size < 512)
        std::abort(); // nothing shorter than a trailer opens

    std::vector<char> buffer(64 * 1024);
    const auto readAt = [&](qint64 offset, qint64 length) {
        try {
            reader->read(offset, buffer.data(), length);
        } catch (const TDError &) {
        }
    };
    const qint64 step = qint64(buffer.size());
    const qint64 sampled = std::min(total, wholeLimit);
    for (qint64 at = 0; at < sampled; at += step)
        readAt(at, std::min(step, sampled - at));
    if (total > 0) {
        readAt(total - std::min(step, total), std::min(step, total));
        readAt(total / 2, std::min<qint64>(4096, total - total / 2));
    }
    // A read past the end is refused, never served.
    bool refused = false;
    try {
        reader->read(total, buffer.data(), 1);
    } catch (const TDError &) {
        refused = true;
    }
    if (!refused)
        std::abort();

    if (total <= wholeLimit) {
        try {
            reader->verify();
        } catch (const TDError &) {
        }
        try {
            reader->decodeTo(outPath);
        } catch (const TDError &) {
        }
    }
    return 0;
}
