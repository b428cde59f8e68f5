#include "AudioFixtures.h"
#include "TestEnv.h"
#include "audio/AudioPrep.h"
#include "audio/DiscProject.h"
#include "images/CancelToken.h"
#include "images/TDError.h"

#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <cmath>
#include <limits>

using namespace AudioFixtures;

Q_DECLARE_METATYPE(AudioPrep::Level)

namespace {

// The preparation as written out in full: every track in memory, levels and
// gains from the whole of it, then one conversion per sample. The streaming
// preparation must give exactly these bytes.
std::vector<QByteArray> referencePrepare(const std::vector<std::vector<float>> &tracks, bool matchLoudness)
{
    std::vector<float> gain(tracks.size(), 1.0f);
    if (matchLoudness) {
        std::vector<float> rms(tracks.size(), 0.0f), peak(tracks.size(), 0.0f);
        for (size_t t = 0; t < tracks.size(); ++t) {
            double sum = 0;
            for (float s : tracks[t]) {
                const float sq = s * s;
                sum += sq;
                peak[t] = std::max(peak[t], std::abs(s));
            }
            rms[t] = tracks[t].empty() ? 0.0f : float(std::sqrt(sum / double(tracks[t].size())));
        }
        float total = 0;
        int audible = 0;
        for (size_t t = 0; t < tracks.size(); ++t) {
            if (rms[t] > 0.0005f) {
                total += rms[t];
                ++audible;
            }
        }
        if (audible > 0) {
            const float target = total / float(audible);
            for (size_t t = 0; t < tracks.size(); ++t) {
                if (rms[t] > 0.0005f)
                    gain[t] = std::min(target / rms[t], peak[t] > 0 ? 0.966f / peak[t] : 1.0f);
            }
        }
    }
    std::vector<QByteArray> out;
    for (size_t t = 0; t < tracks.size(); ++t) {
        QByteArray bytes(qsizetype(tracks[t].size() * 2), Qt::Uninitialized);
        for (size_t i = 0; i < tracks[t].size(); ++i) {
            const float v = gain[t] * tracks[t][i];
            const qint16 q = v >= 1.0f ? qint16(32767) : qint16(std::max(v, -1.0f) * 32767.0f);
            qToLittleEndian(q, bytes.data() + 2 * i);
        }
        out.push_back(bytes);
    }
    return out;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TrackItem track(const QString &path, double seconds = 1)
{
    return {QUuid::createUuid(), path, TrackItem::titleFor(path), seconds};
}

// What a preparation threw, as the text the deck would show.
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

} // namespace

class TstAudioPrep : public QObject
{
    Q_OBJECT

private:
    TestEnv env;
    QString dir;
    QString cache() const { return env.path(QStringLiteral("xdg_cache_home/KLVO Tandor")); }
    QString fixture(const QString &name) const { return dir + QLatin1Char('/') + name; }

private slots:
    void initTestCase()
    {
        if (!haveFfmpeg())
            QSKIP("the ffmpeg command-line tool makes the fixtures");
        dir = env.path(QStringLiteral("fixtures"));
        QVERIFY(QDir().mkpath(dir));
        const QString codecFlac = QStringLiteral("flac");
        QVERIFY(TestEnv::writeWav(fixture("stereo.wav"), 1.5));
        QVERIFY(TestEnv::writeWav(fixture("mono22050.wav"), 1.0, 22050, 1));
        QVERIFY(TestEnv::writeWav(fixture("mono8k.wav"), 1.0, 8000, 1));
        QVERIFY(TestEnv::writeWav(fixture("silence.wav"), 0.0));
        QVERIFY(ffmpeg(tones(44100, 2.0, 2) + QStringList{"-c:a", codecFlac}, fixture("tones.flac")));
        QVERIFY(ffmpeg(tones(48000, 7.0, 2) + QStringList{"-c:a", "libmp3lame", "-b:a", "128k"}, fixture("tones48k.mp3")));
        QVERIFY(ffmpeg(tones(44100, 1.2, 2) + QStringList{"-c:a", "aac", "-b:a", "128k"}, fixture("tones.m4a")));
        QVERIFY(ffmpeg(tones(44100, 1.0, 2) + QStringList{"-c:a", "pcm_s16be"}, fixture("tones.aiff")));
        QVERIFY(ffmpeg(tones(32000, 1.0, 1) + QStringList{"-c:a", "libmp3lame"}, fixture("mono32k.mp3")));
        QVERIFY(ffmpeg(tones(48000, 1.0, 8, "7.1") + QStringList{"-c:a", codecFlac}, fixture("surround71.flac")));
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x64:rate=10:duration=1", "-c:v", "mpeg4", "-an"},
                       fixture("video.mp4")));
        QVERIFY(truncated(fixture("tones.flac"), fixture("truncated.flac"), QFileInfo(fixture("tones.flac")).size() / 2));
        QVERIFY(text(fixture("empty.wav"), {}));
        QVERIFY(text(fixture("notes.mp3"), QByteArray("These are my notes, not a song.\n").repeated(200)));
        // Silence with a real header: an audible-free track among loud ones.
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "anullsrc=r=44100:cl=stereo", "-t", "1", "-c:a", "pcm_s16le"},
                       fixture("quiet.wav")));
    }

    // A failed check leaves its files behind; the next test starts clean.
    void cleanup()
    {
        for (const QString &name : filesIn(cache()))
            QFile::remove(cache() + QLatin1Char('/') + name);
    }

    void quantisation_data()
    {
        QTest::addColumn<float>("sample");
        QTest::addColumn<float>("gain");
        QTest::addColumn<int>("expected");
        QTest::newRow("1.2 clips to the top") << 1.2f << 1.0f << 32767;
        QTest::newRow("-1.2 clips to -32767, never -32768") << -1.2f << 1.0f << -32767;
        QTest::newRow("0.5 truncates") << 0.5f << 1.0f << 16383;
        QTest::newRow("-0.5 truncates toward zero") << -0.5f << 1.0f << -16383;
        QTest::newRow("exactly 1.0") << 1.0f << 1.0f << 32767;
        QTest::newRow("exactly -1.0") << -1.0f << 1.0f << -32767;
        QTest::newRow("just below 1.0") << 0.99999994f << 1.0f << 32766;
        QTest::newRow("just below -1.0") << -1.0000001f << 1.0f << -32767;
        QTest::newRow("huge") << 3e38f << 1.0f << 32767;
        QTest::newRow("tiny positive") << 0.00003f << 1.0f << 0;
        QTest::newRow("gain applies before the clip") << 0.6f << 2.0f << 32767;
        QTest::newRow("gain lowers") << 0.5f << 0.5f << 8191;
        QTest::newRow("NaN is silence") << std::numeric_limits<float>::quiet_NaN() << 1.0f << 0;
        QTest::newRow("minus infinity") << -std::numeric_limits<float>::infinity() << 1.0f << -32767;
    }

    void quantisation()
    {
        QFETCH(float, sample);
        QFETCH(float, gain);
        QFETCH(int, expected);
        QCOMPARE(int(AudioPrep::toCD(sample, gain)), expected);
        // Long enough for the blocks of several samples and a remainder.
        const std::vector<float> run(19, sample);
        char bytes[2 * 19];
        AudioPrep::toCD(run, gain, bytes);
        for (int i = 0; i < 19; ++i)
            QCOMPARE(int(qFromLittleEndian<qint16>(bytes + 2 * i)), expected);
    }

    void gains_data()
    {
        QTest::addColumn<std::vector<AudioPrep::Level>>("levels");
        QTest::addColumn<std::vector<float>>("expected");
        QTest::newRow("quiet raised to the peak limit, loud lowered")
            << std::vector<AudioPrep::Level>{{0.1f, 0.5f}, {0.3f, 0.9f}} << std::vector<float>{1.932f, 0.6667f};
        QTest::newRow("a silent track keeps 1.0 and doesn't pull the target down")
            << std::vector<AudioPrep::Level>{{0.1f, 0.5f}, {0.0004f, 0.01f}, {0.3f, 0.9f}}
            << std::vector<float>{1.932f, 1.0f, 0.6667f};
        QTest::newRow("rms exactly at the threshold is inaudible")
            << std::vector<AudioPrep::Level>{{0.0005f, 0.001f}, {0.2f, 0.5f}} << std::vector<float>{1.0f, 1.0f};
        QTest::newRow("nothing audible: all 1.0")
            << std::vector<AudioPrep::Level>{{0.0f, 0.0f}, {0.0001f, 0.2f}} << std::vector<float>{1.0f, 1.0f};
        QTest::newRow("one track is its own target but still under the ceiling")
            << std::vector<AudioPrep::Level>{{0.5f, 1.0f}} << std::vector<float>{0.966f};
        QTest::newRow("equal tracks stay as they are")
            << std::vector<AudioPrep::Level>{{0.2f, 0.8f}, {0.2f, 0.8f}} << std::vector<float>{1.0f, 1.0f};
        QTest::newRow("no tracks") << std::vector<AudioPrep::Level>{} << std::vector<float>{};
    }

    void gains()
    {
        QFETCH(std::vector<AudioPrep::Level>, levels);
        QFETCH(std::vector<float>, expected);
        const std::vector<float> got = AudioPrep::gains(levels);
        QCOMPARE(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i)
            QVERIFY2(std::abs(got[i] - expected[i]) < 5e-4f, qPrintable(QString::number(got[i])));
    }

    void levelMeter_data()
    {
        QTest::addColumn<std::vector<float>>("samples");
        QTest::addColumn<float>("rms");
        QTest::addColumn<float>("peak");
        QTest::newRow("empty") << std::vector<float>{} << 0.0f << 0.0f;
        QTest::newRow("constant") << std::vector<float>(1000, -0.25f) << 0.25f << 0.25f;
        QTest::newRow("negative peak counts") << std::vector<float>{0.6f, -0.8f} << float(std::sqrt(0.5)) << 0.8f;
    }

    void levelMeter()
    {
        QFETCH(std::vector<float>, samples);
        QFETCH(float, rms);
        QFETCH(float, peak);
        AudioPrep::LevelMeter meter;
        meter.add(samples);
        QVERIFY(std::abs(meter.level().rms - rms) < 1e-6f);
        QCOMPARE(meter.level().peak, peak);
        QCOMPARE(meter.count(), qint64(samples.size()));
    }

    void levelMeterIgnoresChunking()
    {
        // Values whose squares don't add up exactly in any order.
        std::vector<float> samples(100003);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = float(std::sin(double(i) * 0.37) * (0.1 + 0.9 * double(i % 7) / 7.0));
        AudioPrep::LevelMeter whole, pieces;
        whole.add(samples);
        std::span<const float> rest(samples);
        for (size_t step = 1; !rest.empty(); step = step * 3 + 1) {
            const size_t take = std::min(step, rest.size());
            pieces.add(rest.first(take));
            rest = rest.subspan(take);
        }
        QCOMPARE(pieces.level(), whole.level());
    }

    void durations_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("seconds"); // negative: not audio
        QTest::newRow("WAV") << "stereo.wav" << 1.5;
        QTest::newRow("mono WAV at 22 050 Hz") << "mono22050.wav" << 1.0;
        QTest::newRow("FLAC") << "tones.flac" << 2.0;
        QTest::newRow("MP3 at 48 kHz") << "tones48k.mp3" << 7.0;
        QTest::newRow("M4A") << "tones.m4a" << 1.2;
        QTest::newRow("AIFF") << "tones.aiff" << 1.0;
        QTest::newRow("zero-byte file") << "empty.wav" << -1.0;
        QTest::newRow("text named .mp3") << "notes.mp3" << -1.0;
        QTest::newRow("video without sound") << "video.mp4" << -1.0;
        QTest::newRow("missing file") << "nothing-here.flac" << -1.0;
    }

    void durations()
    {
        QFETCH(QString, file);
        QFETCH(double, seconds);
        const std::optional<double> got = AudioPrep::duration(fixture(file));
        if (seconds < 0) {
            QVERIFY(!got);
            return;
        }
        QVERIFY(got);
        // Lossy encoders pad a little; the figure is for planning only.
        QVERIFY2(std::abs(*got - seconds) < 0.08, qPrintable(QString::number(*got)));
    }

    void decodeShapes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<bool>("sidesEqual");
        QTest::newRow("mono 22 050 Hz WAV feeds both sides") << "mono22050.wav" << 1.0 << true;
        QTest::newRow("mono 8 kHz WAV") << "mono8k.wav" << 1.0 << true;
        QTest::newRow("mono 32 kHz MP3") << "mono32k.mp3" << 1.0 << true;
        QTest::newRow("stereo 48 kHz MP3 keeps its sides") << "tones48k.mp3" << 7.0 << false;
        QTest::newRow("7.1 FLAC folds to stereo") << "surround71.flac" << 1.0 << false;
        QTest::newRow("AIFF") << "tones.aiff" << 1.0 << false;
        QTest::newRow("empty WAV") << "silence.wav" << 0.0 << true;
    }

    void decodeShapes()
    {
        QFETCH(QString, file);
        QFETCH(double, seconds);
        QFETCH(bool, sidesEqual);
        const std::vector<float> s = AudioPrep::decode(fixture(file));
        QCOMPARE(s.size() % 2, size_t(0));
        const double frames = double(s.size() / 2);
        // A resampler and a lossy encoder may each add or drop a few ms.
        QVERIFY2(std::abs(frames - seconds * 44100) <= 0.06 * 44100, qPrintable(QString::number(frames)));
        bool equal = true;
        double left = 0, right = 0;
        for (size_t i = 0; i + 1 < s.size(); i += 2) {
            equal = equal && s[i] == s[i + 1];
            left = std::max(left, double(std::abs(s[i])));
            right = std::max(right, double(std::abs(s[i + 1])));
        }
        QCOMPARE(equal, sidesEqual);
        if (seconds > 0) {
            QVERIFY(left > 0.05);
            QVERIFY(right > 0.05);
        }
        if (file == QLatin1String("mono22050.wav")) {
            // The 440 Hz sine of amplitude 12000 comes through at its level.
            QVERIFY(std::abs(left - 12000.0 / 32768) < 0.01);
        }
    }

    void badInput_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("error"); // empty: prepares
        QTest::newRow("zero-byte file") << "empty.wav" << "Couldn't read empty.wav. Try a WAV, AIFF, MP3 or M4A file.";
        QTest::newRow("text named .mp3") << "notes.mp3" << "Couldn't read notes.mp3. Try a WAV, AIFF, MP3 or M4A file.";
        QTest::newRow("video without sound") << "video.mp4"
                                             << "Couldn't read video.mp4. Try a WAV, AIFF, MP3 or M4A file.";
        QTest::newRow("missing file") << "gone.flac" << "Couldn't read gone.flac. Try a WAV, AIFF, MP3 or M4A file.";
        QTest::newRow("truncated FLAC plays what is there") << "truncated.flac" << QString();
        QTest::newRow("7.1 FLAC") << "surround71.flac" << QString();
        QTest::newRow("8 kHz mono") << "mono8k.wav" << QString();
    }

    void badInput()
    {
        QFETCH(QString, file);
        QFETCH(QString, error);
        for (const bool match : {false, true}) {
            QStringList files;
            const QString got = errorText([&] { files = AudioPrep::prepare({track(fixture(file))}, match); });
            QCOMPARE(got, error);
            if (error.isEmpty()) {
                QCOMPARE(files.size(), 1);
                const qint64 size = QFileInfo(files[0]).size();
                QVERIFY(size > 0);
                QCOMPARE(size % 4, 0);
                if (file == QLatin1String("truncated.flac"))
                    QVERIFY(size < 2 * 44100 * 4);
                AudioPrep::cleanup(files);
            }
            QVERIFY(filesIn(cache()).isEmpty());
        }
        if (!error.isEmpty()) {
            QString decodeError = errorText([&] { AudioPrep::decode(fixture(file)); });
            QCOMPARE(decodeError, error);
        }
    }

    void matchesReference_data()
    {
        QTest::addColumn<bool>("matchLoudness");
        QTest::newRow("loudness matched") << true;
        QTest::newRow("as recorded") << false;
    }

    void matchesReference()
    {
        QFETCH(bool, matchLoudness);
        const QStringList names{"stereo.wav",  "tones.flac",   "tones48k.mp3", "tones.m4a",   "mono22050.wav",
                                "quiet.wav",   "tones.aiff",   "mono32k.mp3",  "surround71.flac"};
        QList<TrackItem> tracks;
        std::vector<std::vector<float>> decoded;
        for (const QString &name : names) {
            tracks.append(track(fixture(name), AudioPrep::duration(fixture(name)).value_or(0)));
            decoded.push_back(AudioPrep::decode(fixture(name)));
        }
        const std::vector<QByteArray> expected = referencePrepare(decoded, matchLoudness);
        const QStringList files = AudioPrep::prepare(tracks, matchLoudness);
        QCOMPARE(files.size(), names.size());
        for (qsizetype i = 0; i < files.size(); ++i) {
            QVERIFY(files[i].startsWith(cache() + QLatin1Char('/')));
            QVERIFY(QFileInfo(files[i]).fileName().contains(
                QRegularExpression(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.cdda$"))));
            const QByteArray bytes = readAll(files[i]);
            QCOMPARE(bytes.size(), expected[size_t(i)].size());
            QVERIFY2(bytes == expected[size_t(i)], qPrintable(names[i]));
        }
        // Matching changed something, or the comparison proves little.
        if (matchLoudness) {
            const std::vector<QByteArray> plain = referencePrepare(decoded, false);
            QVERIFY(plain[1] != expected[1]);
        }
        AudioPrep::cleanup(files);
        QVERIFY(filesIn(cache()).isEmpty());
    }

    void progress_data()
    {
        QTest::addColumn<bool>("matchLoudness");
        QTest::addColumn<QList<double>>("expected");
        QTest::newRow("matched") << true << QList<double>{0.15, 0.3, 0.45, 0.6, 0.7, 0.8, 0.9, 1.0};
        QTest::newRow("as recorded") << false << QList<double>{0.2, 0.4, 0.6, 0.8, 0.85, 0.9, 0.95, 1.0};
    }

    void progress()
    {
        QFETCH(bool, matchLoudness);
        QFETCH(QList<double>, expected);
        const QList<TrackItem> tracks{track(fixture("stereo.wav"), 1.5), track(fixture("tones.flac"), 2),
                                      track(fixture("mono8k.wav"), 1), track(fixture("tones.aiff"), 1)};
        QList<double> seen;
        const Qt::HANDLE caller = QThread::currentThreadId();
        bool onCaller = true;
        const QStringList files = AudioPrep::prepare(tracks, matchLoudness, [&](double p) {
            seen.append(p);
            onCaller = onCaller && QThread::currentThreadId() == caller;
        });
        AudioPrep::cleanup(files);
        QVERIFY(onCaller);
        QCOMPARE(seen.size(), expected.size());
        for (qsizetype i = 0; i < seen.size(); ++i)
            QVERIFY2(qFuzzyCompare(seen[i], expected[i]), qPrintable(QString::number(seen[i])));
    }

    void firstFailingTrackWins_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QList<double>>("seconds");
        QTest::addColumn<QString>("error");
        // The later bad file claims to be longest, so it is started first.
        QTest::newRow("second of three unreadable")
            << QStringList{"stereo.wav", "notes.mp3", "video.mp4"} << QList<double>{1, 2, 500}
            << "Couldn't read notes.mp3. Try a WAV, AIFF, MP3 or M4A file.";
        QTest::newRow("bad file after good ones")
            << QStringList{"tones.flac", "stereo.wav", "empty.wav"} << QList<double>{2, 1.5, 0}
            << "Couldn't read empty.wav. Try a WAV, AIFF, MP3 or M4A file.";
    }

    void firstFailingTrackWins()
    {
        QFETCH(QStringList, files);
        QFETCH(QList<double>, seconds);
        QFETCH(QString, error);
        QList<TrackItem> tracks;
        for (qsizetype i = 0; i < files.size(); ++i)
            tracks.append(track(fixture(files[i]), seconds[i]));
        for (const bool match : {true, false}) {
            QList<double> seen;
            QCOMPARE(errorText([&] { AudioPrep::prepare(tracks, match, [&](double p) { seen.append(p); }); }), error);
            QVERIFY(filesIn(cache()).isEmpty());
            QVERIFY(seen.isEmpty() || seen.last() < (match ? 0.6 : 0.8));
        }
    }

    void cancelLeavesNothing_data()
    {
        QTest::addColumn<bool>("matchLoudness");
        QTest::addColumn<int>("afterSteps"); // progress steps before the cancel; 0: before the start
        QTest::newRow("before the start") << true << 0;
        QTest::newRow("while measuring") << true << 1;
        QTest::newRow("while writing") << true << 4;
        QTest::newRow("in one pass") << false << 1;
    }

    void cancelLeavesNothing()
    {
        QFETCH(bool, matchLoudness);
        QFETCH(int, afterSteps);
        const QList<TrackItem> tracks{track(fixture("tones.flac"), 2), track(fixture("tones48k.mp3"), 7),
                                      track(fixture("stereo.wav"), 1.5), track(fixture("mono22050.wav"), 1)};
        CancelToken token;
        if (afterSteps == 0)
            token.cancel();
        int steps = 0;
        const QString got = errorText([&] {
            AudioPrep::prepare(tracks, matchLoudness, [&](double) {
                if (++steps == afterSteps)
                    token.cancel();
            }, &token);
        });
        QCOMPARE(got, TDError::cancelled().text());
        QVERIFY(filesIn(cache()).isEmpty());
    }

    void writeFailureLeavesNothing()
    {
        // A file where the cache folder should be: nothing can be written.
        QVERIFY(QDir(cache()).removeRecursively());
        QVERIFY(text(cache(), "in the way"));
        bool threwWrite = false;
        try {
            AudioPrep::prepare({track(fixture("stereo.wav")), track(fixture("tones.flac"))}, true);
        } catch (const TDError &e) {
            threwWrite = e.kind() == TDError::Kind::writeFailed && !e.message().isEmpty();
        }
        QVERIFY(QFile::remove(cache()));
        QVERIFY(threwWrite);
        QCOMPARE(AudioPrep::cacheDir(), cache());
        QVERIFY(QFileInfo(cache()).isDir());
    }

    void cleanupIgnoresMissingFiles()
    {
        const QStringList files = AudioPrep::prepare({track(fixture("stereo.wav"))}, false);
        QCOMPARE(filesIn(cache()).size(), 1);
        AudioPrep::cleanup(files + QStringList{cache() + "/missing.cdda"});
        QVERIFY(filesIn(cache()).isEmpty());
        AudioPrep::cleanup(files);
    }

    void prepareNothing() { QVERIFY(AudioPrep::prepare({}, true).isEmpty()); }
};

QTEST_GUILESS_MAIN(TstAudioPrep)
#include "tst_audioprep.moc"
