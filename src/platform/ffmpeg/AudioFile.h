#pragma once
// Audio files through FFmpeg, behind a header that names no FFmpeg type.
//
// Threading: every free function may run on any thread; each call opens its
// own file. A StereoDecoder belongs to one thread at a time (it may be handed
// to another between calls) and shares nothing with other decoders, so any
// number of them may run side by side.

#include <QString>

class CancelToken;

#include <memory>
#include <optional>
#include <span>

namespace FFmpegAudio {

// The length of the file's best audio stream in seconds, or nothing when the
// file can't be opened, has no audio stream, or no decoder exists for it.
std::optional<double> durationSeconds(const QString &path);

// How long the file's best audio stream really plays, in seconds: every
// packet decoded and its samples counted, at the stream's own rate (nothing
// is resampled, so this is quick). A header that claims more than the file
// holds is found out here. Nothing when the file can't be opened, stops
// reading part-way, or once `cancel` (borrowed, may be null; looked at
// between packets) is set.
std::optional<double> decodedSeconds(const QString &path, const CancelToken *cancel = nullptr);

// Reads one file's best audio stream as 44 100 Hz interleaved stereo float
// samples, one decoded packet at a time, in as little memory as a packet
// needs. A file with one channel feeds it to both sides unchanged. More
// channels fold to stereo with the usual levels (centre and surrounds at
// -3 dB, LFE left out), scaled down so that the fold can't go past full
// scale.
//
// The output is a pure function of the file's bytes: two decoders over the
// same file give the same samples, chunk for chunk, which is what lets the
// preparation measure a track in one pass and write it in another.
//
// End of input: the end of the file, a read error or a decoder that has
// nothing more ends the track without an error (a truncated file is shorter).
// A packet the decoder rejects is skipped, as a player would; a stream in
// which every packet is rejected is a conversion failure.
class StereoDecoder
{
public:
    static constexpr int rate = 44100;

    enum class Status {
        ok,
        unreadable, // can't be opened, no audio stream or no decoder for it
        convert,    // the resampler couldn't be set up or failed
    };

    StereoDecoder();
    ~StereoDecoder();
    StereoDecoder(const StereoDecoder &) = delete;
    StereoDecoder &operator=(const StereoDecoder &) = delete;

    // Opens `path` and sets up the decoder and resampler. Call once.
    Status open(const QString &path);

    // The next chunk of samples (L, R, L, R, …), valid until the next call or
    // the decoder's end. An empty span with Status::ok means the input has
    // ended; Status::convert means the resampler failed and nothing more
    // comes. Never blocks on anything but the file.
    Status next(std::span<const float> &samples);

    // True while every sample handed out is a value of the source's own at
    // most 16 bits, unchanged (a CD sample k comes out as k / 32768): a
    // 44 100 Hz mono or stereo source of 16 bits or fewer. Becomes false for
    // good once the stream needs resampling, mixing or has deeper samples.
    bool exact() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace FFmpegAudio
