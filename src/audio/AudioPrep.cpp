#include "audio/AudioPrep.h"

#include "platform/ffmpeg/AudioFile.h"

namespace AudioPrep {

std::optional<double> duration(const QString &path)
{
    return FFmpegAudio::durationSeconds(path);
}

} // namespace AudioPrep
