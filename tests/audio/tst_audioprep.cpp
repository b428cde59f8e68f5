#include "FuzzSeeds.h"
#include "ImageFixtures.h"
#include "TestEnv.h"
#include "audio/AudioPrep.h"
#include "audio/DiscProject.h"
#include "base/CancelToken.h"
#include "base/TDError.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The preparation as first written: the whole disc in memory, levels from
// all of it, then one conversion per sample, dithered unless the track is
// exact and keeps its level. prepare() must match it byte for byte, and
// count as clipped (`over`) the samples that rounding alone would push out.
std::vector<QByteArray> reference(const std::vector<std::vector<float>> &tracks, const std::vector<bool> &exact,
                                  bool matchLoudness, QList<qint64> *over = nullptr)
{
    std::vector<AudioPrep::Level> levels;
    for (const std::vector<float> &track : tracks) {
        double sum = 0;
        float peak = 0;
        for (float s : track) {
            sum += s * s;
            peak = std::max(peak, std::abs(s));
        }
        levels.push_back({track.empty() ? 0.0f : float(std::sqrt(sum / double(track.size()))), peak});
    }
    const std::vector<float> gain = matchLoudness ? AudioPrep::gains(levels) : std::vector<float>(tracks.size(), 1.0f);
    std::vector<QByteArray> out;
    for (size_t t = 0; t < tracks.size(); ++t) {
        QByteArray bytes(qsizetype(tracks[t].size() * 2), Qt::Uninitialized);
        AudioPrep::Dither dither;
        const bool plain = exact[t] && gain[t] == 1.0f;
        qint64 clipped = 0;
        for (size_t i = 0; i < tracks[t].size(); ++i) {
            const float s = tracks[t][i];
            qToLittleEndian(plain ? AudioPrep::toCD(s, gain[t]) : AudioPrep::toCD(s, gain[t], dither), bytes.data() + 2 * i);
            const double rounded = std::nearbyint(double(gain[t] * s) * 32768);
            clipped += rounded != std::clamp(rounded, -32768.0, 32767.0);
        }
        out.push_back(bytes);
        if (over)
            over->append(clipped);
    }
    return out;
}

TrackItem track(const QString &path, double seconds = 1)
{
    return {QUuid::createUuid(), path, TrackItem::titleFor(path), seconds};
}

// What a call threw, as the text the deck would show; empty when nothing.
template <typename F>
QString errorText(F &&run)
{
    try {
        run();
    } catch (const PrepError &e) {
        return e.text();
    } catch (const TDError &e) {
        return e.text();
    }
    return {};
}

QString unreadable(const QString &name)
{
    return QStringLiteral("Couldn't read ") + name + QStringLiteral(". Try a WAV, AIFF, MP3 or M4A file.");
}

} // namespace

class TstAudioPrep : public QObject
{
    Q_OBJECT

    TestEnv env;
    QString cache() const { return env.path(QStringLiteral("xdg_cache_home/KLVO Tandor")); }
    QString at(const QString &name) const { return env.path(name); }
    QStringList cached() const { return QDir(cache()).entryList(QDir::Files | QDir::Hidden); }

    // Tones of different pitch on each channel, through ffmpeg's encoders.
    void encode(const QString &name, int rate, double seconds, int channels, const QStringList &codec)
    {
        QStringList tones;
        for (int c = 0; c < channels; ++c)
            tones << QStringLiteral("%1*sin(2*PI*%2*t)*(0.6+0.4*sin(3*t))").arg(0.5 - 0.05 * c).arg(330 + 110 * c);
        QString source = tones.join(QLatin1Char('|')) + QStringLiteral(":s=%1:d=%2").arg(rate).arg(seconds);
        if (channels == 8)
            source += QStringLiteral(":c=7.1");
        ffmpeg(QStringList{"-f", "lavfi", "-i", "aevalsrc=" + source} + codec, name);
    }
    // Starts making a file; the runs go side by side until made() waits for them.
    void ffmpeg(const QStringList &args, const QString &name)
    {
        running.emplace_back(name, std::make_unique<QProcess>());
        running.back().second->start(QStringLiteral("ffmpeg"), QStringList{"-nostdin", "-v", "error", "-y"} + args + QStringList{at(name)});
    }
    std::vector<std::pair<QString, std::unique_ptr<QProcess>>> running;
    // The files whose run failed or left nothing.
    QStringList made()
    {
        QStringList failed;
        for (const auto &[name, p] : std::exchange(running, {})) {
            if (!p->waitForFinished(60000) || p->exitCode() != 0 || QFileInfo(at(name)).size() == 0)
                failed << name;
        }
        return failed;
    }
    // The CD audio prepare() makes of one file, the cache left empty.
    QByteArray prepared(const QString &name, bool match) const
    {
        const QStringList files = AudioPrep::prepare({track(at(name))}, match);
        const QByteArray bytes = readFile(files.value(0));
        AudioPrep::cleanup(files);
        return bytes;
    }
    // The file as ffmpeg itself turns it into CD audio.
    QByteArray pcm(const QString &name) const
    {
        QProcess p;
        p.start(QStringLiteral("ffmpeg"), {"-nostdin", "-v", "error", "-i", at(name), "-f", "s16le", "-ar", "44100", "-ac", "2", "-"});
        return p.waitForFinished(60000) && p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            QSKIP("the ffmpeg command-line tool makes the fixtures");
        QVERIFY(TestEnv::writeWav(at("stereo.wav"), 1.5));
        QVERIFY(TestEnv::writeWav(at("mono22050.wav"), 1.0, 22050, 1));
        QVERIFY(TestEnv::writeWav(at("mono8k.wav"), 1.0, 8000, 1));
        // A header claiming 10 MHz: a hundred samples, refused before any resampling.
        QVERIFY(TestEnv::writeWav(at("absurd.wav"), 0.00001, 10'000'000, 1));
        encode("tones.flac", 44100, 2.0, 2, {"-c:a", "flac"});
        encode("tones48k.mp3", 48000, 2.5, 2, {"-c:a", "libmp3lame"});
        encode("tones.m4a", 44100, 1.2, 2, {"-c:a", "aac"});
        encode("tones.aiff", 44100, 1.0, 2, {"-c:a", "pcm_s16be"});
        encode("mono32k.mp3", 32000, 1.0, 1, {"-c:a", "libmp3lame"});
        encode("surround71.flac", 48000, 1.0, 8, {"-c:a", "flac"});
        ffmpeg({"-f", "lavfi", "-i", "anullsrc=r=44100", "-t", "1"}, "quiet.wav");
        // Loud noise and a sweep, the same on every run, at CD quality and not.
        const QString noise = "aevalsrc=0.9*(2*random(0)-1)|0.8*sin(2*PI*(60+3000*t)*t):d=0.5:s=";
        ffmpeg({"-f", "lavfi", "-i", noise + "44100", "-c:a", "flac", "-sample_fmt", "s16"}, "noise.flac");
        ffmpeg({"-f", "lavfi", "-i", noise + "44100", "-c:a", "flac", "-sample_fmt", "s32"}, "noise24.flac");
        ffmpeg({"-f", "lavfi", "-i", noise + "48000", "-c:a", "pcm_s16le"}, "noise48k.wav");
        const QString square = "aevalsrc=if(gt(sin(2*PI*441*t)\\,0)\\,1\\,-1)|0.99*(2*random(0)-1):d=1:s=44100";
        ffmpeg({"-f", "lavfi", "-i", square, "-c:a", "pcm_s16le"}, "loud.wav");
        ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x64:d=1", "-c:v", "mpeg4"}, "video.mp4");
        QCOMPARE(made(), QStringList());
        QFile flac(at("tones.flac"));
        QVERIFY(flac.open(QIODevice::ReadOnly));
        QVERIFY(writeFile(at("truncated.flac"), flac.read(flac.size() / 2)));
        QVERIFY(writeFile(at("empty.wav"), {}));
        QVERIFY(writeFile(at("notes.mp3"), QByteArray("These are my notes, not a song.\n").repeated(200)));

        // The audio target's input: a byte naming the extension, then the
        // file, cut to the 64 KiB the target reads.
        const QStringList extensions{"wav", "aiff", "mp3", "m4a", "flac"};
        for (const QFileInfo &file : QDir(env.root()).entryInfoList(QDir::Files)) {
            QFile f(file.filePath());
            if (extensions.contains(file.suffix()) && f.open(QIODevice::ReadOnly))
                keepFuzzSeed(QStringLiteral("audio"), char(extensions.indexOf(file.suffix())) + f.read(65535));
        }
    }

    // A failed check leaves its files behind; the next test starts clean.
    void cleanup()
    {
        for (const QString &name : cached())
            QFile::remove(cache() + QLatin1Char('/') + name);
    }

    // The CD sample is the float scaled by 32768 and rounded to nearest, so
    // k / 32768 gives k back for every 16-bit k; the clip lets -32768 through.
    // A sample counts as clipped when rounding alone would leave the range.
    void quantisation()
    {
        const struct { float sample; float gain; int expected; bool clipped; } rows[] = {
            {-1.2f, 1.0f, -32768, true}, // -1.2 clips to the bottom
            {1.0f, 1.0f, 32767, true}, // exactly 1.0
            {32767.5f / 32768, 1.0f, 32767, true}, // half a step over the top
            {32767.0f / 32768, 1.0f, 32767, false}, // the top sample
            {-1.0f, 1.0f, -32768, false}, // -1.0 is the bottom sample
            {-12345.0f / 32768, 1.0f, -12345, false}, // a 16-bit value comes back
            {0.6f / 32768, 1.0f, 1, false}, // 0.6 of a step rounds up
            {-0.4f / 32768, 1.0f, 0, false}, // -0.4 of a step rounds to zero
            {0.6f, 2.0f, 32767, true}, // gain applies before the clip
            {std::numeric_limits<float>::quiet_NaN(), 1.0f, 0, false}, // NaN is silence
            {-std::numeric_limits<float>::infinity(), 1.0f, -32768, true}, // minus infinity
        };
        for (auto [sample, gain, expected, clipped] : rows) {
            QCOMPARE(int(AudioPrep::toCD(sample, gain)), expected);
            // Long enough for the blocks of several samples and a remainder.
            const std::vector<float> run(19, sample);
            char bytes[2 * 19];
            QCOMPARE(AudioPrep::toCD(run, gain, bytes), qint64(clipped ? 19 : 0));
            for (int i = 0; i < 19; ++i)
                QCOMPARE(int(qFromLittleEndian<qint16>(bytes + 2 * i)), expected);
        }
    }

    // Dither turns a level between two steps into the right average, with
    // the noise of a triangular offset of up to a step either way plus the
    // rounding (1/6 + 1/12 = 1/4 of a step squared). Plain rounding can't
    // give the average; a flat offset would give too little noise.
    void ditherLinearises()
    {
        // steps: the level, in steps of the 16-bit scale
        const struct { double steps; float gain; } rows[] = {
            {0.25, 1.0f}, // a quarter step
            {20000.3, 1.0f}, // loud, between steps
            {1000.7, 0.5f}, // through a gain
        };
        for (auto [steps, gain] : rows) {
            const int n = 200000;
            const std::vector<float> samples(n, float(steps / 32768 / gain));
            std::vector<char> bytes(2 * n);
            AudioPrep::Dither dither;
            AudioPrep::toCD(samples, gain, bytes.data(), &dither);
            const double level = double(gain * samples[0]) * 32768;
            double sum = 0, squares = 0, worst = 0;
            for (int i = 0; i < n; ++i) {
                const double error = qFromLittleEndian<qint16>(bytes.data() + 2 * i) - level;
                worst = std::max(worst, std::abs(error));
                sum += error;
                squares += error * error;
            }
            QVERIFY2(worst < 1.5, qPrintable(QString::number(worst)));
            QVERIFY2(std::abs(sum / n) < 0.01, qPrintable(QString::number(sum / n)));
            QVERIFY2(std::abs(squares / n - 0.25) < 0.02, qPrintable(QString::number(squares / n)));
        }
    }

    // Surround folds to stereo at the standard levels (centre and surrounds
    // -3 dB, no LFE), scaled so that the fold can't clip.
    void surroundFold()
    {
        const double a = std::pow(10.0, -1.0 / 20); // -1 dBFS
        const double fold = 1 + 2 * M_SQRT1_2;
        // levels: per channel, in the layout's order; left, right: expected peaks, as a fraction of full scale
        const struct { QString layout; int rate; QList<double> levels; double left, right; } rows[] = {
            {"5.1", 44100, {a, a, a, a, a, a}, a, a}, // all at -1 dBFS
            {"5.1(side)", 48000, {a, a, a, a, a, a}, a, a},
            {"5.1", 44100, {a, 0, 0, 0, 0, 0}, a / fold, 0.0}, // front left only
            {"5.1", 44100, {0, 0, a, 0, 0, 0}, a * M_SQRT1_2 / fold, a * M_SQRT1_2 / fold}, // centre only
            {"5.1", 44100, {0, 0, 0, a, 0, 0}, 0.0, 0.0}, // LFE is dropped
            {"5.1", 48000, {0, 0, 0, 0, 0, a}, 0.0, a * M_SQRT1_2 / fold}, // right surround only
            {"7.1", 48000, {a, a, a, a, a, a, a, a}, a, a},
        };
        // A third of a second holds hundreds of the tone's peaks.
        for (int r = 0; r < int(std::size(rows)); ++r) {
            QStringList channels;
            for (double level : rows[r].levels)
                channels << QStringLiteral("%1*sin(2*PI*1000*t)").arg(level, 0, 'f', 6);
            const QString source = "aevalsrc=" + channels.join(QLatin1Char('|')) + QStringLiteral(":c=%1:s=%2:d=0.3").arg(rows[r].layout).arg(rows[r].rate);
            ffmpeg({"-f", "lavfi", "-i", source, "-c:a", "flac", "-sample_fmt", "s32"}, QStringLiteral("fold%1.flac").arg(r));
        }
        QCOMPARE(made(), QStringList());
        for (int r = 0; r < int(std::size(rows)); ++r) {
            const QByteArray bytes = prepared(QStringLiteral("fold%1.flac").arg(r), false);
            QVERIFY(bytes.size() > 44100 * 4 * 3 / 10 * 9 / 10);
            int peak[2] = {0, 0};
            for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
                const int v = qFromLittleEndian<qint16>(bytes.constData() + i);
                peak[(i / 2) % 2] = std::max(peak[(i / 2) % 2], std::abs(v));
            }
            QVERIFY2(std::max(peak[0], peak[1]) < 32767, "the fold clipped");
            // Within a step of dither, or 1 % of the level.
            for (const auto &[got, want] : {std::pair(peak[0], rows[r].left), std::pair(peak[1], rows[r].right)})
                QVERIFY2(std::abs(got - want * 32768) <= std::max(1.0, want * 32768 * 0.01), qPrintable(QString::number(got)));
        }
    }

    void gains()
    {
        using L = std::vector<AudioPrep::Level>;
        const struct { L levels; std::vector<float> expected; } rows[] = {
            {L{{0.1f, 0.5f}, {0.3f, 0.9f}}, {1.932f, 0.6667f}}, // quiet raised to its peak limit, loud lowered
            {L{{0.1f, 0.5f}, {0.0004f, 0.01f}, {0.3f, 0.9f}}, {1.932f, 1.0f, 0.6667f}}, // silence keeps 1.0, pulls nothing down
            {L{{0.0005f, 0.001f}, {0.2f, 0.5f}}, {1.0f, 1.0f}}, // rms at the threshold is inaudible
            {L{{0.0f, 0.0f}, {0.0001f, 0.2f}}, {1.0f, 1.0f}}, // nothing audible
            {L{{0.5f, 1.0f}}, {0.966f}}, // one loud track is held under the ceiling
        };
        for (const auto &r : rows) {
            const std::vector<float> got = AudioPrep::gains(r.levels);
            QCOMPARE(got.size(), r.expected.size());
            for (size_t i = 0; i < got.size(); ++i)
                QVERIFY2(std::abs(got[i] - r.expected[i]) < 5e-4f, qPrintable(QString::number(got[i])));
        }
    }

    // Every kind of file a user might pick: its length, what it decodes to,
    // and what preparing it does. No row may leave a file in the cache.
    void files()
    {
        // error: empty: prepares; endsEarly: plays well short of its announced length
        const struct { QString file; double seconds; bool sidesEqual; QString error; bool endsEarly; } rows[] = {
            {"stereo.wav", 1.5, true, "", false}, // WAV
            {"mono22050.wav", 1.0, true, "", false}, // mono 22 050 Hz feeds both sides
            {"mono32k.mp3", 1.0, true, "", false}, // mono 32 kHz MP3
            {"tones.flac", 2.0, false, "", false}, // FLAC
            {"tones48k.mp3", 2.5, false, "", false}, // MP3 at 48 kHz
            {"tones.m4a", 1.2, false, "", false}, // M4A
            {"tones.aiff", 1.0, false, "", false}, // AIFF
            {"surround71.flac", 1.0, false, "", false}, // 7.1 folds to stereo
            {"truncated.flac", -1.0, false, "", true}, // truncated FLAC plays what is there
            {"empty.wav", -1.0, true, unreadable("empty.wav"), false}, // zero-byte file
            {"notes.mp3", -1.0, true, unreadable("notes.mp3"), false}, // text named .mp3
            {"video.mp4", -1.0, true, unreadable("video.mp4"), false}, // video without sound
            {"gone.flac", -1.0, true, unreadable("gone.flac"), false}, // missing file
            {"absurd.wav", -1.0, true, unreadable("absurd.wav"), false}, // a rate no recording has
        };
        for (auto [file, seconds, sidesEqual, error, endsEarly] : rows) {
            const std::optional<double> length = AudioPrep::duration(at(file));
            QCOMPARE(length.has_value(), error.isEmpty());
            // Lossy encoders and resamplers add or drop a few milliseconds.
            if (seconds >= 0)
                QVERIFY2(std::abs(*length - seconds) < 0.06, qPrintable(QString::number(*length)));

            std::vector<float> s;
            QCOMPARE(errorText([&] { s = AudioPrep::decode(at(file)); }), error);
            const std::optional<double> counted = AudioPrep::playedSeconds(at(file));
            QCOMPARE(counted.has_value(), error.isEmpty());
            if (error.isEmpty()) {
                // Counting the decoded samples comes to what converting them gives.
                QVERIFY2(std::abs(*counted - double(s.size()) / 2 / 44100) < 0.01, qPrintable(QString::number(*counted)));
                if (seconds >= 0)
                    QVERIFY(std::abs(double(s.size() / 2) - seconds * 44100) < 0.06 * 44100);
                bool equal = true;
                float left = 0, right = 0;
                for (size_t i = 0; i + 1 < s.size(); i += 2) {
                    equal = equal && s[i] == s[i + 1];
                    left = std::max(left, std::abs(s[i]));
                    right = std::max(right, std::abs(s[i + 1]));
                }
                QCOMPARE(equal, sidesEqual);
                QVERIFY(left > 0.05f && right > 0.05f);
                if (file == QLatin1String("mono22050.wav")) // the sine keeps its level: no -3 dB pan
                    QVERIFY(std::abs(left - 12000.0f / 32768) < 0.01f);
            }
            for (const bool match : {false, true}) {
                QStringList files;
                QList<double> played;
                QCOMPARE(errorText([&] { files = AudioPrep::prepare({track(at(file))}, match, {}, nullptr, &played); }), error);
                if (error.isEmpty()) {
                    QCOMPARE(QFileInfo(files.value(0)).size(), qint64(2 * s.size()));
                    QCOMPARE(played, QList<double>{double(s.size()) / 2 / 44100});
                    QCOMPARE(played[0] < *length - AudioPrep::earlyEndSeconds, endsEarly);
                }
                AudioPrep::cleanup(files);
                QVERIFY(cached().isEmpty());
            }
        }
    }

    // Every kind of source, loudness matched and as recorded. A CD-quality
    // one (16 bits at 44.1 kHz) with nothing to change is written untouched;
    // any change of level, rate or depth is dithered.
    void matchesReference()
    {
        const QStringList names{"stereo.wav", "tones.flac",   "tones48k.mp3", "tones.m4a",    "mono22050.wav",
                                "quiet.wav",  "tones.aiff",   "mono32k.mp3",  "surround71.flac", "noise.flac",
                                "noise24.flac", "noise48k.wav", "loud.wav"};
        QList<TrackItem> tracks;
        std::vector<std::vector<float>> decoded;
        std::vector<bool> exact;
        for (const QString &name : names) {
            tracks.append(track(at(name), AudioPrep::duration(at(name)).value_or(0)));
            bool e = false;
            decoded.push_back(AudioPrep::decode(at(name), nullptr, &e));
            exact.push_back(e);
        }
        // Both kinds of track are in the mix (ffmpeg writes these tones as 24-bit FLAC).
        QCOMPARE(exact, (std::vector<bool>{true, false, false, false, false, true, true, false, false, true, false, false, true}));
        for (const bool matchLoudness : {true, false}) {
            QList<qint64> over;
            const std::vector<QByteArray> expected = reference(decoded, exact, matchLoudness, &over);
            QList<double> seen;
            bool onCaller = true;
            QList<qint64> clipped;
            const QStringList files = AudioPrep::prepare(
                tracks, matchLoudness,
                [&, caller = QThread::currentThread()](double p) {
                    seen.append(p);
                    onCaller = onCaller && QThread::currentThread() == caller;
                },
                nullptr, nullptr, &clipped);
            QCOMPARE(files.size(), names.size());
            // Progress rises at every track, to 1.0, on the caller's thread.
            QVERIFY(onCaller);
            QVERIFY(seen.size() >= names.size() && seen.first() > 0 && seen.last() == 1.0);
            QVERIFY(std::is_sorted(seen.begin(), seen.end()) && std::adjacent_find(seen.begin(), seen.end()) == seen.end());
            const QRegularExpression uuidName(QStringLiteral("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.cdda$"));
            for (qsizetype i = 0; i < files.size(); ++i) {
                QCOMPARE(QFileInfo(files[i]).path(), cache());
                QVERIFY(uuidName.match(QFileInfo(files[i]).fileName()).hasMatch());
                QFile f(files[i]);
                QVERIFY(f.open(QIODevice::ReadOnly));
                const QByteArray bytes = f.readAll();
                QVERIFY2(bytes == expected[size_t(i)], qPrintable(names[i]));
                // …and an untouched track is the source's own PCM, as ffmpeg reads it.
                if (exact[size_t(i)] && !matchLoudness)
                    QVERIFY2(bytes == pcm(names[i]), qPrintable(names[i]));
            }
            // Every sample that had to be clipped is counted: resampled, the
            // loud noise at 48 kHz overshoots full scale.
            QCOMPARE(clipped, over);
            QVERIFY(matchLoudness || over[names.indexOf("noise48k.wav")] > 0);
            // Matching has to change something, or the comparison proves little.
            QVERIFY(reference(decoded, exact, !matchLoudness)[1] != expected[1]);
            AudioPrep::cleanup(files);
            QVERIFY(cached().isEmpty());
        }
    }

    void failures()
    {
        // The later bad file claims to be the longest, so it is started first.
        const QStringList four{"tones48k.mp3", "tones.flac", "stereo.wav", "mono22050.wav"};
        const QList<double> lengths{2.5, 2, 1.5, 1};
        // cancelAfter: progress steps before the stop button; -1: never
        const struct { QStringList files; QList<double> seconds; int cancelAfter; QString error; } rows[] = {
            {QStringList{"stereo.wav", "notes.mp3", "video.mp4"}, QList<double>{1, 2, 500}, -1, unreadable("notes.mp3")}, // the lower-numbered bad track wins
            {QStringList{"tones.flac", "stereo.wav", "empty.wav"}, QList<double>{2, 1.5, 0}, -1, unreadable("empty.wav")}, // bad last track
            {four, lengths, 0, TDError::cancelled().text()}, // stopped before the start
            {four, lengths, 1, TDError::cancelled().text()}, // stopped while measuring
            {four, lengths, 5, TDError::cancelled().text()}, // stopped while writing
        };
        for (auto [files, seconds, cancelAfter, error] : rows) {
            QList<TrackItem> tracks;
            for (qsizetype i = 0; i < files.size(); ++i)
                tracks.append(track(at(files[i]), seconds[i]));
            for (const bool match : {true, false}) {
                CancelToken token;
                if (cancelAfter == 0)
                    token.cancel();
                int steps = 0;
                const auto progress = [&](double) {
                    if (++steps == cancelAfter)
                        token.cancel();
                };
                QCOMPARE(errorText([&] { AudioPrep::prepare(tracks, match, progress, &token); }), error);
                QVERIFY(cached().isEmpty());
            }
        }
    }

    void writeFailure()
    {
        // A file where the cache folder should be: nothing can be written.
        QVERIFY(QDir(cache()).removeRecursively());
        QVERIFY(writeFile(cache(), "in the way"));
        TDError::Kind kind = TDError::Kind::cancelled;
        try {
            AudioPrep::prepare({track(at("stereo.wav")), track(at("tones.flac"))}, true);
        } catch (const TDError &e) {
            kind = e.kind();
        }
        QVERIFY(QFile::remove(cache()));
        QCOMPARE(kind, TDError::Kind::writeFailed);
        QCOMPARE(AudioPrep::cacheDir(), cache());
        QVERIFY(QFileInfo(cache()).isDir());
    }
};

QTEST_GUILESS_MAIN(TstAudioPrep)
#include "tst_audioprep.moc"
