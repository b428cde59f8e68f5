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

#include <algorithm>
#include <cmath>
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
// A track that plays more than this much shorter than its listed length
// ended early (a cut or damaged file), which the user has to hear about.
// Decoders and resamplers only add or drop a few milliseconds.
inline constexpr double earlyEndSeconds = 0.5;

// "$XDG_CACHE_HOME/KLVO Tandor" (by default "~/.cache/KLVO Tandor"), created
// with its parents when missing; a failure to create it is left for the
// write to report. Looked up on every call, so a changed environment counts.
QString cacheDir();

// The file's length in seconds (its sample frames over its own sample rate),
// or nothing when it can't be opened as audio. Reads the file's header and,
// for formats without a stored length, its packets. Blocks on the file.
std::optional<double> duration(const QString &path);

// How long the file really plays, in seconds, found by decoding it to the end
// without converting anything (ten minutes take about a second of one core
// as MP3, less as FLAC, a read of the file as WAV). Nothing when it can't be
// read through or once `cancel` (borrowed, may be null) is set. Blocks on the
// file.
std::optional<double> playedSeconds(const QString &path, const CancelToken *cancel = nullptr);

// The whole track as interleaved stereo float samples at 44 100 Hz, held in
// memory (about 21 MB a minute). A file with one channel feeds both sides.
// `exact` (may be null) hears whether every sample is the source's own CD
// sample k as k / 32768, unchanged (see StereoDecoder::exact).
// Throws PrepError (unreadable, convert) or TDError::cancelled() when
// `cancel` (borrowed for the call, may be null) is set between two blocks.
std::vector<float> decode(const QString &path, CancelToken *cancel = nullptr, bool *exact = nullptr);

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

// Triangular (TPDF) dither: an offset in (-1, 1) steps of the 16-bit scale,
// added before rounding whenever a sample is not already a CD sample, so the
// rounding leaves noise rather than distortion. The sequence comes from a
// fixed seed: a track prepared twice gives the same bytes. A plain value,
// used by one thread at a time.
class Dither
{
public:
    explicit Dither(quint64 seed = 0x5DEECE66Dull) : m_state(seed) {}
    float next()
    {
        const qint32 a = qint32(bits());
        const qint32 b = qint32(bits());
        return float(a - b) * (1.0f / 16777216.0f);
    }

private:
    // The top 24 bits of a 64-bit linear congruential step.
    quint32 bits()
    {
        m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
        return quint32(m_state >> 40);
    }
    quint64 m_state;
};

// One float sample scaled by `gain` as a CD sample: v = gain x sample x
// 32768, rounded to nearest (ties to even) and clipped to -32768…32767, so a
// sample k / 32768 gives k back and a gain of 1.0 changes no CD sample.
// NaN gives 0. With `dither`, its next offset is added before rounding (to
// NaN's 0 too); without, the result is exact rounding.
inline qint16 toCD(float sample, float gain)
{
    float v = gain * sample * 32768.0f;
    if (v != v)
        return 0;
    return qint16(std::nearbyint(std::clamp(v, -32768.0f, 32767.0f)));
}

inline qint16 toCD(float sample, float gain, Dither &dither)
{
    const float d = dither.next();
    float v = gain * sample * 32768.0f;
    if (v != v)
        v = 0;
    return qint16(std::nearbyint(std::clamp(v + d, -32768.0f, 32767.0f)));
}

// Converts samples to CD samples, written little-endian to `out` (two bytes
// per sample), with the next offsets of `dither` when it is given. Equal to
// the one-sample functions applied in order. Returns how many of them were
// clipped: scaled by `gain`, they lay beyond the CD's range by more than
// rounding covers (dither aside, which is noise, not signal).
qint64 toCD(std::span<const float> samples, float gain, char *out, Dither *dither = nullptr);

// Prepares every track in order and returns its file in the cache folder,
// one per track, in track order.
//
// Tracks are decoded side by side on up to one thread per core. With
// `matchLoudness` a first pass measures every track and a second decodes it
// again and writes it; without it one pass writes the files. A track whose
// gain is 1.0 is written with exact rounding for as long as its source is
// exact (see decode), so a CD-quality source reaches the file bit for bit;
// everything else is dithered, each track from a fresh Dither. Memory stays a
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
//
// `seconds` (may be null) hears how long each prepared file plays, in track
// order: the truth about a file that ends before the length it announced
// (see earlyEndSeconds). `clipped` (may be null) hears how many samples of
// each track were clipped to fit (see toCD): a source too loud for a CD, or
// one whose resampling overshoots full scale.
QStringList prepare(const QList<TrackItem> &tracks, bool matchLoudness,
                    const std::function<void(double)> &progress = {}, CancelToken *cancel = nullptr,
                    QList<double> *seconds = nullptr, QList<qint64> *clipped = nullptr);

// Deletes each file; a file already gone or undeletable is ignored.
void cleanup(const QStringList &paths);

} // namespace AudioPrep
