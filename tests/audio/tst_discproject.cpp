#include "AudioFixtures.h"
#include "ImageFixtures.h"
#include "audio/DiscProject.h"
#include "audio/TrackListModel.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <memory>

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
    static QStringList column(const QAbstractItemModel &m, int role)
    {
        QStringList out;
        for (int r = 0; r < m.rowCount(); ++r)
            out << m.index(r, 0).data(role).toString();
        return out;
    }

private slots:
    void totals()
    {
        // holds: seconds the last file really holds; -1: what its header says; said: the line for the log, if any
        const struct { QList<double> seconds; double gap; double total; bool fits; double holds; QString said; } rows[] = {
            {QList<double>{}, 2.0, 0.0, true, -1.0, ""}, // empty
            {QList<double>{100}, 5.0, 100.0, true, -1.0, ""}, // one track has no gap
            {QList<double>{2398, 2398}, 4.0, 4800.0, true, -1.0, ""}, // exactly 80:00 fits
            {QList<double>{4800.01}, 2.0, 4800.01, false, -1.0, ""}, // 4800.01 s does not
            {QList<double>{1600, 1600, 1598}, 2.0, 4802.0, false, -1.0, ""}, // the gaps tip it over
            {QList<double>{2400, 2401}, 2.0, 3402.0, true, 1000.0, "“t1.aif” ends early — only 16:40 of 40:01 can be read, so the track is 16:40 long."}, // a cut file counts what it holds
            {QList<double>{100}, 2.0, 99.5, true, 99.5, ""}, // cut by half a second: shorter, not early
        };
        for (auto [seconds, gap, total, fits, holds, said] : rows) {
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
    }

    void gapRounding()
    {
        const struct { double written; double stored; } rows[] = {
            {2.4, 2.0}, // 2.4 rounds down
            {3.5, 4.0}, // half rounds away from zero
            {7.0, 5.0}, // over the knob
            {-1.0, 0.0}, // below the knob
        };
        for (auto [written, stored] : rows) {
            DiscProject p;
            QSignalSpy gap(&p, &DiscProject::gapSecondsChanged);
            QSignalSpy total(&p, &DiscProject::totalSecondsChanged);
            p.setGapSeconds(written);
            p.setGapSeconds(written); // the same again changes nothing
            QCOMPARE(p.gapSeconds(), stored);
            QCOMPARE(gap.count(), stored == 2.0 ? 0 : 1);
            QCOMPARE(total.count(), gap.count());
        }
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
        QSignalSpy catalog(&p, &DiscProject::catalogChanged);
        p.setCatalog(QStringLiteral("4006381333931"));
        p.setCatalog(QStringLiteral("4-006381-333931")); // the same number written otherwise
        QCOMPARE(album.count(), 1);
        QCOMPARE(artist.count(), 1);
        QCOMPARE(catalog.count(), 1);
        QCOMPARE(p.displayName(), QStringLiteral("Live"));
    }

    // Mastering codes as typed into their fields. A refused one leaves the
    // code before it (`was`) in place.
    void codes()
    {
        const QString was = QStringLiteral("was");
        const struct { bool catalog; QString typed, kept, said; } rows[] = {
            {false, "US-RC1-76-07839", "USRC17607839", ""}, // hyphens dropped
            {false, "usrc17607839", "USRC17607839", ""}, // lower case taken as upper
            {false, "USRC1760783", was, "\"USRC1760783\" isn't right: an ISRC is 12 characters, like DEA123400001."}, // 11 characters
            {false, "", "", ""}, // no code
            {true, "4006381333931", "4006381333931", ""}, // right check digit
            {true, "4006381333932", was, "\"4006381333932\" isn't right: its check digit (the last) should be 1."},
            {true, "400638133393", was, "\"400638133393\" isn't right: a catalogue number is 13 digits."}, // 12 digits
            {true, "40063813339310", was, "\"40063813339310\" isn't right: a catalogue number is 13 digits."}, // 14 digits
        };
        DiscProject p;
        QVERIFY(fill(p, {1}));
        for (auto [catalog, typed, kept, said] : rows) {
            const QString before = catalog ? QStringLiteral("0000000000000") : QStringLiteral("DEA123400001");
            QVERIFY(catalog ? p.setCatalog(before) : p.setIsrc(0, before));
            QCOMPARE(DiscProject::codeProblem(typed, catalog), said);
            QCOMPARE(catalog ? p.setCatalog(typed) : p.setIsrc(0, typed), said.isEmpty());
            QCOMPARE(catalog ? p.catalog() : p.tracks()[0].isrc, kept == was ? before : kept);
        }
        QVERIFY(!p.setIsrc(1, QStringLiteral("DEA123400001"))); // a row that is gone
    }

    void titles()
    {
        const struct { QString path, title; } rows[] = {
            {"/m/Live.at.Home.mp3", "Live.at.Home"}, // only the last extension goes
            {"/m/README", "README"},
            {"/m/.flac", ".flac"}, // a dot file keeps its name
            {"/m.v2/Track 1", "Track 1"}, // dotted folder
        };
        for (const auto &r : rows)
            QCOMPARE(TrackItem::titleFor(r.path), r.title);
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

    // An edit of the project, and the one change the track list tells its
    // views of (`signal`).
    void edits()
    {
        const QStringList same{"t0", "t1", "t2"};
        const struct { QString edit; QStringList after; double total; QString signal; } rows[] = {
            {"move 0 -1", same, 10.0, ""}, // first up does nothing
            {"move 2 1", same, 10.0, ""}, // last down does nothing
            {"move 3 -1", same, 10.0, ""}, // move from outside
            {"move 0 1", QStringList{"t1", "t0", "t2"}, 10.0, "rowsMoved"}, // down swaps with the next
            {"move 2 -1", QStringList{"t0", "t2", "t1"}, 10.0, "rowsMoved"}, // up swaps with the previous, at the end
            {"remove 0", QStringList{"t1", "t2"}, 8.0, "rowsRemoved"}, // remove the first
            {"remove 1", QStringList{"t0", "t2"}, 7.0, "rowsRemoved"}, // remove the middle
            {"remove 3", same, 10.0, ""}, // remove past the end
            {"rename 1 Middle", QStringList{"t0", "Middle", "t2"}, 10.0, "dataChanged"}, // rename
            {"setData 0 Opening", QStringList{"Opening", "t1", "t2"}, 10.0, "dataChanged"}, // edited in the list
            {"rename -1 x", same, 10.0, ""}, // rename a row that is gone
            {"clear", QStringList{}, 0.0, "rowsRemoved"}, // clear
            {"add", QStringList{"t0", "t1", "t2", "t3", "t4"}, 14.0, "rowsInserted"}, // add
        };
        for (auto [edit, after, total, signal] : rows) {
            DiscProject p;
            p.setGapSeconds(1);
            QVERIFY(fill(p, {1, 2, 5}));
            TrackListModel model;
            QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
            model.setProject(&p);
            QHash<QString, std::shared_ptr<QSignalSpy>> spies;
            spies["rowsInserted"] = std::make_shared<QSignalSpy>(&model, &QAbstractItemModel::rowsInserted);
            spies["rowsRemoved"] = std::make_shared<QSignalSpy>(&model, &QAbstractItemModel::rowsRemoved);
            spies["rowsMoved"] = std::make_shared<QSignalSpy>(&model, &QAbstractItemModel::rowsMoved);
            spies["dataChanged"] = std::make_shared<QSignalSpy>(&model, &QAbstractItemModel::dataChanged);
            spies["modelReset"] = std::make_shared<QSignalSpy>(&model, &QAbstractItemModel::modelReset);
            QSignalSpy changed(&p, &DiscProject::tracksChanged);
            QSignalSpy totalChanged(&p, &DiscProject::totalSecondsChanged);
            const QStringList w = edit.split(QLatin1Char(' '));
            if (w[0] == QLatin1String("move"))
                p.move(w[1].toInt(), w[2].toInt());
            else if (w[0] == QLatin1String("remove"))
                p.remove(w[1].toInt());
            else if (w[0] == QLatin1String("rename"))
                p.rename(w[1].toInt(), w[2]);
            else if (w[0] == QLatin1String("setData"))
                QVERIFY(model.setData(model.index(w[1].toInt()), w[2]));
            else if (w[0] == QLatin1String("add"))
                QVERIFY(addTones(env, &p, {"t3", "t4"}, 1, 100, 1));
            else
                p.clear();
            QCOMPARE(titles(p), after);
            QVERIFY(qFuzzyCompare(1 + p.totalSeconds(), 1 + total));
            QCOMPARE(changed.count(), after == same ? 0 : 1);
            QCOMPARE(totalChanged.count(), total == 10.0 ? 0 : 1);
            QCOMPARE(column(model, TrackListModel::TitleRole), after);
            QCOMPARE(column(model, Qt::DisplayRole), after);
            for (auto it = spies.cbegin(); it != spies.cend(); ++it)
                QCOMPARE(it.value()->count(), it.key() == signal ? 1 : 0);
        }
    }

    void listRolesAndEditing()
    {
        DiscProject p;
        QVERIFY(addTones(env, &p, {"long one"}, 187.4, 100, 1)); // at 100 Hz three minutes are quick to write
        TrackListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setProject(&p);
        const QModelIndex row = model.index(0);
        QVERIFY(std::abs(row.data(TrackListModel::SecondsRole).toDouble() - 187.4) < 1e-3);
        QCOMPARE(row.data(TrackListModel::LengthTextRole).toString(), QStringLiteral("3:07"));
        QVERIFY(model.flags(row) & Qt::ItemIsEditable);
        QVERIFY(!model.setData(row, 12.0, TrackListModel::SecondsRole)); // only the title is editable
        QVERIFY(!model.setData(model.index(1), QStringLiteral("x")));
        QCOMPARE(p.tracks()[0].title, QStringLiteral("long one"));
    }

    void listFollowsItsProject()
    {
        DiscProject first, second;
        QVERIFY(addTones(env, &first, {"a", "b"}, 1, 100, 1));
        QVERIFY(addTones(env, &second, {"x"}, 1, 100, 1));
        TrackListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy projectChanged(&model, &TrackListModel::projectChanged);
        model.setProject(&first);
        model.setProject(&first);
        QCOMPARE(projectChanged.count(), 1);
        model.setProject(&second);
        first.clear(); // no longer shown: nothing reaches the model
        QCOMPARE(column(model, TrackListModel::TitleRole), QStringList{"x"});

        auto gone = std::make_unique<DiscProject>();
        QVERIFY(addTones(env, gone.get(), {"y", "z"}, 1, 100, 1));
        model.setProject(gone.get());
        QCOMPARE(model.rowCount(), 2);
        gone.reset();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.project(), nullptr);
        QCOMPARE(projectChanged.count(), 4);
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
    void leftOut()
    {
        const struct { QStringList files; QStringList added; QStringList notAudio; QStringList unreadable; } rows[] = {
            {QStringList{"b.wav", "a.wav"}, QStringList{"b", "a"}, QStringList{}, QStringList{}}, // all audio, not in name order
            {QStringList{"notes.mp3", "a.wav", "empty.flac"}, QStringList{"a"}, QStringList{"notes.mp3", "empty.flac"}, QStringList{}}, // text named .mp3 and an empty file
            {QStringList{"gone.wav", "folder", "a.wav"}, QStringList{"a"}, QStringList{}, QStringList{"gone.wav", "folder"}}, // gone, and a folder
            {QStringList{"gone.wav", "notes.mp3"}, QStringList{}, QStringList{"notes.mp3"}, QStringList{"gone.wav"}}, // both reasons, nothing added
        };
        for (auto [files, added, notAudio, unreadable] : rows) {
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
    }
};

QTEST_GUILESS_MAIN(TstDiscProject)
#include "tst_discproject.moc"
