// Whole burns on virtual burners: what reaches the disc from each kind of
// file and what the log says about it, and an image with its read-back.

#include "ModelRig.h"
#include "audio/DiscProject.h"
#include "base/Format.h"
#include "images/ImageInfo.h"
#include "platform/udif/Udif.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

class TestBurnEndToEnd : public QObject
{
    Q_OBJECT

    struct Rig : VirtualRig
    {
        using VirtualRig::VirtualRig;
        void add(const QStringList &files)
        {
            QSignalSpy added(model->projects().at(0), &DiscProject::tracksAdded);
            model->projects().at(0)->add(files);
            QVERIFY(added.wait(10000));
        }
        bool bothDone() const { return deck(0)->state() == Deck::State::done && deck(1)->state() == Deck::State::done; }
        // Burns project 1 on deck A as it stands and waits for the end.
        bool burn(bool verify)
        {
            model->setVerify(verify);
            model->start(deck(0));
            return QTest::qWaitFor([&] { return !deck(0)->busy(); }, 60000)
                   && deck(0)->state() == Deck::State::done;
        }
        // Track `number` (from 1) of the disc deck A burned, as the cue sheet
        // places it in the image: from its INDEX 01 to the next track's first
        // index, or to the end.
        QByteArray track(int number) const
        {
            const QByteArray bin = readFile(folder(0) + QStringLiteral("/Disc 001.bin"));
            const QString cue = QString::fromUtf8(readFile(folder(0) + QStringLiteral("/Disc 001.cue")));
            const QRegularExpression index(QStringLiteral("TRACK (\\d+) AUDIO|INDEX (\\d+) (\\d+):(\\d+):(\\d+)"));
            qint64 start = -1, end = bin.size();
            int current = 0;
            for (auto it = index.globalMatch(cue); it.hasNext();) {
                const auto m = it.next();
                if (!m.captured(1).isEmpty()) {
                    current = m.captured(1).toInt();
                    continue;
                }
                const qint64 at = ((m.captured(3).toLongLong() * 60 + m.captured(4).toLongLong()) * 75
                                   + m.captured(5).toLongLong()) * 2352;
                if (current == number && m.captured(2).toInt() == 1)
                    start = at;
                else if (current == number + 1 && end == bin.size())
                    end = at;
            }
            return start < 0 ? QByteArray() : bin.mid(start, end - start);
        }
    };

    static bool ffmpeg(const QStringList &args)
    {
        QProcess p;
        p.start(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y"} + args);
        return p.waitForFinished(30000) && p.exitCode() == 0;
    }
    // What ffmpeg itself makes of `source` as CD audio.
    static QByteArray cdAudio(const QString &source)
    {
        QProcess p;
        p.start(QStringLiteral("ffmpeg"),
                {"-v", "error", "-i", source, "-f", "s16le", "-ar", "44100", "-ac", "2", "-"});
        return p.waitForFinished(30000) && p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
    }

private Q_SLOTS:
    // With loudness matching off, a CD-quality source reaches the disc bit
    // for bit, full-scale samples included. (WAV, FLAC and AIFF are exact in
    // the preparation, tst_audioprep; ALAC is the lossless kind it lacks.)
    void cdQualityIsCopiedExactly()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            QSKIP("ffmpeg makes the sources and the reference");
        Rig rig(1);
        // A loud sweep on the left; on the right a full-scale square, then
        // loud noise (the same on every run).
        const QString master = rig.env.path(QStringLiteral("master.wav"));
        QVERIFY(ffmpeg({"-f", "lavfi", "-i",
                        "aevalsrc=0.97*sin(2*PI*(60+3000*t)*t)|if(lt(t\\,0.25)\\,if(gt(sin(2*PI*441*t)\\,0)\\,1\\,-1)"
                        "\\,0.9*(2*random(0)-1)):s=44100:d=1",
                        "-c:a", "pcm_s16le", master}));
        const QString source = rig.env.path(QStringLiteral("song.m4a"));
        QVERIFY(ffmpeg({"-i", master, "-c:a", "alac", source}));
        const QByteArray expected = cdAudio(source);
        QCOMPARE(expected.size(), 44100 * 4);
        rig.add({source});
        rig.model->setMatchLoudness(false);
        QVERIFY(rig.burn(false));
        QVERIFY(rig.texts().filter(QStringLiteral("clipped")).isEmpty()); // full scale fits

        const QByteArray track = rig.track(1);
        QVERIFY2(track.size() >= expected.size() && track.size() - expected.size() < 2352,
                 qPrintable(QString::number(track.size())));
        QVERIFY(track.startsWith(expected));
        QVERIFY(track.mid(expected.size()).count('\0') == track.size() - expected.size()); // padding
    }

    // A file cut after it was added (its length already checked) burns what
    // it holds, and the log and the track list say so, once for two decks.
    // Its square wave rings past full scale in resampling: each deck says how
    // much of its disc was clipped.
    void fileEndingEarlyIsSaid()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            QSKIP("ffmpeg makes the FLAC");
        Rig rig(2);
        const QString cut = rig.env.path(QStringLiteral("cut.flac"));
        QVERIFY(ffmpeg({"-f", "lavfi", "-i",
                        "aevalsrc=0.5*sin(2*PI*(200+50*t)*t)+0.2*(2*random(0)-1)|if(gt(sin(2*PI*330*t)\\,0)\\,1\\,-1):s=48000:d=8",
                        "-c:a", "flac", cut}));
        DiscProject *project = rig.model->projects().at(0);
        QSignalSpy measured(project, &DiscProject::measured);
        rig.add({cut});
        QVERIFY(measured.count() || measured.wait(10000));
        QVERIFY(QFile::resize(cut, QFileInfo(cut).size() / 4));
        const double listed = project->tracks().value(0).seconds;
        QVERIFY2(std::abs(listed - 8) < 0.1, qPrintable(QString::number(listed)));
        rig.model->setMatchLoudness(false);
        rig.model->burnAll();
        QTRY_VERIFY_WITH_TIMEOUT(rig.bothDone(), 30000);

        const double real = project->tracks().value(0).seconds;
        const double burned = double(rig.track(1).size()) / (2352 * 75);
        QVERIFY2(real > 1 && real < 4, qPrintable(QString::number(real)));
        QVERIFY2(std::abs(burned - real) <= 1.0 / 75, qPrintable(QString::number(burned) + " " + QString::number(real)));
        QCOMPARE(project->totalSeconds(), real);
        const QString line = QStringLiteral(": track 1, “cut.flac”, ends early — only %1 of %2 could be read, "
                                            "so the disc gets %1.")
                                 .arg(fmt(real), fmt(listed));
        const QStringList said = rig.texts().filter(QStringLiteral("ends early"));
        QVERIFY2(said.size() == 1 && (said[0] == "Deck A" + line || said[0] == "Deck B" + line),
                 qPrintable(rig.texts().join(QLatin1Char('\n'))));
        const QRegularExpression clipped(QStringLiteral("^Deck [AB]: track 1, “cut.flac” — \\d{1,3}(,\\d{3})+ samples were "
                                                        "clipped to fit the CD's range\\. Match loudness would lower the "
                                                        "track instead\\.$"));
        QCOMPARE(rig.texts().filter(clipped).size(), 2);
    }

    // Whatever the image, the burner's read-back is said in the log, on the
    // deck and in the end message; an ISO is then checked by SHA-256 too, a
    // sheet's disc against the sheet, track by track.
    void imageBurnSaysItsReadBack_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("sheet"); // the image's text, for a sheet of data.bin
        QTest::addColumn<qint64>("checked");   // bytes of data read back
        QTest::addColumn<QString>("phase");
        QTest::addColumn<QString>("start"); // the start line's size and how the burner reads the image
        const QString read = QStringLiteral("Done and read back: the disc matches. Disc ejecting.");
        QTest::newRow("ISO") << "backup.iso" << QByteArray() << qint64(2048 * 512) << "Done and checked. Disc ejecting." << "(1 MB, raw data track)";
        QTest::newRow("DMG") << "backup.dmg" << QByteArray() << qint64(2048 * 512) << read << ", disk image reader)";
        QTest::newRow("cue") << "backup.cue" << QByteArray("FILE \"data.bin\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n") << qint64(2352 * 512) << "Done and checked. Disc ejecting." << "(1 MB, cue sheet)";
        QTest::newRow("toc") << "backup.toc" << QByteArray("CD_ROM\nTRACK MODE1\nDATAFILE \"data.bin\"\n") << qint64(2352 * 512) << "Done and checked. Disc ejecting." << "(1 MB, cue sheet made from the toc)";
    }
    void imageBurnSaysItsReadBack()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, sheet);
        QFETCH(qint64, checked);
        QFETCH(QString, phase);
        QFETCH(QString, start);
        Rig rig(1);
        const QString data = rig.env.path(QStringLiteral("data.bin"));
        const QString image = rig.env.path(name);
        QVERIFY(TestEnv::writePattern(data, 2048 * 512));
        if (name.endsWith(u".dmg"))
            Udif::write(data, image);
        else if (!sheet.isEmpty())
            QVERIFY(writeFile(image, sheet));
        else
            QVERIFY(QFile::copy(data, image));
        QList<std::pair<bool, QString>> ends;
        rig.deck(0)->burnImage(*ImageInfo::inspect(image), false, true, true, false, QStringLiteral("Burn"),
                               [&](bool ok, const QString &m) { ends.append({ok, m}); });
        QTRY_COMPARE_WITH_TIMEOUT(ends.size(), 1, 20000);
        QVERIFY2(ends.first().first, qPrintable(ends.first().second));
        QCOMPARE(rig.deck(0)->phase(), phase);
        QVERIFY2(rig.texts().filter(start + QStringLiteral(" at ")).size() == 1, qPrintable(rig.texts().join(u'\n')));
        const QString readBack = QStringLiteral("ead back — Match — the disc is the same as the image (")
            + fmtBytes(checked) + QStringLiteral(" checked).");
        QVERIFY2(rig.texts().contains(QStringLiteral("Deck A: r") + readBack), qPrintable(rig.texts().join(u'\n')));
        QVERIFY2(ends.first().second.endsWith(QStringLiteral(". R") + readBack), qPrintable(ends.first().second));
        QCOMPARE(rig.texts().contains(QStringLiteral("Deck A: identical to the master (1 track)")), !sheet.isEmpty());
        if (sheet.isEmpty())
            QVERIFY(readFile(rig.folder(0) + QStringLiteral("/Disc 001.iso")) == readFile(data));
    }
};

QTEST_GUILESS_MAIN(TestBurnEndToEnd)
#include "tst_burnendtoend.moc"
