#include "platform/ffmpeg/AudioFile.h"

#include "base/CancelToken.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace FFmpegAudio {

namespace {

void quietLibrary()
{
    // FFmpeg writes warnings about odd files to stderr; the burn log says what matters.
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// A receive error right after another, with no packet in between, means the
// decoder is stuck; past this many the track ends rather than spin.
constexpr int maxErrorsInRow = 64;

// Above any real recording's rate. A broken header may claim hundreds of
// megahertz, and setting up a resampler from there takes most of a minute
// and close to a gigabyte.
constexpr int highestRate = 768000;

// The file opened far enough to know its best audio stream has a decoder.
struct OpenFile
{
    AVFormatContext *format = nullptr;
    int stream = -1;
    const AVCodec *codec = nullptr;

    OpenFile() = default;
    OpenFile(const OpenFile &) = delete;
    OpenFile &operator=(const OpenFile &) = delete;
    ~OpenFile() { avformat_close_input(&format); }

    bool open(const QString &path)
    {
        quietLibrary();
        const QByteArray native = QFile::encodeName(path);
        if (avformat_open_input(&format, native.constData(), nullptr, nullptr) < 0)
            return false;
        if (avformat_find_stream_info(format, nullptr) < 0)
            return false;
        stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (stream < 0)
            return false;
        const AVCodecParameters *par = format->streams[stream]->codecpar;
        if (par->sample_rate <= 0 || par->sample_rate > highestRate || par->ch_layout.nb_channels <= 0)
            return false;
        codec = avcodec_find_decoder(par->codec_id);
        return codec != nullptr;
    }
};

// A growable float buffer that, unlike std::vector, doesn't zero what the
// resampler is about to overwrite anyway.
class FloatBuffer
{
public:
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    float *data() { return m_data.get(); }
    void clear() { m_size = 0; }
    void shrink(size_t size) { m_size = std::min(m_size, size); }
    // Makes room for `more` floats after the end and returns where they go.
    float *grow(size_t more)
    {
        if (m_size + more > m_capacity) {
            const size_t capacity = std::max(m_size + more, 2 * m_capacity);
            auto bigger = std::make_unique_for_overwrite<float[]>(capacity);
            std::copy_n(m_data.get(), m_size, bigger.get());
            m_data = std::move(bigger);
            m_capacity = capacity;
        }
        float *end = m_data.get() + m_size;
        m_size += more;
        return end;
    }

private:
    std::unique_ptr<float[]> m_data;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

} // namespace

std::optional<double> durationSeconds(const QString &path)
{
    OpenFile file;
    if (!file.open(path))
        return std::nullopt;
    const AVStream *stream = file.format->streams[file.stream];
    if (stream->duration != AV_NOPTS_VALUE && stream->duration >= 0)
        return double(stream->duration) * av_q2d(stream->time_base);
    if (file.format->duration != AV_NOPTS_VALUE && file.format->duration >= 0)
        return double(file.format->duration) / AV_TIME_BASE;
    // Some containers store no length at all: add up the packets instead.
    AVPacket *packet = av_packet_alloc();
    if (!packet)
        return std::nullopt;
    qint64 ticks = 0;
    while (av_read_frame(file.format, packet) >= 0) {
        if (packet->stream_index == file.stream && packet->duration > 0)
            ticks += packet->duration;
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return double(ticks) * av_q2d(stream->time_base);
}

std::optional<double> decodedSeconds(const QString &path, const CancelToken *cancel)
{
    OpenFile file;
    if (!file.open(path))
        return std::nullopt;
    const std::unique_ptr<AVCodecContext, void (*)(AVCodecContext *)> codec(
        avcodec_alloc_context3(file.codec), [](AVCodecContext *c) { avcodec_free_context(&c); });
    const std::unique_ptr<AVPacket, void (*)(AVPacket *)> packet(av_packet_alloc(),
                                                                 [](AVPacket *p) { av_packet_free(&p); });
    const std::unique_ptr<AVFrame, void (*)(AVFrame *)> frame(av_frame_alloc(), [](AVFrame *f) { av_frame_free(&f); });
    if (!codec || !packet || !frame
        || avcodec_parameters_to_context(codec.get(), file.format->streams[file.stream]->codecpar) < 0)
        return std::nullopt;
    codec->thread_count = 1; // one file among several being measured
    codec->pkt_timebase = file.format->streams[file.stream]->time_base;
    if (avcodec_open2(codec.get(), file.codec, nullptr) < 0)
        return std::nullopt;
    // Samples are counted whole and divided once per stretch at one rate, so
    // a file's length comes out as its header's would, not off by rounding.
    double seconds = 0;
    qint64 samples = 0;
    int rate = 0;
    const auto total = [&] { return rate > 0 ? seconds + double(samples) / rate : seconds; };
    int errorsInRow = 0;
    bool flushed = false;
    for (;;) {
        const int got = avcodec_receive_frame(codec.get(), frame.get());
        if (got == 0) {
            errorsInRow = 0;
            if (frame->sample_rate != rate) {
                seconds = total();
                samples = 0;
                rate = frame->sample_rate;
            }
            samples += frame->nb_samples;
            av_frame_unref(frame.get());
        } else if (got == AVERROR(EAGAIN)) {
            errorsInRow = 0;
            if (cancel && cancel->isCancelled())
                return std::nullopt;
            if (flushed)
                return total();
            int read;
            while ((read = av_read_frame(file.format, packet.get())) >= 0 && packet->stream_index != file.stream)
                av_packet_unref(packet.get());
            if (read < 0) {
                // As the burn reads it: a damaged end ends the track, a file
                // that stops reading can't be burned at all.
                const AVIOContext *io = file.format->pb;
                if (io && io->error < 0 && io->error != AVERROR_EOF)
                    return std::nullopt;
                avcodec_send_packet(codec.get(), nullptr);
                flushed = true;
                continue;
            }
            avcodec_send_packet(codec.get(), packet.get()); // a rejected packet is skipped
            av_packet_unref(packet.get());
        } else if (got == AVERROR_EOF || ++errorsInRow > maxErrorsInRow) {
            return total();
        }
    }
}

struct StereoDecoder::Impl
{
    OpenFile file;
    AVCodecContext *codec = nullptr;
    SwrContext *swr = nullptr;
    AVPacket *packet = nullptr;
    AVFrame *frame = nullptr;

    // What the resampler was set up for; a stream may change it mid-way.
    int inFormat = -1;
    int inRate = 0;
    AVChannelLayout inLayout {};
    bool mono = false;
    bool exact = true;

    bool packetPending = false; // the decoder was full; send it again
    bool inputEnded = false;
    bool readFailed = false; // the file stopped reading before its end
    bool done = false;
    int errorsInRow = 0;
    qint64 rejected = 0;
    qint64 produced = 0;

    FloatBuffer out;     // interleaved stereo, handed to the caller
    FloatBuffer monoOut; // the resampler's output for one channel

    ~Impl()
    {
        swr_free(&swr);
        av_channel_layout_uninit(&inLayout);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
    }

    // Appends everything the resampler still holds to `out`.
    bool drainResampler()
    {
        if (!swr)
            return true;
        for (;;) {
            const int room = swr_get_out_samples(swr, 0);
            if (room < 0)
                return false;
            if (room == 0)
                return true;
            const int n = convert(nullptr, 0, room);
            if (n < 0)
                return false;
            if (n == 0)
                return true;
        }
    }

    // Runs the resampler on `count` input frames (null: flush) and appends
    // what it gives to `out`. Returns the frames appended or a negative error.
    int convert(const uint8_t **in, int count, int room)
    {
        const size_t start = out.size();
        float *stereo = out.grow(2 * size_t(room));
        uint8_t *target;
        if (mono) {
            monoOut.clear();
            target = reinterpret_cast<uint8_t *>(monoOut.grow(size_t(room)));
        } else {
            target = reinterpret_cast<uint8_t *>(stereo);
        }
        const int n = swr_convert(swr, &target, room, in, count);
        if (n < 0) {
            out.shrink(start);
            return n;
        }
        if (mono) {
            // The one channel feeds both sides unchanged.
            const float *one = monoOut.data();
            for (int i = 0; i < n; ++i)
                stereo[2 * i] = stereo[2 * i + 1] = one[i];
        }
        out.shrink(start + 2 * size_t(n));
        return n;
    }

    bool setUpResampler(int format, int rate, const AVChannelLayout &given)
    {
        // Frames may change rate midway, to one no header announced.
        if (rate <= 0 || rate > highestRate)
            return false;
        AVChannelLayout layout {};
        if (given.nb_channels == 1)
            layout = AV_CHANNEL_LAYOUT_MONO; // whatever the file calls its one channel
        else if (given.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&layout, given.nb_channels);
        else if (av_channel_layout_copy(&layout, &given) < 0)
            return false;
        if (swr && format == inFormat && rate == inRate && av_channel_layout_compare(&layout, &inLayout) == 0) {
            av_channel_layout_uninit(&layout);
            return true;
        }
        // The stream changed shape: what the old set-up holds comes first.
        if (swr && !drainResampler()) {
            av_channel_layout_uninit(&layout);
            return false;
        }
        swr_free(&swr);
        av_channel_layout_uninit(&inLayout);
        inLayout = layout;
        inFormat = format;
        inRate = rate;
        mono = layout.nb_channels == 1;
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        AVChannelLayout one = AV_CHANNEL_LAYOUT_MONO;
        exact = exact && rate == StereoDecoder::rate && sixteenBitsAtMost(AVSampleFormat(format))
                && (mono || av_channel_layout_compare(&inLayout, &stereo) == 0);
        if (swr_alloc_set_opts2(&swr, mono ? &one : &stereo, AV_SAMPLE_FMT_FLT, StereoDecoder::rate,
                                &inLayout, AVSampleFormat(format), rate, 0, nullptr)
            < 0)
            return false;
        // Without a limit the float fold of 5.1 adds centre and surround to
        // each side at full weight, 7.7 dB over full scale. The limit scales
        // the whole matrix so no side's coefficients add up to more than 1.
        if (av_opt_set_double(swr, "center_mix_level", M_SQRT1_2, 0) < 0
            || av_opt_set_double(swr, "surround_mix_level", M_SQRT1_2, 0) < 0
            || av_opt_set_double(swr, "lfe_mix_level", 0, 0) < 0
            || av_opt_set_double(swr, "rematrix_maxval", 1.0, 0) < 0)
            return false;
        return swr_init(swr) >= 0;
    }

    // Whether samples of `format` from this stream hold no more than 16 bits,
    // so that scaling them to float and back is lossless.
    bool sixteenBitsAtMost(AVSampleFormat format) const
    {
        switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_U8:
        case AV_SAMPLE_FMT_S16:
            return true;
        case AV_SAMPLE_FMT_S32:
            // Decoders of 16-bit material sometimes hand it over in 32 bits.
            return codec && codec->bits_per_raw_sample > 0 && codec->bits_per_raw_sample <= 16;
        default:
            return false;
        }
    }

    bool convertFrame()
    {
        if (frame->nb_samples <= 0)
            return true;
        if (!setUpResampler(frame->format, frame->sample_rate, frame->ch_layout))
            return false;
        const int room = swr_get_out_samples(swr, frame->nb_samples);
        if (room < 0)
            return false;
        return convert(const_cast<const uint8_t **>(frame->extended_data), frame->nb_samples, room) >= 0;
    }

    // Hands the decoder its next packet, or the end of input.
    void feed()
    {
        if (inputEnded)
            return;
        if (!packetPending) {
            for (;;) {
                if (av_read_frame(file.format, packet) < 0) {
                    // A damaged end ends the track (an early end is told
                    // apart later); a file the system can't read on is no
                    // track that can be burned.
                    const AVIOContext *io = file.format->pb;
                    readFailed = io && io->error < 0 && io->error != AVERROR_EOF;
                    inputEnded = true;
                    avcodec_send_packet(codec, nullptr);
                    return;
                }
                if (packet->stream_index == file.stream)
                    break;
                av_packet_unref(packet);
            }
        }
        const int sent = avcodec_send_packet(codec, packet);
        packetPending = sent == AVERROR(EAGAIN);
        if (packetPending)
            return;
        av_packet_unref(packet);
        if (sent < 0)
            ++rejected;
    }
};

StereoDecoder::StereoDecoder()
    : d(std::make_unique<Impl>())
{
}

StereoDecoder::~StereoDecoder() = default;

StereoDecoder::Status StereoDecoder::open(const QString &path)
{
    if (!d->file.open(path))
        return Status::unreadable;
    d->codec = avcodec_alloc_context3(d->file.codec);
    d->packet = av_packet_alloc();
    d->frame = av_frame_alloc();
    if (!d->codec || !d->packet || !d->frame)
        return Status::convert;
    if (avcodec_parameters_to_context(d->codec, d->file.format->streams[d->file.stream]->codecpar) < 0)
        return Status::unreadable;
    // Tracks are decoded side by side; one thread per decoder keeps that fair.
    d->codec->thread_count = 1;
    d->codec->pkt_timebase = d->file.format->streams[d->file.stream]->time_base;
    if (avcodec_open2(d->codec, d->file.codec, nullptr) < 0)
        return Status::unreadable;
    // Fail now on a format the resampler can't take, not after the first packet.
    if (d->codec->sample_fmt != AV_SAMPLE_FMT_NONE
        && !d->setUpResampler(d->codec->sample_fmt, d->codec->sample_rate, d->codec->ch_layout))
        return Status::convert;
    return Status::ok;
}

bool StereoDecoder::exact() const
{
    return d->exact;
}

StereoDecoder::Status StereoDecoder::next(std::span<const float> &samples)
{
    samples = {};
    d->out.clear();
    if (!d->codec)
        return Status::unreadable;
    while (d->out.empty() && !d->done) {
        const int got = avcodec_receive_frame(d->codec, d->frame);
        if (got == 0) {
            d->errorsInRow = 0;
            const bool ok = d->convertFrame();
            av_frame_unref(d->frame);
            if (!ok) {
                d->done = true;
                return Status::convert;
            }
        } else if (got == AVERROR(EAGAIN)) {
            d->errorsInRow = 0;
            d->feed();
            if (d->readFailed) {
                d->done = true;
                return Status::convert;
            }
        } else if (got == AVERROR_EOF || ++d->errorsInRow > maxErrorsInRow) {
            d->done = true;
            if (!d->drainResampler())
                return Status::convert;
        } else {
            ++d->rejected; // a packet the decoder couldn't use; skip it
        }
    }
    d->produced += qint64(d->out.size());
    // Nothing decoded and something refused: this is no audio we can read.
    if (d->done && d->produced == 0 && d->rejected > 0)
        return Status::convert;
    samples = std::span<const float>(d->out.data(), d->out.size());
    return Status::ok;
}

} // namespace FFmpegAudio
