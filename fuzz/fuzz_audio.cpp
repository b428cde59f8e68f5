// Feeds small arbitrary files to the FFmpeg wrapper: the first byte picks
// the extension, the rest is the file. Checks whole stereo frames, the same
// samples from a second decoder, exact samples 16-bit, a finite duration.

#include "Scratch.h"

#include "platform/ffmpeg/AudioFile.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Decoding stops here: a tiny file may claim hours of silence.
constexpr size_t mostSamples = size_t(44100) * 2 * 30;

struct Decoded
{
    FFmpegAudio::StereoDecoder::Status opened = FFmpegAudio::StereoDecoder::Status::ok;
    FFmpegAudio::StereoDecoder::Status ended = FFmpegAudio::StereoDecoder::Status::ok;
    std::vector<size_t> chunks;
    std::vector<float> samples;
    bool exact = false;
};

Decoded decode(const QString &path)
{
    using Status = FFmpegAudio::StereoDecoder::Status;
    Decoded out;
    FFmpegAudio::StereoDecoder decoder;
    out.opened = decoder.open(path);
    if (out.opened != Status::ok)
        return out;
    while (out.samples.size() < mostSamples) {
        std::span<const float> chunk;
        out.ended = decoder.next(chunk);
        if (out.ended != Status::ok || chunk.empty())
            break;
        if (chunk.size() % 2 != 0)
            broken("a chunk that isn't whole stereo frames");
        const bool exact = decoder.exact();
        for (const float s : chunk) {
            if (exact && (s * 32768.0f != std::trunc(s * 32768.0f) || s < -1.0f || s >= 1.0f))
                broken("an exact sample that isn't a 16-bit value");
        }
        out.chunks.push_back(chunk.size());
        out.samples.insert(out.samples.end(), chunk.begin(), chunk.end());
    }
    out.exact = decoder.exact();
    return out;
}

bool same(const std::vector<float> &a, const std::vector<float> &b)
{
    // Bit for bit, so that NaNs compare as well.
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    static const char *const extensions[] = {"wav", "aiff", "mp3", "m4a", "flac"};
    const QString path = Fuzz::scratch() + QStringLiteral("/in.") + QLatin1String(extensions[data[0] % 5]);
    Fuzz::writeFile(path, QByteArray(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1)));

    const std::optional<double> seconds = FFmpegAudio::durationSeconds(path);
    if (seconds && !(std::isfinite(*seconds) && *seconds >= 0))
        broken("a duration that isn't a finite number of seconds");

    const Decoded first = decode(path);
    const Decoded second = decode(path);
    if (first.opened != second.opened || first.ended != second.ended || first.chunks != second.chunks
        || first.exact != second.exact || !same(first.samples, second.samples))
        broken("two decoders of the same file gave different samples");
    QFile::remove(path);
    return 0;
}
