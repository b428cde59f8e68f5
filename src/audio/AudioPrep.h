#pragma once
// Turning audio files into CD audio.

#include <QString>
#include <optional>

namespace AudioPrep {

// The file's length in seconds (its sample frames over its own sample rate),
// or nothing when it can't be opened as audio. Any thread; reads the file's
// header and, for formats without a stored length, scans it.
std::optional<double> duration(const QString &path);

} // namespace AudioPrep
