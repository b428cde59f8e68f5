#include "platform/ffmpeg/AudioFile.h"

#include <QFile>
#include <QScopeGuard>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace FFmpegAudio {

namespace {
void quietLibrary()
{
    // FFmpeg writes warnings about odd files to stderr; the burn log says what matters.
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}
} // namespace

std::optional<double> durationSeconds(const QString &path)
{
    quietLibrary();
    AVFormatContext *format = nullptr;
    const QByteArray native = QFile::encodeName(path);
    if (avformat_open_input(&format, native.constData(), nullptr, nullptr) < 0)
        return std::nullopt;
    const auto close = qScopeGuard([&format] { avformat_close_input(&format); });
    if (avformat_find_stream_info(format, nullptr) < 0)
        return std::nullopt;
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0)
        return std::nullopt;
    const AVStream *stream = format->streams[index];
    if (stream->codecpar->sample_rate <= 0 || !avcodec_find_decoder(stream->codecpar->codec_id))
        return std::nullopt;
    if (stream->duration != AV_NOPTS_VALUE && stream->duration >= 0)
        return double(stream->duration) * av_q2d(stream->time_base);
    if (format->duration != AV_NOPTS_VALUE && format->duration >= 0)
        return double(format->duration) / AV_TIME_BASE;
    return std::nullopt;
}

} // namespace FFmpegAudio
