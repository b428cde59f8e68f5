#pragma once
// Turning audio files into CD audio: 44 100 sample frames a second, two
// channels, signed 16-bit little-endian, interleaved left then right, no
// header, one ".cdda" file per track in the cache folder.
//
// AudioPrep holds no state apart from the cache folder it creates on first
// use. Every function may be called from any thread, and several
// preparations (one per deck) may run at the same time: each writes its own
// files under fresh names.

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <span>
#include <vector>

class CancelToken;
struct TrackItem;

// Why a track couldn't be turned into CD audio. A plain value; text() is the
// sentence the deck shows and logs. `name` is the file's last path component,
// extension included.
class PrepError
{
public:
    enum class Kind { unreadable, convert };

    static PrepError unreadable(const QString &name) { return PrepError(Kind::unreadable, name); }
    static PrepError convert(const QString &name) { return PrepError(Kind::convert, name); }

    Kind kind() const { return m_kind; }
    const QString &name() const { return m_name; }
    QString text() const;

    bool operator==(const PrepError &) const = default;

private:
    PrepError(Kind kind, const QString &name) : m_kind(kind), m_name(name) {}

    Kind m_kind;
    QString m_name;
};

namespace AudioPrep {

// Bytes of one CD audio sector: 588 stereo frames of two 16-bit samples.
inline constexpr int bytesPerFrame = 2352;
inline constexpr int sampleRate = 44100;
// Decoding, measuring and writing work on blocks of this many stereo frames.
inline constexpr int blockFrames = 32768;
// Loudness matching: a track counts as audible above this rms, and no gain
// takes a track's peak above this fraction of full scale (about -0.3 dB).
inline constexpr float audibleRms = 0.0005f;
inline constexpr float peakCeiling = 0.966f;

// "$XDG_CACHE_HOME/KLVO Tandor" (by default "~/.cache/KLVO Tandor"), created
// with its parents when missing; a failure to create it is left for the
// write to report. Looked up on every call, so a changed environment counts.
QString cacheDir();

// The file's length in seconds (its sample frames over its own sample rate),
// or nothing when it can't be opened as audio. Reads the file's header and,
// for formats without a stored length, its packets. Blocks on the file.
std::optional<double> duration(const QString &path);

// The whole track as interleaved stereo float samples at 44 100 Hz, held in
// memory (about 21 MB a minute). A file with one channel feeds both sides.
// Throws PrepError (unreadable, convert) or TDError::cancelled() when
// `cancel` (borrowed for the call, may be null) is set between two blocks.
std::vector<float> decode(const QString &path, CancelToken *cancel = nullptr);

// A track's level on the -1.0…1.0 float scale. An empty track is 0 and 0.
struct Level
{
    float rms = 0;
    float peak = 0;
    bool operator==(const Level &) const = default;
};

// Measures a track fed in consecutive chunks. Each square is taken in single
// precision and added in double precision in sample order, so the result
// does not depend on how the track was cut into chunks. A plain value, used
// by one thread at a time.
class LevelMeter
{
public:
    void add(std::span<const float> samples);
    Level level() const;
    qint64 count() const { return m_count; }

private:
    double m_sum = 0;
    float m_peak = 0;
    qint64 m_count = 0;
};

// One gain per track for loudness matching. The target is the mean rms of
// the audible tracks; each audible track gets min(target / rms, 0.966 / peak);
// inaudible tracks, and every track when none is audible, keep 1.0.
std::vector<float> gains(const std::vector<Level> &levels);

// One float sample scaled by `gain` as a CD sample: 1.0 and above give 32767;
// below that max(v, -1.0) * 32767 truncated toward zero, so -32768 never
// appears. NaN gives 0.
inline qint16 toCD(float sample, float gain)
{
    const float v = gain * sample;
    if (v >= 1.0f)
        return 32767;
    if (v >= -1.0f)
        return qint16(v * 32767.0f);
    return v < -1.0f ? qint16(-32767) : qint16(0);
}

// Converts samples to CD samples, written little-endian to `out` (two bytes
// per sample).
void toCD(std::span<const float> samples, float gain, char *out);

// Prepares every track in order and returns its file in the cache folder,
// one per track, in track order.
//
// Tracks are decoded side by side on up to one thread per core. With
// `matchLoudness` a first pass measures every track and a second decodes it
// again and writes it; without it one pass writes the files. Memory stays a
// few megabytes per thread whatever the length of the disc, and the files
// hold exactly the bytes a preparation keeping the whole disc in memory
// would write: the decoder gives the same samples on every pass.
//
// `progress` (may be empty) runs on the calling thread only, never while a
// lock is held, with a x k / n after k tracks have been measured and then
// a + b x k / n after k have been written, where a, b are 0.6, 0.4 with
// loudness matching and 0.8, 0.2 without; so 4 matched tracks give 0.15,
// 0.3, 0.45, 0.6, 0.7, 0.8, 0.9, 1.0. Without matching, the one pass
// reports 0.8 x k / n as tracks are written and the last steps at its end.
// The calling thread blocks until every helper thread has ended.
//
// Errors: throws the error of the lowest-numbered track that failed — a
// PrepError, or TDError::writeFailed with the system's text when a file
// can't be written — or TDError::cancelled() once `cancel` (borrowed, may be
// null) is set; the workers look at it between blocks. On any error every
// file this call wrote is removed before it returns.
QStringList prepare(const QList<TrackItem> &tracks, bool matchLoudness,
                    const std::function<void(double)> &progress = {}, CancelToken *cancel = nullptr);

// Deletes each file; a file already gone or undeletable is ignored.
void cleanup(const QStringList &paths);

} // namespace AudioPrep
