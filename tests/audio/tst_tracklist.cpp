#include "AudioFixtures.h"
#include "audio/DiscProject.h"
#include "audio/TrackListModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <memory>

class TstTrackList : public QObject
{
    Q_OBJECT

    TestEnv env;

    // One real file per title, `seconds` long, added and waited for; at
    // 100 Hz a three-minute track is quick to write and to measure.
    bool add(DiscProject &p, const QStringList &names, double seconds = 1) { return addTones(env, &p, names, seconds, 100, 1); }
    static QStringList column(const QAbstractItemModel &m, int role)
    {
        QStringList out;
        for (int r = 0; r < m.rowCount(); ++r)
            out << m.index(r, 0).data(role).toString();
        return out;
    }

private slots:
    void followsEdits()
    {
        // signal: the one change the views are told of
        const struct { QString edit; QStringList titles; QString signal; } rows[] = {
            {"add", QStringList{"a", "b", "c", "d", "e"}, "rowsInserted"}, // add
            {"move 0 1", QStringList{"b", "a", "c"}, "rowsMoved"}, // move down
            {"move 2 -1", QStringList{"a", "c", "b"}, "rowsMoved"}, // move up at the end
            {"move 0 -1", QStringList{"a", "b", "c"}, ""}, // move outside
            {"remove 1", QStringList{"a", "c"}, "rowsRemoved"}, // remove middle
            {"clear", QStringList{}, "rowsRemoved"}, // clear
            {"rename 2 Finale", QStringList{"a", "b", "Finale"}, "dataChanged"}, // rename
            {"setData 0 Opening", QStringList{"Opening", "b", "c"}, "dataChanged"}, // edit in the list
        };
        for (auto [edit, titles, signal] : rows) {
            DiscProject p;
            QVERIFY(add(p, {"a", "b", "c"}));
            TrackListModel model;
            QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
            model.setProject(&p);
            QHash<QString, std::shared_ptr<QSignalSpy>> spies;
            spies["rowsInserted"] = std::make_shared<QSignalSpy>(&model, &QAbstractItemModel::rowsInserted);
            spies["rowsRemoved"] = std::make_shared<QSignalSpy>(&model, &QAbstractItemModel::rowsRemoved);
            spies["rowsMoved"] = std::make_shared<QSignalSpy>(&model, &QAbstractItemModel::rowsMoved);
            spies["dataChanged"] = std::make_shared<QSignalSpy>(&model, &QAbstractItemModel::dataChanged);
            spies["modelReset"] = std::make_shared<QSignalSpy>(&model, &QAbstractItemModel::modelReset);

            const QStringList w = edit.split(QLatin1Char(' '));
            if (w[0] == QLatin1String("add"))
                QVERIFY(add(p, {"d", "e"}));
            else if (w[0] == QLatin1String("move"))
                p.move(w[1].toInt(), w[2].toInt());
            else if (w[0] == QLatin1String("remove"))
                p.remove(w[1].toInt());
            else if (w[0] == QLatin1String("clear"))
                p.clear();
            else if (w[0] == QLatin1String("rename"))
                p.rename(w[1].toInt(), w[2]);
            else
                QVERIFY(model.setData(model.index(w[1].toInt()), w[2]));

            QCOMPARE(column(model, TrackListModel::TitleRole), titles);
            QCOMPARE(column(model, Qt::DisplayRole), titles);
            for (auto it = spies.cbegin(); it != spies.cend(); ++it)
                QCOMPARE(it.value()->count(), it.key() == signal ? 1 : 0);
        }
    }

    void rolesAndEditing()
    {
        DiscProject p;
        QVERIFY(add(p, {"long one"}, 187.4));
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

    void followsItsProject()
    {
        DiscProject first, second;
        QVERIFY(add(first, {"a", "b"}));
        QVERIFY(add(second, {"x"}));
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
        QVERIFY(add(*gone, {"y", "z"}));
        model.setProject(gone.get());
        QCOMPARE(model.rowCount(), 2);
        gone.reset();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.project(), nullptr);
        QCOMPARE(projectChanged.count(), 4);
    }
};

QTEST_GUILESS_MAIN(TstTrackList)
#include "tst_tracklist.moc"
