// The application model: settings, modes, deck counts and files handed to the program.

#include "ModelRig.h"
#include "app/BurnImageModel.h"
#include "audio/DiscProject.h"

#include <QSignalSpy>
#include <QTest>

class TestAppModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void storedSettings_data()
    {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<MainTab>("expectedTab");
        QTest::addColumn<QString>("storedTab");
        QTest::addColumn<int>("expectedDecks");
        QTest::addColumn<bool>("notifications");

        const QString tab = QStringLiteral("klvo.td.tab"), decks = QStringLiteral("decks");
        const QString notes = QStringLiteral("klvo.td.notifications");
        QTest::newRow("nothing stored") << QVariantMap{} << MainTab::audio << "Audio CD" << 0 << true;
        QTest::newRow("data screen") << QVariantMap{{tab, "Data & ISO"}, {decks, 4}} << MainTab::data << "Data & ISO" << 4 << true;
        QTest::newRow("tools screen") << QVariantMap{{tab, "Checksums & Mount"}, {decks, 6}} << MainTab::tools << "Checksums & Mount" << 6 << true;
        QTest::newRow("case differs") << QVariantMap{{tab, "data & iso"}, {decks, 2}} << MainTab::audio << "Audio CD" << 2 << true;
        QTest::newRow("case name, not raw") << QVariantMap{{tab, "data"}} << MainTab::audio << "Audio CD" << 0 << true;
        QTest::newRow("decks not a number") << QVariantMap{{tab, "Audio CD"}, {decks, "lots"}} << MainTab::audio << "Audio CD" << 0 << true;
        QTest::newRow("decks as text number") << QVariantMap{{decks, "4"}} << MainTab::audio << "Audio CD" << 4 << true;
        QTest::newRow("notifications off") << QVariantMap{{notes, false}} << MainTab::audio << "Audio CD" << 0 << false;
        QTest::newRow("notifications on") << QVariantMap{{notes, true}} << MainTab::audio << "Audio CD" << 0 << true;
    }

    void storedSettings()
    {
        QFETCH(QVariantMap, stored);
        QFETCH(MainTab, expectedTab);
        QFETCH(QString, storedTab);
        QFETCH(int, expectedDecks);
        QFETCH(bool, notifications);
        AppModelAlone app(stored);
        QCOMPARE(app.model->tab(), expectedTab);
        QCOMPARE(app.model->deckSetting(), expectedDecks);
        QCOMPARE(app.model->notifications(), notifications);
        QCOMPARE(app.settings->value(QStringLiteral("klvo.td.tab")).toString(), storedTab);
        QCOMPARE(app.settings->value(QStringLiteral("decks")).toInt(), expectedDecks);
    }

    void changesAreWrittenBack()
    {
        AppModelAlone app;
        QSignalSpy tabSpy(app.model.get(), &AppModel::tabChanged);
        QSignalSpy notesSpy(app.model.get(), &AppModel::notificationsChanged);
        QSignalSpy decksSpy(app.model.get(), &AppModel::decksChanged);
        QCOMPARE(app.model->visibleDecks().size(), 2);
        app.model->setTab(MainTab::tools);
        app.model->setTab(MainTab::tools);
        QCOMPARE(tabSpy.size(), 1);
        app.model->setNotifications(false);
        app.model->setNotifications(false);
        QCOMPARE(notesSpy.size(), 1);
        app.model->setDeckSetting(4);
        QCOMPARE(decksSpy.size(), 1);
        QCOMPARE(app.model->visibleDecks(), app.model->decks().mid(0, 4));
        app.model->themes()->select(QStringLiteral("gold"));
        app.reopen();
        QCOMPARE(app.model->tab(), MainTab::tools);
        QCOMPARE(app.model->deckSetting(), 4);
        QCOMPARE(app.model->theme().name, QStringLiteral("Gold"));
        QCOMPARE(app.model->notifications(), false);
    }

    void modeChangeLogsOnlyRealChanges()
    {
        AppModelAlone app;
        const qsizetype before = app.lines().size();
        app.model->setMode(BurnMode::mirror);
        QCOMPARE(app.lines().size(), before);
        app.model->setMode(BurnMode::queue);
        QCOMPARE(app.lines().first().text, QStringLiteral("Mode set to Copies."));
        app.model->setMode(BurnMode::independent);
        QCOMPARE(app.lines().first().text, QStringLiteral("Mode set to Independent."));
        QCOMPARE(app.lines().size(), before + 2);
    }

    void copiesStayWithinTheirRange_data()
    {
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("kept");
        QTest::newRow("none") << 0 << 1;
        QTest::newRow("500") << 500 << 500;
        QTest::newRow("501") << 501 << 500;
    }
    void copiesStayWithinTheirRange()
    {
        QFETCH(int, asked);
        QFETCH(int, kept);
        AppModelAlone app;
        app.model->setCopies(asked);
        QCOMPARE(app.model->copies(), kept);
    }

    void editingProjectFollowsMode()
    {
        AppModelAlone app;
        AppModel &model = *app.model;
        model.setEditingIndex(2);
        QCOMPARE(model.editingProject(), model.projects().at(0));
        model.setMode(BurnMode::independent);
        QCOMPARE(model.editingProject(), model.projects().at(2));
        QCOMPARE(model.projectFor(model.decks().at(4)), model.projects().at(4));
        model.setMode(BurnMode::queue);
        QCOMPARE(model.projectFor(model.decks().at(4)), model.projects().at(0));
    }

    void visibleCount_data()
    {
        QTest::addColumn<int>("burner"); // the deck with one; -1: none
        QTest::addColumn<int>("setting");
        QTest::addColumn<int>("expected");
        QTest::newRow("auto, no burner") << -1 << 0 << 2;
        QTest::newRow("auto, burner on A") << 0 << 0 << 2;
        QTest::newRow("auto, burner on F") << 5 << 0 << 6;
        QTest::newRow("two, burner on E") << 4 << 2 << 5;
        QTest::newRow("four, burner on A") << 0 << 4 << 4;
        QTest::newRow("six, no burner") << -1 << 6 << 6;
        QTest::newRow("out-of-range setting") << -1 << 9 << 6;
    }

    void visibleCount()
    {
        QFETCH(int, burner);
        QFETCH(int, setting);
        QFETCH(int, expected);
        QList<bool> active(6, false);
        if (burner >= 0)
            active[burner] = true;
        QCOMPARE(AppModel::visibleCountFor(active, setting), expected);
    }

    void openedFilesSplitIntoImageAndTracks()
    {
        AppModelAlone app;
        const QString iso = app.env.path(QStringLiteral("Backup.ISO"));
        const QString song = app.env.path(QStringLiteral("First Song.wav"));
        const QString mono = app.env.path(QStringLiteral("mono.wav"));
        const QString notes = app.env.path(QStringLiteral("notes.mp3")); // text, not audio
        QVERIFY(TestEnv::writePattern(iso, 64 * 1024));
        QVERIFY(TestEnv::writeWav(song, 1.5));
        QVERIFY(TestEnv::writeWav(mono, 2.0, 22050, 1));
        QVERIFY(writeFile(notes, "this is not an MP3\n"));

        DiscProject *first = app.model->projects().at(0);
        QSignalSpy added(first, &DiscProject::tracksAdded);
        app.model->openFiles({song, iso, notes, mono});
        QCOMPARE(app.model->burnImage()->image(), iso);
        QCOMPARE(app.model->tab(), MainTab::data);
        QVERIFY(added.wait());
        QCOMPARE(app.model->tab(), MainTab::audio);
        // Newest first: the text file is named after the count.
        QCOMPARE(app.lines().at(1).text, QStringLiteral("Added 2 track(s) to the disc."));
        QCOMPARE(app.lines().at(0).text, QStringLiteral("Left out 1 file that isn't audio: “notes.mp3”."));
        QCOMPARE(first->count(), 2);
        QCOMPARE(first->tracks().at(0).title, QStringLiteral("First Song"));
        QCOMPARE(first->tracks().at(0).seconds, 1.5);
        QCOMPARE(first->tracks().at(1).path, mono);
        QCOMPARE(first->tracks().at(1).seconds, 2.0);
    }

    // A long list of files left out names the first ten.
    void leftOutFilesAreNamed()
    {
        AppModelAlone app;
        app.model->setMode(BurnMode::independent);
        DiscProject *p = app.model->projects().at(2);
        QSignalSpy added(p, &DiscProject::tracksAdded);
        QStringList many;
        for (int i = 1; i <= 12; ++i)
            many << app.env.path(QStringLiteral("n%1.txt").arg(i, 2, 10, QLatin1Char('0')));
        p->add(many);
        QVERIFY(added.wait(10000));
        QCOMPARE(app.lines().first().text, QStringLiteral("Left out 12 files that can't be read: “n01.txt”, “n02.txt”, “n03.txt”, “n04.txt”, “n05.txt”, “n06.txt”, “n07.txt”, “n08.txt”, “n09.txt”, “n10.txt” and 2 more."));
    }

    void onlyImagesStayOnDataScreen()
    {
        AppModelAlone app;
        const qsizetype before = app.lines().size();
        app.model->openFiles({app.env.path(QStringLiteral("a.cue")), app.env.path(QStringLiteral("b.iso"))});
        QCOMPARE(app.model->burnImage()->image(), app.env.path(QStringLiteral("a.cue")));
        QCOMPARE(app.model->tab(), MainTab::data);
        QCOMPARE(app.lines().size(), before);
    }
};

QTEST_GUILESS_MAIN(TestAppModel)
#include "tst_appmodel.moc"
