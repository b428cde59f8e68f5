#pragma once
// Audio files through FFmpeg, behind a header that names no FFmpeg type.
// Every function may run on any thread; each call opens its own file.

#include <QString>
#include <optional>

namespace FFmpegAudio {

// The length of the file's best audio stream in seconds, or nothing when the
// file can't be opened, has no audio stream, or no decoder exists for it.
std::optional<double> durationSeconds(const QString &path);

} // namespace FFmpegAudio
