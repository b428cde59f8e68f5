// Whole burns on virtual burners: audio CDs in Mirror and Copies mode, an
// image with its SHA-256 read-back, and a burner unplugged mid-burn.

#include "VirtualRig.h"
#include "app/AppModel.h"
#include "audio/AudioPrep.h"
#include "audio/DiscProject.h"
#include "drives/Deck.h"
#include "images/ImageInfo.h"
#include "platform/virtual/VirtualDiscService.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

class TestBurnEndToEnd : public QObject
{
    Q_OBJECT

    struct Rig : VirtualRig
    {
        using VirtualRig::VirtualRig;
        static QByteArray read(const QString &path)
        {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }
        void add(const QStringList &files)
        {
            QSignalSpy added(model->projects().at(0), &DiscProject::tracksAdded);
            model->projects().at(0)->add(files);
            QVERIFY(added.wait(10000));
        }
    };

    static bool ffmpeg(const QStringList &args)
    {
        QProcess p;
        p.start(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y"} + args);
        return p.waitForFinished(30000) && p.exitCode() == 0;
    }

private Q_SLOTS:
    void mirrorBurnsTheSameDiscOnTwoDecks()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            QSKIP("ffmpeg makes the FLAC and MP3 fixtures");
        Rig rig(2);
        const QString wav = rig.env.path(QStringLiteral("one.wav"));
        const QString flac = rig.env.path(QStringLiteral("two.flac"));
        const QString mp3 = rig.env.path(QStringLiteral("three.mp3"));
        QVERIFY(TestEnv::writeWav(wav, 1.2));
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "sine=frequency=330:duration=0.8:sample_rate=44100", "-ac", "2", flac}));
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "sine=frequency=550:duration=1.0:sample_rate=48000", "-ac", "1", mp3}));
        rig.add({wav, flac, mp3});
        DiscProject *project = rig.model->projects().at(0);
        QCOMPARE(project->count(), 3);
        project->setAlbum(QStringLiteral("Sunday Service"));
        project->setArtist(QStringLiteral("St. Mary's Choir"));
        project->setGapSeconds(2);

        QElapsedTimer clock;
        clock.start();
        qint64 startedAt[2] = {-1, -1};
        for (int i = 0; i < 2; ++i)
            connect(rig.deck(i), &Deck::stateChanged, this, [&, i] {
                if (startedAt[i] < 0 && rig.deck(i)->busy())
                    startedAt[i] = clock.elapsed();
            });
        rig.model->burnAll();
        QTRY_VERIFY_WITH_TIMEOUT(rig.deck(0)->state() == Deck::State::done && rig.deck(1)->state() == Deck::State::done,
                                 30000);
        QVERIFY2(startedAt[1] - startedAt[0] >= 1400, qPrintable(QString::number(startedAt[1] - startedAt[0])));

        // The disc is what the preparation makes of the tracks, with its pre-gaps.
        const QStringList prepared = AudioPrep::prepare(project->tracks(), true);
        QByteArray expected;
        for (int i = 0; i < prepared.size(); ++i) {
            expected += QByteArray((i == 0 ? 150 : 2 * 75) * 2352, '\0');
            QByteArray track = Rig::read(prepared[i]);
            track += QByteArray((2352 - track.size() % 2352) % 2352, '\0');
            expected += track;
        }
        AudioPrep::cleanup(prepared);
        for (int i = 0; i < 2; ++i) {
            const QString bin = rig.folder(i) + QStringLiteral("/Disc 001.bin");
            QCOMPARE(Rig::read(bin).size(), expected.size());
            QVERIFY(Rig::read(bin) == expected);
            const QString cue = QString::fromUtf8(Rig::read(rig.folder(i) + QStringLiteral("/Disc 001.cue")));
            QVERIFY2(cue.contains(QStringLiteral("TITLE \"Sunday Service\"")), qPrintable(cue));
            QVERIFY(cue.contains(QStringLiteral("TITLE \"one\"")) && cue.contains(QStringLiteral("TITLE \"three\"")));
            QVERIFY(cue.contains(QStringLiteral("PERFORMER \"St. Mary's Choir\"")));
            QCOMPARE(rig.deck(i)->phase(), QStringLiteral("Done. Disc ejecting."));
        }
        QVERIFY(rig.texts().contains(QStringLiteral("Deck A: burning at 16x.")));
        QVERIFY(rig.texts().contains(QStringLiteral("Deck B: burning at 16x.")));
        QTRY_COMPARE(QDir(AudioPrep::cacheDir()).entryList(QDir::Files).size(), 0);
    }

    void copiesOnTwoBurnersWithAutoInsert()
    {
        Rig rig(2);
        rig.burners->setAutoInsertSeconds(1);
        const QString wav = rig.env.path(QStringLiteral("song.wav"));
        QVERIFY(TestEnv::writeWav(wav, 0.5));
        rig.add({wav});
        rig.model->setVerify(false);
        rig.model->setMode(BurnMode::queue);
        rig.model->setCopies(3);
        rig.burners->failNextBurnAt(rig.burners->burnerNumbers().at(1), 0.5); // B's first copy fails
        rig.model->burnAll();
        QTRY_COMPARE_WITH_TIMEOUT(rig.model->copiesDone(), 3, 30000);
        QCOMPARE(rig.texts().count(QStringLiteral("Copies: all 3 copies are done.")), 1);
        QCOMPARE(rig.model->copiesStarted(), 3);
        int discs = 0;
        for (int i = 0; i < 2; ++i)
            discs += int(QDir(rig.folder(i)).entryList({QStringLiteral("*.bin")}, QDir::Files).size());
        QCOMPARE(discs, 3);
        QVERIFY(rig.texts().filter(QStringLiteral("Deck B: failed.")).size() == 1);
    }

    void imageBurnIsCheckedAgainstTheImage()
    {
        Rig rig(1);
        const QString image = rig.env.path(QStringLiteral("backup.iso"));
        QVERIFY(TestEnv::writePattern(image, 2048 * 512));
        QList<std::pair<bool, QString>> ends;
        rig.deck(0)->burnImage(*ImageInfo::inspect(image), false, true, true, false, QStringLiteral("Burn"),
                               [&](bool ok, const QString &m) { ends.append({ok, m}); });
        QTRY_COMPARE_WITH_TIMEOUT(ends.size(), 1, 20000);
        QVERIFY2(ends.first().first, qPrintable(ends.first().second));
        QCOMPARE(rig.deck(0)->phase(), QStringLiteral("Done and checked. Disc ejecting."));
        QVERIFY(Rig::read(rig.folder(0) + QStringLiteral("/Disc 001.iso")) == Rig::read(image));

        // A test burn writes nothing and says so.
        rig.burners->insertBlank(rig.burners->burnerNumbers().first());
        rig.model->refreshDrives();
        rig.deck(0)->burnImage(*ImageInfo::inspect(image), true, true, true, false, {},
                               [&](bool ok, const QString &m) { ends.append({ok, m}); });
        QTRY_COMPARE_WITH_TIMEOUT(ends.size(), 2, 20000);
        QCOMPARE(ends.last(), std::make_pair(true, QStringLiteral("Deck A: test burn passed in 0:00.")));
        QCOMPARE(QDir(rig.folder(0)).entryList(QDir::Files).size(), 1);
    }

    void unpluggedBurnerStopsOnlyItsDeck()
    {
        Rig rig(2);
        rig.burners->setUnthrottled(false);
        const QString wav = rig.env.path(QStringLiteral("long.wav"));
        QVERIFY(TestEnv::writeWav(wav, 6.0));
        rig.add({wav});
        rig.deck(0)->setSpeedX(4);
        rig.deck(1)->setSpeedX(24);
        rig.model->setVerify(false);
        rig.model->start(rig.deck(0));
        rig.model->start(rig.deck(1));
        QTRY_VERIFY_WITH_TIMEOUT(rig.deck(0)->state() == Deck::State::burning, 10000);
        QVERIFY(rig.burners->unplugBurner(rig.burners->burnerNumbers().first()));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.deck(0)->busy(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.deck(1)->state(), Deck::State::done, 15000);
        QVERIFY(rig.texts().contains(QStringLiteral("Deck A: KLVO Virtual Burner 1 was unplugged.")));
        QVERIFY(rig.deck(0)->state() == Deck::State::stopped || rig.deck(0)->state() == Deck::State::failed);
    }
};

QTEST_GUILESS_MAIN(TestBurnEndToEnd)
#include "tst_burnendtoend.moc"
