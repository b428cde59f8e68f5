#include "TestEnv.h"
#include "audio/AudioPrep.h"
#include "audio/DiscProject.h"
#include "images/CancelToken.h"
#include "images/TDError.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(AudioPrep::Level)

namespace {

// The preparation as first written: the whole disc in memory, levels from
// all of it, then one conversion per sample. prepare() must match it byte
// for byte.
std::vector<QByteArray> reference(const std::vector<std::vector<float>> &tracks, bool matchLoudness)
{
    std::vector<float> gain(tracks.size(), 1.0f), rms(tracks.size(), 0.0f), peak(tracks.size(), 0.0f);
    float total = 0;
    int audible = 0;
    for (size_t t = 0; t < tracks.size(); ++t) {
        double sum = 0;
        for (float s : tracks[t]) {
            const float square = s * s;
            sum += square;
            peak[t] = std::max(peak[t], std::abs(s));
        }
        rms[t] = tracks[t].empty() ? 0.0f : float(std::sqrt(sum / double(tracks[t].size())));
        if (rms[t] > 0.0005f) {
            total += rms[t];
            ++audible;
        }
    }
    for (size_t t = 0; matchLoudness && audible > 0 && t < tracks.size(); ++t) {
        if (rms[t] > 0.0005f)
            gain[t] = std::min(total / float(audible) / rms[t], peak[t] > 0 ? 0.966f / peak[t] : 1.0f);
    }
    std::vector<QByteArray> out;
    for (size_t t = 0; t < tracks.size(); ++t) {
        QByteArray bytes(qsizetype(tracks[t].size() * 2), Qt::Uninitialized);
        for (size_t i = 0; i < tracks[t].size(); ++i) {
            const float v = gain[t] * tracks[t][i];
            qToLittleEndian(v >= 1.0f ? qint16(32767) : qint16(std::max(v, -1.0f) * 32767.0f), bytes.data() + 2 * i);
        }
        out.push_back(bytes);
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
    bool encode(const QString &name, int rate, double seconds, int channels, const QStringList &codec)
    {
        QStringList tones;
        for (int c = 0; c < channels; ++c)
            tones << QStringLiteral("%1*sin(2*PI*%2*t)*(0.6+0.4*sin(3*t))").arg(0.5 - 0.05 * c).arg(330 + 110 * c);
        QString source = tones.join(QLatin1Char('|')) + QStringLiteral(":s=%1:d=%2").arg(rate).arg(seconds);
        if (channels == 8)
            source += QStringLiteral(":c=7.1");
        return ffmpeg(QStringList{"-f", "lavfi", "-i", "aevalsrc=" + source} + codec, name);
    }
    bool ffmpeg(const QStringList &args, const QString &name)
    {
        QProcess p;
        p.start(QStringLiteral("ffmpeg"), QStringList{"-nostdin", "-v", "error", "-y"} + args + QStringList{at(name)});
        return p.waitForFinished(60000) && p.exitCode() == 0 && QFileInfo(at(name)).size() > 0;
    }
    bool write(const QString &name, const QByteArray &bytes)
    {
        QFile f(at(name));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            QSKIP("the ffmpeg command-line tool makes the fixtures");
        QVERIFY(TestEnv::writeWav(at("stereo.wav"), 1.5));
        QVERIFY(TestEnv::writeWav(at("mono22050.wav"), 1.0, 22050, 1));
        QVERIFY(TestEnv::writeWav(at("mono8k.wav"), 1.0, 8000, 1));
        QVERIFY(encode("tones.flac", 44100, 2.0, 2, {"-c:a", "flac"}));
        QVERIFY(encode("tones48k.mp3", 48000, 7.0, 2, {"-c:a", "libmp3lame"}));
        QVERIFY(encode("tones.m4a", 44100, 1.2, 2, {"-c:a", "aac"}));
        QVERIFY(encode("tones.aiff", 44100, 1.0, 2, {"-c:a", "pcm_s16be"}));
        QVERIFY(encode("mono32k.mp3", 32000, 1.0, 1, {"-c:a", "libmp3lame"}));
        QVERIFY(encode("surround71.flac", 48000, 1.0, 8, {"-c:a", "flac"}));
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "anullsrc=r=44100", "-t", "1"}, "quiet.wav"));
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x64:d=1", "-c:v", "mpeg4"}, "video.mp4"));
        QFile flac(at("tones.flac"));
        QVERIFY(flac.open(QIODevice::ReadOnly));
        QVERIFY(write("truncated.flac", flac.read(flac.size() / 2)));
        QVERIFY(write("empty.wav", {}));
        QVERIFY(write("notes.mp3", QByteArray("These are my notes, not a song.\n").repeated(200)));
    }

    // A failed check leaves its files behind; the next test starts clean.
    void cleanup()
    {
        for (const QString &name : cached())
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
        QTest::newRow("just below 1.0") << 0.99999994f << 1.0f << 32766;
        QTest::newRow("just below -1.0") << -1.0000001f << 1.0f << -32767;
        QTest::newRow("gain applies before the clip") << 0.6f << 2.0f << 32767;
        QTest::newRow("gain lowers") << 0.5f << 0.5f << 8191;
        QTest::newRow("NaN is silence") << std::numeric_limits<float>::quiet_NaN() << 1.0f << 0;
        QTest::newRow("huge") << 3e38f << 1.0f << 32767;
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
        using L = std::vector<AudioPrep::Level>;
        QTest::addColumn<L>("levels");
        QTest::addColumn<std::vector<float>>("expected");
        QTest::newRow("quiet raised to its peak limit, loud lowered")
            << L{{0.1f, 0.5f}, {0.3f, 0.9f}} << std::vector<float>{1.932f, 0.6667f};
        QTest::newRow("a silent track keeps 1.0 and doesn't pull the target down")
            << L{{0.1f, 0.5f}, {0.0004f, 0.01f}, {0.3f, 0.9f}} << std::vector<float>{1.932f, 1.0f, 0.6667f};
        QTest::newRow("rms at the threshold is inaudible") << L{{0.0005f, 0.001f}, {0.2f, 0.5f}}
                                                           << std::vector<float>{1.0f, 1.0f};
        QTest::newRow("nothing audible") << L{{0.0f, 0.0f}, {0.0001f, 0.2f}} << std::vector<float>{1.0f, 1.0f};
        QTest::newRow("one loud track is held under the ceiling") << L{{0.5f, 1.0f}} << std::vector<float>{0.966f};
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

    // Every kind of file a user might pick: its length, what it decodes to,
    // and what preparing it does. No row may leave a file in the cache.
    void files_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<bool>("sidesEqual");
        QTest::addColumn<QString>("error"); // empty: prepares
        QTest::newRow("WAV") << "stereo.wav" << 1.5 << true << "";
        QTest::newRow("mono 22 050 Hz feeds both sides") << "mono22050.wav" << 1.0 << true << "";
        QTest::newRow("mono 8 kHz") << "mono8k.wav" << 1.0 << true << "";
        QTest::newRow("mono 32 kHz MP3") << "mono32k.mp3" << 1.0 << true << "";
        QTest::newRow("FLAC") << "tones.flac" << 2.0 << false << "";
        QTest::newRow("MP3 at 48 kHz") << "tones48k.mp3" << 7.0 << false << "";
        QTest::newRow("M4A") << "tones.m4a" << 1.2 << false << "";
        QTest::newRow("AIFF") << "tones.aiff" << 1.0 << false << "";
        QTest::newRow("7.1 folds to stereo") << "surround71.flac" << 1.0 << false << "";
        QTest::newRow("truncated FLAC plays what is there") << "truncated.flac" << -1.0 << false << "";
        QTest::newRow("zero-byte file") << "empty.wav" << -1.0 << true << unreadable("empty.wav");
        QTest::newRow("text named .mp3") << "notes.mp3" << -1.0 << true << unreadable("notes.mp3");
        QTest::newRow("video without sound") << "video.mp4" << -1.0 << true << unreadable("video.mp4");
        QTest::newRow("missing file") << "gone.flac" << -1.0 << true << unreadable("gone.flac");
    }

    void files()
    {
        QFETCH(QString, file);
        QFETCH(double, seconds);
        QFETCH(bool, sidesEqual);
        QFETCH(QString, error);
        const std::optional<double> length = AudioPrep::duration(at(file));
        QCOMPARE(length.has_value(), error.isEmpty());
        // Lossy encoders and resamplers add or drop a few milliseconds.
        if (seconds >= 0)
            QVERIFY2(std::abs(*length - seconds) < 0.06, qPrintable(QString::number(*length)));

        std::vector<float> s;
        QCOMPARE(errorText([&] { s = AudioPrep::decode(at(file)); }), error);
        if (error.isEmpty()) {
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
            QCOMPARE(errorText([&] { files = AudioPrep::prepare({track(at(file))}, match); }), error);
            if (error.isEmpty())
                QCOMPARE(QFileInfo(files.value(0)).size(), qint64(2 * s.size()));
            AudioPrep::cleanup(files);
            QVERIFY(cached().isEmpty());
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
        const QStringList names{"stereo.wav", "tones.flac",    "tones48k.mp3", "tones.m4a",      "mono22050.wav",
                                "quiet.wav",  "tones.aiff",    "mono32k.mp3",  "surround71.flac"};
        QList<TrackItem> tracks;
        std::vector<std::vector<float>> decoded;
        for (const QString &name : names) {
            tracks.append(track(at(name), AudioPrep::duration(at(name)).value_or(0)));
            decoded.push_back(AudioPrep::decode(at(name)));
        }
        const std::vector<QByteArray> expected = reference(decoded, matchLoudness);
        const QStringList files = AudioPrep::prepare(tracks, matchLoudness);
        QCOMPARE(files.size(), names.size());
        const QRegularExpression uuidName(QStringLiteral("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.cdda$"));
        for (qsizetype i = 0; i < files.size(); ++i) {
            QCOMPARE(QFileInfo(files[i]).path(), cache());
            QVERIFY(uuidName.match(QFileInfo(files[i]).fileName()).hasMatch());
            QFile f(files[i]);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY2(f.readAll() == expected[size_t(i)], qPrintable(names[i]));
        }
        // Matching has to change something, or the comparison proves little.
        QVERIFY(reference(decoded, !matchLoudness)[1] != expected[1]);
        AudioPrep::cleanup(files);
        QVERIFY(cached().isEmpty());
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
        QList<double> seen;
        bool onCaller = true;
        const QStringList files = AudioPrep::prepare(
            {track(at("stereo.wav"), 1.5), track(at("tones.flac"), 2), track(at("mono8k.wav")), track(at("tones.aiff"))},
            matchLoudness, [&, caller = QThread::currentThread()](double p) {
                seen.append(p);
                onCaller = onCaller && QThread::currentThread() == caller;
            });
        AudioPrep::cleanup(files);
        QVERIFY(onCaller);
        QCOMPARE(seen.size(), expected.size());
        for (qsizetype i = 0; i < seen.size(); ++i)
            QVERIFY2(qFuzzyCompare(seen[i], expected[i]), qPrintable(QString::number(seen[i])));
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QList<double>>("seconds");
        QTest::addColumn<int>("cancelAfter"); // progress steps before the stop button; -1: never
        QTest::addColumn<QString>("error");
        // The later bad file claims to be the longest, so it is started first.
        QTest::newRow("the lower-numbered bad track wins")
            << QStringList{"stereo.wav", "notes.mp3", "video.mp4"} << QList<double>{1, 2, 500} << -1
            << unreadable("notes.mp3");
        QTest::newRow("bad last track") << QStringList{"tones.flac", "stereo.wav", "empty.wav"}
                                        << QList<double>{2, 1.5, 0} << -1 << unreadable("empty.wav");
        const QStringList four{"tones48k.mp3", "tones.flac", "stereo.wav", "mono22050.wav"};
        const QList<double> lengths{7, 2, 1.5, 1};
        QTest::newRow("stopped before the start") << four << lengths << 0 << TDError::cancelled().text();
        QTest::newRow("stopped while measuring") << four << lengths << 1 << TDError::cancelled().text();
        QTest::newRow("stopped while writing") << four << lengths << 5 << TDError::cancelled().text();
    }

    void failures()
    {
        QFETCH(QStringList, files);
        QFETCH(QList<double>, seconds);
        QFETCH(int, cancelAfter);
        QFETCH(QString, error);
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

    void writeFailure()
    {
        // A file where the cache folder should be: nothing can be written.
        QVERIFY(QDir(cache()).removeRecursively());
        QVERIFY(write("xdg_cache_home/KLVO Tandor", "in the way"));
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
