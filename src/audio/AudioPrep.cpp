#include "audio/AudioPrep.h"

#include "audio/DiscProject.h"
#include "base/CancelToken.h"
#include "base/TDError.h"
#include "platform/ffmpeg/AudioFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>
#include <QUuid>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <numeric>
#include <thread>
#include <time.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

using FFmpegAudio::StereoDecoder;

QString PrepError::text() const
{
    switch (m_kind) {
    case Kind::unreadable:
        return QStringLiteral("Couldn't read ") + m_name + QStringLiteral(". Try a WAV, AIFF, MP3 or M4A file.");
    case Kind::convert:
        return QStringLiteral("Couldn't convert ") + m_name + QStringLiteral(" to CD audio.");
    }
    return {};
}

namespace AudioPrep {

namespace {

// Writes go out in pieces of this many bytes: few system calls, little memory.
constexpr qsizetype writeChunk = 256 << 10;

QString fileName(const QString &path)
{
    return QFileInfo(path).fileName();
}

bool isCancelled(const CancelToken *cancel)
{
    return cancel && cancel->isCancelled();
}

// A worker gave up because another track failed first; nothing to report.
struct Abandoned
{
};

void openDecoder(StereoDecoder &decoder, const QString &path)
{
    switch (decoder.open(path)) {
    case StereoDecoder::Status::ok:
        return;
    case StereoDecoder::Status::unreadable:
        throw PrepError::unreadable(fileName(path));
    case StereoDecoder::Status::convert:
        throw PrepError::convert(fileName(path));
    }
}

// The next chunk of a track; empty at its end.
std::span<const float> nextChunk(StereoDecoder &decoder, const QString &path)
{
    std::span<const float> samples;
    if (decoder.next(samples) != StereoDecoder::Status::ok)
        throw PrepError::convert(fileName(path));
    return samples;
}

// Runs one job per track on a few threads while the calling thread waits and
// reports each finished job, in the order they finish. When a job throws,
// the jobs of later tracks give up and earlier ones run on, so the error of
// the lowest-numbered failing track is the one thrown, as if the tracks had
// been done one after another.
class Batch
{
public:
    using Job = std::function<void(int track, const std::function<bool()> &stop)>;

    Batch(int count, CancelToken *cancel)
        : m_count(count), m_cancel(cancel), m_errors(size_t(count)), m_failedAt(count)
    {
    }

    // `order` lists the tracks in the order to start them; `finished(k)` runs
    // on this thread after the k-th job has finished, while nothing failed.
    void run(const std::vector<int> &order, const Job &job, const std::function<void(int)> &finished)
    {
        m_order = order;
        m_next = 0;
        m_done = 0;
        const int threads = std::clamp(QThread::idealThreadCount(), 1, std::max(m_count, 1));
        std::vector<std::thread> pool;
        m_running = threads;
        for (int t = 0; t < threads; ++t) {
            try {
                pool.emplace_back([this, &job] { work(job); });
            } catch (const std::system_error &) {
                std::lock_guard lock(m_mutex);
                --m_running;
            }
        }
        if (pool.empty()) {
            m_running = 1;
            work(job);
        }

        int reported = 0;
        std::exception_ptr callerError;
        for (;;) {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return m_done > reported || m_running == 0; });
            const int done = m_done;
            const bool over = m_running == 0;
            const bool failed = m_failedAt.load() < m_count;
            lock.unlock();
            while (reported < done) {
                ++reported;
                if (!failed && !callerError && finished) {
                    try {
                        finished(reported);
                    } catch (...) {
                        // Stop the workers before letting the caller's error go.
                        callerError = std::current_exception();
                        fail(-1, nullptr);
                    }
                }
            }
            if (over)
                break;
        }
        for (std::thread &t : pool)
            t.join();
        if (callerError)
            std::rethrow_exception(callerError);
    }

    bool failed() const { return m_failedAt.load() < m_count || m_stopAll.load(); }

    // Rethrows the error that decides the outcome, if any.
    void rethrow() const
    {
        if (!failed())
            return;
        if (isCancelled(m_cancel))
            throw TDError::cancelled();
        const int at = m_failedAt.load();
        if (at < m_count && m_errors[size_t(at)])
            std::rethrow_exception(m_errors[size_t(at)]);
    }

private:
    void work(const Job &job)
    {
        for (;;) {
            int track;
            {
                std::lock_guard lock(m_mutex);
                if (m_next >= int(m_order.size()))
                    break;
                track = m_order[size_t(m_next++)];
            }
            const auto stop = [this, track] {
                return m_stopAll.load(std::memory_order_relaxed) || track > m_failedAt.load(std::memory_order_relaxed)
                       || isCancelled(m_cancel);
            };
            bool ok = false;
            if (!stop()) {
                try {
                    job(track, stop);
                    ok = true;
                } catch (const Abandoned &) {
                } catch (...) {
                    fail(track, std::current_exception());
                }
            }
            if (!ok && isCancelled(m_cancel))
                m_stopAll = true;
            std::lock_guard lock(m_mutex);
            if (ok)
                ++m_done;
            m_changed.notify_all();
        }
        std::lock_guard lock(m_mutex);
        --m_running;
        m_changed.notify_all();
    }

    // Records `error` for `track`; a negative track stops every job.
    void fail(int track, std::exception_ptr error)
    {
        std::lock_guard lock(m_mutex);
        if (track < 0) {
            m_stopAll = true;
            return;
        }
        if (!m_errors[size_t(track)])
            m_errors[size_t(track)] = error;
        if (track < m_failedAt.load())
            m_failedAt = track;
    }

    const int m_count;
    CancelToken *const m_cancel;
    std::vector<std::exception_ptr> m_errors;
    std::atomic<int> m_failedAt;
    std::atomic<bool> m_stopAll {false};

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<int> m_order;
    int m_next = 0;
    int m_done = 0;
    int m_running = 0;
};

// The processor time of the calling thread, in seconds.
double threadSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// What writing one track came to.
struct Written
{
    qint64 samples = 0;
    qint64 clipped = 0;
};

// Writes one prepared file: decodes the track (again) and stores every sample
// scaled by `gain`.
Written writeTrack(const QString &source, const QString &target, float gain, const std::function<bool()> &stop)
{
    // One buffer per thread for every track it writes: fresh pages cost a
    // fault each, which adds up over a disc.
    thread_local std::unique_ptr<char[]> buffer;
    constexpr size_t bufferSize = size_t(writeChunk) + 2 * size_t(blockFrames) * sizeof(qint16) * 2;
    if (!buffer)
        buffer = std::make_unique_for_overwrite<char[]>(bufferSize);

    StereoDecoder decoder;
    openDecoder(decoder, source);
    Dither dither;
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        throw TDError::writeFailed(out.errorString());
    qsizetype filled = 0;
    Written written;
    const auto flush = [&] {
        // A disk that fills up takes part of a write without an error; the
        // next write of the rest is the one that says why.
        for (qsizetype at = 0; at < filled;) {
            const qint64 n = out.write(buffer.get() + at, filled - at);
            if (n <= 0)
                throw TDError::writeFailed(out.errorString());
            at += qsizetype(n);
        }
        filled = 0;
    };
    for (;;) {
        if (stop())
            throw Abandoned {};
        std::span<const float> samples = nextChunk(decoder, source);
        if (samples.empty())
            break;
        // CD samples that stay as they are need no dither; anything else does.
        Dither *shaping = gain == 1.0f && decoder.exact() ? nullptr : &dither;
        // A decoded packet is small, but leave room for an odd large one.
        while (!samples.empty()) {
            const size_t room = (bufferSize - size_t(filled)) / sizeof(qint16);
            const size_t take = std::min(room, samples.size());
            written.clipped += toCD(samples.first(take), gain, buffer.get() + filled, shaping);
            filled += qsizetype(take * sizeof(qint16));
            written.samples += qint64(take);
            samples = samples.subspan(take);
            if (filled >= writeChunk || !samples.empty())
                flush();
        }
    }
    flush();
    out.close();
    if (out.error() != QFileDevice::NoError)
        throw TDError::writeFailed(out.errorString());
    // Writing into a folder that was removed meanwhile succeeds and keeps
    // nothing; the burn would only find out when it reads the file.
    if (!QFileInfo::exists(target))
        throw TDError::writeFailed(QString::fromLocal8Bit(std::strerror(ENOENT)));
    return written;
}

struct Measured
{
    Level level;
    double cost = 0; // processor seconds the decoding took
};

Measured measureTrack(const QString &source, const std::function<bool()> &stop)
{
    const double start = threadSeconds();
    StereoDecoder decoder;
    openDecoder(decoder, source);
    LevelMeter meter;
    for (;;) {
        if (stop())
            throw Abandoned {};
        const std::span<const float> samples = nextChunk(decoder, source);
        if (samples.empty())
            break;
        meter.add(samples);
    }
    return {meter.level(), threadSeconds() - start};
}

// Biggest jobs first, so the last to finish is a small one and no thread
// waits long for another at the end of a pass.
std::vector<int> biggestFirst(const std::vector<double> &size)
{
    std::vector<int> order(size.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return size[size_t(a)] > size[size_t(b)]; });
    return order;
}

} // namespace

QString cacheDir()
{
    static std::mutex mutex;
    static QString made;
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
                        + QStringLiteral("/KLVO Tandor");
    std::lock_guard lock(mutex);
    if (made != dir || !QFileInfo::exists(dir)) {
        if (QDir().mkpath(dir))
            made = dir;
    }
    return dir;
}

std::optional<double> duration(const QString &path)
{
    return FFmpegAudio::durationSeconds(path);
}

std::optional<double> playedSeconds(const QString &path, const CancelToken *cancel)
{
    return FFmpegAudio::decodedSeconds(path, cancel);
}

std::vector<float> decode(const QString &path, CancelToken *cancel, bool *exact)
{
    StereoDecoder decoder;
    openDecoder(decoder, path);
    std::vector<float> all;
    for (;;) {
        if (isCancelled(cancel))
            throw TDError::cancelled();
        const std::span<const float> samples = nextChunk(decoder, path);
        if (samples.empty())
            break;
        all.insert(all.end(), samples.begin(), samples.end());
    }
    if (exact)
        *exact = decoder.exact();
    return all;
}

void LevelMeter::add(std::span<const float> samples)
{
    double sum = m_sum;
    float peak = m_peak;
    for (const float s : samples) {
        const float square = s * s;
        sum += double(square);
        peak = std::max(peak, std::fabs(s));
    }
    m_sum = sum;
    m_peak = peak;
    m_count += qint64(samples.size());
}

Level LevelMeter::level() const
{
    if (m_count == 0)
        return {};
    return {float(std::sqrt(m_sum / double(m_count))), m_peak};
}

std::vector<float> gains(const std::vector<Level> &levels)
{
    std::vector<float> result(levels.size(), 1.0f);
    float sum = 0;
    int audible = 0;
    for (const Level &l : levels) {
        if (l.rms > audibleRms) {
            sum += l.rms;
            ++audible;
        }
    }
    if (audible == 0)
        return result;
    const float target = sum / float(audible);
    for (size_t i = 0; i < levels.size(); ++i) {
        const Level &l = levels[i];
        if (l.rms <= audibleRms)
            continue;
        const float limit = l.peak > 0 ? peakCeiling / l.peak : 1.0f;
        result[i] = std::min(target / l.rms, limit);
    }
    return result;
}

qint64 toCD(std::span<const float> samples, float gain, char *out, Dither *dither)
{
    // Past these, rounding alone would leave the 16-bit range.
    constexpr float overTop = 32767.5f;
    constexpr float underBottom = -32768.5f;
    qint64 clipped = 0;
    // The one-sample rules four samples at a time: the same float operations
    // in the same order, and the processor's rounding is the same
    // nearest-even that nearbyint uses, so the bytes are identical.
    size_t i = 0;
#if defined(__SSE2__) && Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    const __m128 g = _mm_set1_ps(gain);
    const __m128 low = _mm_set1_ps(-32768.0f);
    const __m128 high = _mm_set1_ps(32767.0f);
    const __m128 scale = _mm_set1_ps(32768.0f);
    const __m128 over = _mm_set1_ps(overTop);
    const __m128 under = _mm_set1_ps(underBottom);
    // Dither offsets are drawn a block ahead, in sample order.
    constexpr size_t block = 256;
    alignas(16) float offsets[block];
    const auto convert = [&](const float *from, const float *offset) {
        __m128 v = _mm_mul_ps(_mm_mul_ps(g, _mm_loadu_ps(from)), scale);
        v = _mm_and_ps(v, _mm_cmpord_ps(v, v)); // NaN is silence
        clipped += std::popcount(unsigned(_mm_movemask_ps(_mm_or_ps(_mm_cmpge_ps(v, over), _mm_cmplt_ps(v, under)))));
        if (offset)
            v = _mm_add_ps(v, _mm_load_ps(offset));
        v = _mm_min_ps(_mm_max_ps(v, low), high);
        return _mm_cvtps_epi32(v);
    };
    while (i + 8 <= samples.size()) {
        const size_t count = std::min(block, (samples.size() - i) / 8 * 8);
        if (dither) {
            for (size_t k = 0; k < count; ++k)
                offsets[k] = dither->next();
        }
        for (size_t k = 0; k < count; k += 8, i += 8) {
            const __m128i packed = _mm_packs_epi32(convert(samples.data() + i, dither ? offsets + k : nullptr),
                                                   convert(samples.data() + i + 4, dither ? offsets + k + 4 : nullptr));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 2 * i), packed);
        }
    }
#endif
    for (; i < samples.size(); ++i) {
        const float v = gain * samples[i] * 32768.0f;
        clipped += v >= overTop || v < underBottom;
        qToLittleEndian<qint16>(dither ? toCD(samples[i], gain, *dither) : toCD(samples[i], gain), out + 2 * i);
    }
    return clipped;
}

QStringList prepare(const QList<TrackItem> &tracks, bool matchLoudness, const std::function<void(double)> &progress,
                    CancelToken *cancel, QList<double> *seconds, QList<qint64> *clipped)
{
    const int n = int(tracks.size());
    if (n == 0)
        return {};
    const double a = matchLoudness ? 0.6 : 0.8;
    const double b = matchLoudness ? 0.4 : 0.2;
    const auto report = [&](double p) {
        if (progress)
            progress(p);
    };
    // Until a track has been decoded its listed length is the best guess of its cost.
    std::vector<double> cost(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        cost[size_t(i)] = tracks[i].seconds;

    std::vector<float> gain(size_t(n), 1.0f);
    if (matchLoudness) {
        std::vector<Level> levels(static_cast<size_t>(n));
        Batch measure(n, cancel);
        measure.run(
            biggestFirst(cost),
            [&](int i, const std::function<bool()> &stop) {
                const Measured m = measureTrack(tracks[i].path, stop);
                levels[size_t(i)] = m.level;
                // Decoding dominates both passes, so this orders the second well.
                cost[size_t(i)] = m.cost;
            },
            [&](int k) { report(a * k / n); });
        measure.rethrow();
        if (isCancelled(cancel))
            throw TDError::cancelled();
        gain = gains(levels);
    }

    const QString dir = cacheDir();
    QStringList files;
    for (int i = 0; i < n; ++i)
        files.append(dir + QLatin1Char('/') + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()
                     + QStringLiteral(".cdda"));

    std::vector<Written> written(static_cast<size_t>(n));
    Batch write(n, cancel);
    try {
        write.run(
            biggestFirst(cost),
            [&](int i, const std::function<bool()> &stop) {
                written[size_t(i)] = writeTrack(tracks[i].path, files[i], gain[size_t(i)], stop);
            },
            [&](int k) { report(matchLoudness ? a + b * k / n : a * k / n); });
        write.rethrow();
        // One pass did both jobs; its writing steps come once it is over.
        for (int k = 1; !matchLoudness && k <= n; ++k)
            report(a + b * k / n);
        if (isCancelled(cancel))
            throw TDError::cancelled();
    } catch (...) {
        cleanup(files);
        throw;
    }
    if (seconds) {
        seconds->clear();
        for (const Written &w : written)
            seconds->append(double(w.samples) / (2.0 * sampleRate));
    }
    if (clipped) {
        clipped->clear();
        for (const Written &w : written)
            clipped->append(w.clipped);
    }
    return files;
}

void cleanup(const QStringList &paths)
{
    for (const QString &path : paths)
        QFile::remove(path);
}

} // namespace AudioPrep
