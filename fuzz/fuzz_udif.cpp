// Feeds arbitrary bytes to Udif::Reader as the contents of a file: open,
// reads at the start, the end and across the middle, then verify() and
// decodeTo() when the image is small. Any crash, leak, hang or undefined
// behaviour the sanitizers see is a finding; a TDError is an answer.

#include "Scratch.h"

#include "base/TDError.h"
#include "platform/udif/Udif.h"

#include <algorithm>
#include <vector>

namespace {

// Decoded images larger than this are only sampled, so a 2-byte zero chunk
// claiming a petabyte can't stall the fuzzer.
constexpr qint64 wholeLimit = qint64(8) << 20;

// A TDError is an answer.
template<typename F> void answered(F &&run) { try { run(); } catch (const TDError &) {} }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const Fuzz::MemFile file("fuzz-udif"), out("fuzz-udif-out");
    std::unique_ptr<Udif::Reader> reader;
    try {
        reader = Udif::Reader::open(file.hold(data, size));
    } catch (const TDError &e) {
        if (e.text().isEmpty())
            broken("an error without a text");
        return 0;
    }
    const qint64 total = reader->size();
    if (total < 0 || total % 512 != 0)
        broken("a size that isn't whole sectors");
    if (size < 512)
        broken("something shorter than a trailer opened");

    std::vector<char> buffer(64 * 1024);
    const auto readAt = [&](qint64 offset, qint64 length) {
        answered([&] { reader->read(offset, buffer.data(), length); });
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
    bool served = true;
    answered([&] { served = false; reader->read(total, buffer.data(), 1); served = true; });
    if (served)
        broken("a read past the end served");

    if (total <= wholeLimit) {
        answered([&] { reader->verify(); });
        answered([&] { reader->decodeTo(out.path()); });
    }
    return 0;
}
