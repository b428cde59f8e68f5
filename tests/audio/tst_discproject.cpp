#include "ImageFixtures.h"
#include "TestEnv.h"
#include "audio/DiscProject.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

class TstDiscProject : public QObject
{
    Q_OBJECT

    TestEnv env;

    // WAV files at 100 Hz hold these lengths exactly; adds them and waits
    // until their real lengths are known. With `holds`, the last file is an
    // AIFF cut to that many seconds, its header still giving the whole.
    bool fill(DiscProject &p, const QList<double> &seconds, double holds = -1)
    {
        QStringList paths;
        for (double s : seconds) {
            const bool cut = holds >= 0 && paths.size() == seconds.size() - 1;
            paths << env.path(QStringLiteral("t%1.%2").arg(paths.size()).arg(cut ? "aif" : "wav"));
            if (!(cut ? TestEnv::writeCutAiff(paths.last(), s, holds, 100, 1) : TestEnv::writeWav(paths.last(), s, 100, 1)))
                return false;
        }
        QSignalSpy added(&p, &DiscProject::tracksAdded), measured(&p, &DiscProject::measured);
        p.add(paths);
        return added.wait(10000) && p.count() == seconds.size() && (measured.count() || measured.wait(10000));
    }
    static QStringList titles(const DiscProject &p)
    {
        QStringList t;
        for (const TrackItem &i : p.tracks())
            t << i.title;
        return t;
    }

private slots:
    void totals_data()
    {
        QTest::addColumn<QList<double>>("seconds");
        QTest::addColumn<double>("gap");
        QTest::addColumn<double>("total");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<double>("holds"); // seconds the last file really holds; -1: what its header says
        QTest::addColumn<QString>("said"); // the line for the log, if any
        QTest::newRow("empty") << QList<double>{} << 2.0 << 0.0 << true << -1.0 << "";
        QTest::newRow("one track has no gap") << QList<double>{100} << 5.0 << 100.0 << true << -1.0 << "";
        QTest::newRow("three of 100 s with gap 2") << QList<double>{100, 100, 100} << 2.0 << 304.0 << true << -1.0 << "";
        QTest::newRow("exactly 80:00 fits") << QList<double>{2398, 2398} << 4.0 << 4800.0 << true << -1.0 << "";
        QTest::newRow("4800.01 s does not") << QList<double>{4800.01} << 2.0 << 4800.01 << false << -1.0 << "";
        QTest::newRow("the gaps tip it over") << QList<double>{1600, 1600, 1598} << 2.0 << 4802.0 << false << -1.0 << "";
        QTest::newRow("a cut file counts what it holds") << QList<double>{2400, 2401} << 2.0 << 3402.0 << true << 1000.0 << "“t1.aif” ends early — only 16:40 of 40:01 can be read, so the track is 16:40 long.";
        QTest::newRow("cut by half a second: shorter, not early") << QList<double>{100} << 2.0 << 99.5 << true << 99.5 << "";
    }

    void totals()
    {
        QFETCH(QList<double>, seconds);
        QFETCH(double, gap);
        QFETCH(double, total);
        QFETCH(bool, fits);
        QFETCH(double, holds);
        QFETCH(QString, said);
        DiscProject p;
        p.setGapSeconds(gap);
        QSignalSpy logged(&p, &DiscProject::logged);
        QVERIFY(seconds.isEmpty() || fill(p, seconds, holds));
        QVERIFY(qFuzzyCompare(1 + p.totalSeconds(), 1 + total));
        QCOMPARE(p.fits(), fits);
        QCOMPARE(logged.count(), int(!said.isEmpty()));
        if (!said.isEmpty())
            QCOMPARE(logged.first().first().toString(), said);
        // The track keeps what its header said; only a file that ends early shows it.
        QCOMPARE(!p.tracks().isEmpty() && p.tracks().last().endsEarly(), !said.isEmpty());
        QCOMPARE(p.displayName(), QStringLiteral("Untitled disc"));
    }

    void gapRounding_data()
    {
        QTest::addColumn<double>("written");
        QTest::addColumn<double>("stored");
        QTest::newRow("2.6 rounds up") << 2.6 << 3.0;
        QTest::newRow("2.4 rounds down") << 2.4 << 2.0;
        QTest::newRow("half rounds away from zero") << 3.5 << 4.0;
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
        p.setGapSeconds(written); // the same again changes nothing
        QCOMPARE(p.gapSeconds(), stored);
        QCOMPARE(gap.count(), stored == 2.0 ? 0 : 1);
        QCOMPARE(total.count(), gap.count());
    }

    void settersSignalOnlyChanges()
    {
        DiscProject p;
        QSignalSpy album(&p, &DiscProject::albumChanged);
        QSignalSpy artist(&p, &DiscProject::artistChanged);
        p.setAlbum(QStringLiteral("Live"));
        p.setAlbum(QStringLiteral("Live"));
        p.setArtist(QStringLiteral("Band"));
        p.setArtist(QStringLiteral("Band"));
        QCOMPARE(album.count(), 1);
        QCOMPARE(artist.count(), 1);
        QCOMPARE(p.displayName(), QStringLiteral("Live"));
    }

    void titles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("title");
        QTest::newRow("only the last extension goes") << "/m/Live.at.Home.mp3" << "Live.at.Home";
        QTest::newRow("no extension") << "/m/README" << "README";
        QTest::newRow("a dot file keeps its name") << "/m/.flac" << ".flac";
        QTest::newRow("dotted folder") << "/m.v2/Track 1" << "Track 1";
    }

    void titles()
    {
        QFETCH(QString, path);
        QFETCH(QString, title);
        QCOMPARE(TrackItem::titleFor(path), title);
    }

    void addKeepsBatchOrder()
    {
        // The first batch takes longer to read than the second; it still comes first.
        QStringList slow;
        for (int i = 0; i < 12; ++i) {
            slow << env.path(QStringLiteral("slow%1.wav").arg(i));
            QVERIFY(TestEnv::writeWav(slow.last(), 2.0));
        }
        QVERIFY(TestEnv::writeWav(env.path("fast.wav"), 0.1));
        DiscProject p;
        QStringList order;
        p.add(slow, [&](int n) { order << QStringLiteral("slow %1").arg(n); });
        p.add({env.path("fast.wav")}, [&](int n) { order << QStringLiteral("fast %1").arg(n); });
        QTRY_COMPARE_WITH_TIMEOUT(order, (QStringList{"slow 12", "fast 1"}), 10000);
        QCOMPARE(p.tracks().last().title, QStringLiteral("fast"));
    }

    void edits_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<double>("total");
        const QStringList same{"t0", "t1", "t2"};
        QTest::newRow("first up does nothing") << "move 0 -1" << same << 10.0;
        QTest::newRow("last down does nothing") << "move 2 1" << same << 10.0;
        QTest::newRow("move from outside") << "move 3 -1" << same << 10.0;
        QTest::newRow("down swaps with the next") << "move 0 1" << QStringList{"t1", "t0", "t2"} << 10.0;
        QTest::newRow("up swaps with the previous") << "move 2 -1" << QStringList{"t0", "t2", "t1"} << 10.0;
        QTest::newRow("remove the first") << "remove 0" << QStringList{"t1", "t2"} << 8.0;
        QTest::newRow("remove past the end") << "remove 3" << same << 10.0;
        QTest::newRow("rename") << "rename 1 Middle" << QStringList{"t0", "Middle", "t2"} << 10.0;
        QTest::newRow("rename a row that is gone") << "rename -1 x" << same << 10.0;
        QTest::newRow("clear") << "clear" << QStringList{} << 0.0;
    }

    void edits()
    {
        QFETCH(QString, edit);
        QFETCH(QStringList, after);
        QFETCH(double, total);
        DiscProject p;
        p.setGapSeconds(1);
        QVERIFY(fill(p, {1, 2, 5}));
        for (int i = 0; i < 3; ++i)
            p.rename(i, QStringLiteral("t%1").arg(i));
        QSignalSpy changed(&p, &DiscProject::tracksChanged);
        QSignalSpy totalChanged(&p, &DiscProject::totalSecondsChanged);
        const QStringList w = edit.split(QLatin1Char(' '));
        if (w[0] == QLatin1String("move"))
            p.move(w[1].toInt(), w[2].toInt());
        else if (w[0] == QLatin1String("remove"))
            p.remove(w[1].toInt());
        else if (w[0] == QLatin1String("rename"))
            p.rename(w[1].toInt(), w[2]);
        else
            p.clear();
        QCOMPARE(titles(p), after);
        QVERIFY(qFuzzyCompare(1 + p.totalSeconds(), 1 + total));
        QCOMPARE(changed.count(), after == QStringList({"t0", "t1", "t2"}) ? 0 : 1);
        QCOMPARE(totalChanged.count(), total == 10.0 ? 0 : 1);
    }

    // A burn that found a track shorter than listed corrects the list.
    void trackSecondsCorrected()
    {
        DiscProject p;
        p.setGapSeconds(2);
        QVERIFY(fill(p, {10, 20}));
        QSignalSpy tracks(&p, &DiscProject::tracksChanged);
        QSignalSpy total(&p, &DiscProject::totalSecondsChanged);
        p.setTrackSeconds(p.tracks()[1].id, 4.5);
        QCOMPARE(p.tracks()[1].seconds, 4.5);
        QCOMPARE(p.tracks()[0].seconds, 10.0);
        QCOMPARE(p.totalSeconds(), 16.5);
        QCOMPARE(tracks.size(), 1);
        QCOMPARE(total.size(), 1);
        // The same length again, or a track that has gone: nothing happens.
        p.setTrackSeconds(p.tracks()[1].id, 4.5);
        p.setTrackSeconds(QUuid::createUuid(), 1);
        QCOMPARE(tracks.size(), 1);
        QCOMPARE(p.totalSeconds(), 16.5);
    }

    // Files that can't become tracks are reported by name, one report per
    // reason, after the tracks that could; those keep the order given.
    void leftOut_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QStringList>("notAudio");
        QTest::addColumn<QStringList>("unreadable");
        QTest::newRow("all audio, not in name order") << QStringList{"b.wav", "a.wav"} << QStringList{"b", "a"} << QStringList{} << QStringList{};
        QTest::newRow("text named .mp3 and an empty file") << QStringList{"notes.mp3", "a.wav", "empty.flac"} << QStringList{"a"} << QStringList{"notes.mp3", "empty.flac"} << QStringList{};
        QTest::newRow("gone, and a folder") << QStringList{"gone.wav", "folder", "a.wav"} << QStringList{"a"} << QStringList{} << QStringList{"gone.wav", "folder"};
        QTest::newRow("both reasons, nothing added") << QStringList{"gone.wav", "notes.mp3"} << QStringList{} << QStringList{"notes.mp3"} << QStringList{"gone.wav"};
    }

    void leftOut()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, added);
        QFETCH(QStringList, notAudio);
        QFETCH(QStringList, unreadable);
        QVERIFY(TestEnv::writeWav(env.path("a.wav"), 0.2, 100, 1));
        QVERIFY(TestEnv::writeWav(env.path("b.wav"), 0.3, 100, 1));
        QVERIFY(writeFile(env.path("notes.mp3"), QByteArray("not a song\n").repeated(50)));
        QVERIFY(writeFile(env.path("empty.flac"), {}));
        QVERIFY(QDir(env.root()).mkpath("folder"));

        QStringList paths;
        for (const QString &f : files)
            paths << env.path(f);
        DiscProject p;
        QStringList order;
        connect(&p, &DiscProject::tracksAdded, this, [&] { order << "added"; });
        connect(&p, &DiscProject::filesLeftOut, this, [&](const QStringList &, DiscProject::LeftOut why) {
            order << (why == DiscProject::LeftOut::notAudio ? "not audio" : "unreadable");
        });
        QSignalSpy left(&p, &DiscProject::filesLeftOut);
        QSignalSpy changed(&p, &DiscProject::tracksChanged);
        QList<int> counts;
        p.add(paths, [&](int n) { counts << n; });
        QTRY_COMPARE_WITH_TIMEOUT(counts, QList<int>{int(added.size())}, 10000);
        QCOMPARE(titles(p), added);
        QCOMPARE(changed.count(), int(!added.isEmpty()));
        QVERIFY(p.count() < 2 || p.tracks()[0].id != p.tracks()[1].id);
        QStringList seenNotAudio, seenUnreadable;
        for (const auto &report : left)
            (report[1].value<DiscProject::LeftOut>() == DiscProject::LeftOut::notAudio ? seenNotAudio : seenUnreadable) =
                report[0].toStringList();
        QCOMPARE(seenNotAudio, notAudio);
        QCOMPARE(seenUnreadable, unreadable);
        QCOMPARE(order.value(0), QStringLiteral("added"));
        QCOMPARE(order.size(), 1 + int(!notAudio.isEmpty()) + int(!unreadable.isEmpty()));
    }
};

QTEST_GUILESS_MAIN(TstDiscProject)
#include "tst_discproject.moc"
