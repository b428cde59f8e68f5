#include "AudioFixtures.h"
#include "TestEnv.h"
#include "audio/DiscProject.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// A project holding tracks of the given lengths, added through real files.
struct Filled
{
    DiscProject project;
    bool fill(const TestEnv &env, const QList<double> &seconds)
    {
        QStringList paths;
        for (qsizetype i = 0; i < seconds.size(); ++i) {
            const QString path = env.path(QStringLiteral("track%1.wav").arg(i));
            if (!TestEnv::writeWav(path, seconds[i], 8000, 1))
                return false;
            paths << path;
        }
        QSignalSpy added(&project, &DiscProject::tracksAdded);
        project.add(paths);
        return added.wait(10000) && project.count() == seconds.size();
    }
};

QStringList titlesOf(const DiscProject &p)
{
    QStringList t;
    for (const TrackItem &i : p.tracks())
        t << i.title;
    return t;
}

} // namespace

class TstDiscProject : public QObject
{
    Q_OBJECT

    TestEnv env;

private slots:
    void initialValues()
    {
        DiscProject p;
        QCOMPARE(p.album(), QString());
        QCOMPARE(p.artist(), QString());
        QCOMPARE(p.gapSeconds(), 2.0);
        QCOMPARE(p.count(), 0);
        QCOMPARE(p.totalSeconds(), 0.0);
        QVERIFY(p.fits());
        QCOMPARE(p.displayName(), QStringLiteral("Untitled disc"));
        p.setAlbum(QStringLiteral("Live at Home"));
        QCOMPARE(p.displayName(), QStringLiteral("Live at Home"));
    }

    void totals_data()
    {
        QTest::addColumn<QList<double>>("seconds");
        QTest::addColumn<double>("gap");
        QTest::addColumn<double>("total");
        QTest::addColumn<bool>("fits");
        QTest::newRow("one track has no gap") << QList<double>{100} << 5.0 << 100.0 << true;
        QTest::newRow("three of 100 s with gap 2") << QList<double>{100, 100, 100} << 2.0 << 304.0 << true;
        QTest::newRow("gap 0") << QList<double>{10, 20} << 0.0 << 30.0 << true;
        QTest::newRow("exactly 80:00 fits") << QList<double>{2398, 2398} << 4.0 << 4800.0 << true;
        QTest::newRow("4800.01 s does not") << QList<double>{4800.01} << 2.0 << 4800.01 << false;
        QTest::newRow("the gaps tip it over") << QList<double>{1600, 1600, 1598} << 2.0 << 4802.0 << false;
    }

    void totals()
    {
        QFETCH(QList<double>, seconds);
        QFETCH(double, gap);
        QFETCH(double, total);
        QFETCH(bool, fits);
        // WAV files at 100 Hz hold these lengths exactly.
        DiscProject p;
        p.setGapSeconds(gap);
        QStringList paths;
        for (qsizetype i = 0; i < seconds.size(); ++i) {
            const QString path = env.path(QStringLiteral("total%1.wav").arg(i));
            QVERIFY(TestEnv::writeWav(path, seconds[i], 100, 1));
            paths << path;
        }
        QSignalSpy added(&p, &DiscProject::tracksAdded);
        p.add(paths);
        QVERIFY(added.wait(10000));
        QCOMPARE(p.count(), seconds.size());
        QVERIFY(qFuzzyCompare(p.totalSeconds(), total));
        QCOMPARE(p.fits(), fits);
    }

    void gapRounding_data()
    {
        QTest::addColumn<double>("written");
        QTest::addColumn<double>("stored");
        QTest::newRow("2.6 rounds up") << 2.6 << 3.0;
        QTest::newRow("2.4 rounds down") << 2.4 << 2.0;
        QTest::newRow("half rounds away from zero") << 3.5 << 4.0;
        QTest::newRow("0") << 0.0 << 0.0;
        QTest::newRow("5") << 5.0 << 5.0;
        QTest::newRow("over the knob") << 7.0 << 5.0;
        QTest::newRow("below the knob") << -1.0 << 0.0;
    }

    void gapRounding()
    {
        QFETCH(double, written);
        QFETCH(double, stored);
        DiscProject p;
        QSignalSpy gap(&p, &DiscProject::gapSecondsChanged);
        QSignalSpy total(&p, &DiscProject::totalSecondsChanged);
        p.setGapSeconds(written);
        QCOMPARE(p.gapSeconds(), stored);
        QCOMPARE(gap.count(), stored == 2.0 ? 0 : 1);
        QCOMPARE(total.count(), gap.count());
        p.setGapSeconds(written); // the same again changes nothing
        QCOMPARE(gap.count(), stored == 2.0 ? 0 : 1);
    }

    void settersSignalOnlyChanges()
    {
        DiscProject p;
        QSignalSpy album(&p, &DiscProject::albumChanged);
        QSignalSpy artist(&p, &DiscProject::artistChanged);
        p.setAlbum(QStringLiteral("A"));
        p.setAlbum(QStringLiteral("A"));
        p.setArtist(QStringLiteral("B"));
        p.setArtist(QStringLiteral("B"));
        p.setArtist(QString());
        QCOMPARE(album.count(), 1);
        QCOMPARE(artist.count(), 2);
    }

    void titles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("title");
        QTest::newRow("extension dropped") << "/m/Song.flac" << "Song";
        QTest::newRow("only the last extension") << "/m/Live.at.Home.mp3" << "Live.at.Home";
        QTest::newRow("no extension") << "/m/README" << "README";
        QTest::newRow("dot file keeps its name") << "/m/.flac" << ".flac";
        QTest::newRow("dotted folder") << "/m.v2/Track 1" << "Track 1";
    }

    void titles()
    {
        QFETCH(QString, path);
        QFETCH(QString, title);
        QCOMPARE(TrackItem::titleFor(path), title);
    }

    void addSkipsWhatIsNotAudio()
    {
        if (!AudioFixtures::haveFfmpeg())
            QSKIP("the ffmpeg command-line tool makes the fixtures");
        const QString dir = env.path(QStringLiteral("mix"));
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(TestEnv::writeWav(dir + "/b first.wav", 1.0));
        QVERIFY(AudioFixtures::text(dir + "/notes.mp3", "not audio\n"));
        QVERIFY(AudioFixtures::ffmpeg(AudioFixtures::tones(44100, 0.5, 2) + QStringList{"-c:a", "flac"},
                                      dir + "/a second.flac"));
        QVERIFY(AudioFixtures::text(dir + "/empty.wav", {}));
        QVERIFY(AudioFixtures::ffmpeg({"-f", "lavfi", "-i", "testsrc=size=32x32:rate=5:duration=1", "-c:v",
                                       "mpeg4", "-an"},
                                      dir + "/clip.mp4"));
        DiscProject p;
        QList<int> counts;
        QSignalSpy changed(&p, &DiscProject::tracksChanged);
        p.add({dir + "/b first.wav", dir + "/notes.mp3", dir + "/missing.wav", dir + "/empty.wav", dir + "/clip.mp4",
               dir + "/a second.flac"},
              [&](int added) { counts << added; });
        QTRY_COMPARE_WITH_TIMEOUT(counts, QList<int>{2}, 10000);
        QCOMPARE(titlesOf(p), (QStringList{"b first", "a second"}));
        QCOMPARE(p.tracks()[0].path, dir + "/b first.wav");
        QVERIFY(std::abs(p.tracks()[0].seconds - 1.0) < 1e-6);
        QVERIFY(std::abs(p.tracks()[1].seconds - 0.5) < 0.01);
        QVERIFY(p.tracks()[0].id != p.tracks()[1].id);
        QCOMPARE(changed.count(), 1);
    }

    void addKeepsBatchOrder()
    {
        // The first batch is slower to read than the second; it still comes first.
        QStringList slow, fast;
        for (int i = 0; i < 12; ++i) {
            const QString path = env.path(QStringLiteral("slow%1.wav").arg(i));
            QVERIFY(TestEnv::writeWav(path, 2.0));
            slow << path;
        }
        fast << env.path(QStringLiteral("fast.wav"));
        QVERIFY(TestEnv::writeWav(fast[0], 0.1));
        DiscProject p;
        QStringList order;
        p.add(slow, [&](int n) { order << QStringLiteral("slow %1").arg(n); });
        p.add(fast, [&](int n) { order << QStringLiteral("fast %1").arg(n); });
        QTRY_COMPARE_WITH_TIMEOUT(order, (QStringList{"slow 12", "fast 1"}), 10000);
        QCOMPARE(p.tracks().last().title, QStringLiteral("fast"));
    }

    void addNothingStillAnswers()
    {
        DiscProject p;
        QSignalSpy changed(&p, &DiscProject::tracksChanged);
        QList<int> counts;
        p.add({env.path(QStringLiteral("nope.wav"))}, [&](int n) { counts << n; });
        QTRY_COMPARE(counts, QList<int>{0});
        QCOMPARE(changed.count(), 0);
    }

    void move_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("delta");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("first up does nothing") << 0 << -1 << QStringList{"t0", "t1", "t2"};
        QTest::newRow("last down does nothing") << 2 << 1 << QStringList{"t0", "t1", "t2"};
        QTest::newRow("down swaps with the next") << 0 << 1 << QStringList{"t1", "t0", "t2"};
        QTest::newRow("up swaps with the previous") << 2 << -1 << QStringList{"t0", "t2", "t1"};
        QTest::newRow("index outside") << 3 << -1 << QStringList{"t0", "t1", "t2"};
        QTest::newRow("negative index") << -1 << 1 << QStringList{"t0", "t1", "t2"};
        QTest::newRow("no move") << 1 << 0 << QStringList{"t0", "t1", "t2"};
    }

    void move()
    {
        QFETCH(int, index);
        QFETCH(int, delta);
        QFETCH(QStringList, after);
        Filled f;
        QVERIFY(f.fill(env, {1, 1, 1}));
        for (int i = 0; i < 3; ++i)
            f.project.rename(i, QStringLiteral("t%1").arg(i));
        QSignalSpy changed(&f.project, &DiscProject::tracksChanged);
        QSignalSpy total(&f.project, &DiscProject::totalSecondsChanged);
        f.project.move(index, delta);
        QCOMPARE(titlesOf(f.project), after);
        QCOMPARE(changed.count(), after == QStringList({"t0", "t1", "t2"}) ? 0 : 1);
        QCOMPARE(total.count(), 0);
    }

    void removeRenameClear()
    {
        Filled f;
        QVERIFY(f.fill(env, {1, 2, 3}));
        DiscProject &p = f.project;
        QSignalSpy changed(&p, &DiscProject::tracksChanged);
        QSignalSpy total(&p, &DiscProject::totalSecondsChanged);
        p.rename(1, QStringLiteral("Middle"));
        p.rename(1, QStringLiteral("Middle"));
        p.rename(3, QStringLiteral("gone"));
        p.rename(-1, QStringLiteral("gone"));
        QCOMPARE(titlesOf(p), (QStringList{"track0", "Middle", "track2"}));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(total.count(), 0);
        p.remove(3);
        p.remove(-1);
        QCOMPARE(p.count(), 3);
        p.remove(0);
        QCOMPARE(titlesOf(p), (QStringList{"Middle", "track2"}));
        QVERIFY(qFuzzyCompare(p.totalSeconds(), 2 + 3 + 2.0));
        QCOMPARE(total.count(), 1);
        p.clear();
        QCOMPARE(p.count(), 0);
        QCOMPARE(p.totalSeconds(), 0.0);
        p.clear();
        QCOMPARE(changed.count(), 3);
        QCOMPARE(total.count(), 2);
    }
};

QTEST_GUILESS_MAIN(TstDiscProject)
#include "tst_discproject.moc"
