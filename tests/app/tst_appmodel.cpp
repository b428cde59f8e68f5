// The application model: settings, modes, deck counts and files handed to the program.

#include "TestEnv.h"
#include "app/AppModel.h"
#include "app/BurnImageModel.h"
#include "audio/DiscProject.h"
#include "drives/Deck.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

class TestAppModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void storedSettings_data()
    {
        QTest::addColumn<QVariant>("tab");
        QTest::addColumn<QVariant>("decks");
        QTest::addColumn<MainTab>("expectedTab");
        QTest::addColumn<QString>("storedTab");
        QTest::addColumn<int>("expectedDecks");

        const QVariant none;
        QTest::newRow("nothing stored") << none << none << MainTab::audio << "Audio CD" << 0;
        QTest::newRow("data screen") << QVariant("Data & ISO") << QVariant(4) << MainTab::data << "Data & ISO" << 4;
        QTest::newRow("tools screen") << QVariant("Checksums & Mount") << QVariant(6) << MainTab::tools << "Checksums & Mount" << 6;
        QTest::newRow("case differs") << QVariant("data & iso") << QVariant(2) << MainTab::audio << "Audio CD" << 2;
        QTest::newRow("case name, not raw") << QVariant("data") << none << MainTab::audio << "Audio CD" << 0;
        QTest::newRow("decks not a number") << QVariant("Audio CD") << QVariant("lots") << MainTab::audio << "Audio CD" << 0;
        QTest::newRow("decks as text number") << none << QVariant("4") << MainTab::audio << "Audio CD" << 4;
    }

    void storedSettings()
    {
        QFETCH(QVariant, tab);
        QFETCH(QVariant, decks);
        QFETCH(MainTab, expectedTab);
        QFETCH(QString, storedTab);
        QFETCH(int, expectedDecks);

        TestEnv env;
        auto settings = env.settings();
        if (tab.isValid())
            settings->setValue(QStringLiteral("klvo.td.tab"), tab);
        if (decks.isValid())
            settings->setValue(QStringLiteral("decks"), decks);
        AppModel model({settings.get(), false, env.path(QStringLiteral("log.txt"))});
        QCOMPARE(model.tab(), expectedTab);
        QCOMPARE(model.deckSetting(), expectedDecks);
        QCOMPARE(settings->value(QStringLiteral("klvo.td.tab")).toString(), storedTab);
        QCOMPARE(settings->value(QStringLiteral("decks")).toInt(), expectedDecks);
    }

    void changesAreWrittenBack()
    {
        TestEnv env;
        auto settings = env.settings();
        {
            AppModel model({settings.get(), false, env.path(QStringLiteral("log.txt"))});
            QSignalSpy tabSpy(&model, &AppModel::tabChanged);
            model.setTab(MainTab::tools);
            model.setTab(MainTab::tools);
            QCOMPARE(tabSpy.size(), 1);
            model.setDeckSetting(4);
            model.themes()->select(QStringLiteral("gold"));
        }
        AppModel again({settings.get(), false, env.path(QStringLiteral("log.txt"))});
        QCOMPARE(again.tab(), MainTab::tools);
        QCOMPARE(again.deckSetting(), 4);
        QCOMPARE(again.theme().name, QStringLiteral("Gold"));
    }

    void modeChangeLogsOnlyRealChanges()
    {
        TestEnv env;
        auto settings = env.settings();
        AppModel model({settings.get(), false, env.path(QStringLiteral("log.txt"))});
        const int before = model.logLines()->rowCount();
        model.setMode(BurnMode::mirror);
        QCOMPARE(model.logLines()->rowCount(), before);
        model.setMode(BurnMode::queue);
        QCOMPARE(model.logLines()->lines().first().text, QStringLiteral("Mode set to Copies."));
        model.setMode(BurnMode::independent);
        QCOMPARE(model.logLines()->lines().first().text, QStringLiteral("Mode set to Independent."));
        QCOMPARE(model.logLines()->rowCount(), before + 2);
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
        TestEnv env;
        auto settings = env.settings();
        AppModel model({settings.get(), false, env.path(QStringLiteral("log.txt"))});
        model.setCopies(asked);
        QCOMPARE(model.copies(), kept);
    }

    void editingProjectFollowsMode()
    {
        TestEnv env;
        auto settings = env.settings();
        AppModel model({settings.get(), false, env.path(QStringLiteral("log.txt"))});
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
        QTest::addColumn<QList<bool>>("active");
        QTest::addColumn<int>("setting");
        QTest::addColumn<int>("expected");
        const QList<bool> none(6, false);
        QList<bool> onE = none;
        onE[4] = true;
        QList<bool> onA = none;
        onA[0] = true;
        QList<bool> onF = none;
        onF[5] = true;
        QTest::newRow("auto, no burner") << none << 0 << 2;
        QTest::newRow("auto, burner on A") << onA << 0 << 2;
        QTest::newRow("auto, burner on E") << onE << 0 << 5;
        QTest::newRow("auto, burner on F") << onF << 0 << 6;
        QTest::newRow("two, burner on E") << onE << 2 << 5;
        QTest::newRow("four, burner on A") << onA << 4 << 4;
        QTest::newRow("six, no burner") << none << 6 << 6;
        QTest::newRow("out-of-range setting") << none << 9 << 6;
    }

    void visibleCount()
    {
        QFETCH(QList<bool>, active);
        QFETCH(int, setting);
        QFETCH(int, expected);
        QCOMPARE(AppModel::visibleCountFor(active, setting), expected);
    }

    void visibleDecksOfModel()
    {
        TestEnv env;
        auto settings = env.settings();
        AppModel model({settings.get(), false, env.path(QStringLiteral("log.txt"))});
        QCOMPARE(model.visibleDecks().size(), 2);
        QSignalSpy changed(&model, &AppModel::decksChanged);
        model.setDeckSetting(6);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(model.visibleDecks(), model.decks());
    }

    void openedFilesSplitIntoImageAndTracks()
    {
        TestEnv env;
        auto settings = env.settings();
        AppModel model({settings.get(), false, env.path(QStringLiteral("log.txt"))});
        const QString iso = env.path(QStringLiteral("Backup.ISO"));
        const QString song = env.path(QStringLiteral("First Song.wav"));
        const QString mono = env.path(QStringLiteral("mono.wav"));
        const QString notes = env.path(QStringLiteral("notes.mp3")); // text, not audio
        QVERIFY(TestEnv::writePattern(iso, 64 * 1024));
        QVERIFY(TestEnv::writeWav(song, 1.5));
        QVERIFY(TestEnv::writeWav(mono, 2.0, 22050, 1));
        QFile text(notes);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("this is not an MP3\n");
        text.close();

        DiscProject *first = model.projects().at(0);
        QSignalSpy added(first, &DiscProject::tracksAdded);
        model.openFiles({song, iso, notes, mono});
        QCOMPARE(model.burnImage()->image(), iso);
        QCOMPARE(model.tab(), MainTab::data);
        QVERIFY(added.wait());
        QCOMPARE(model.tab(), MainTab::audio);
        // Newest first: the text file is named after the count.
        QCOMPARE(model.logLines()->lines().at(1).text, QStringLiteral("Added 2 track(s) to the disc."));
        QCOMPARE(model.logLines()->lines().at(0).text,
                 QStringLiteral("Left out 1 file that isn't audio: “notes.mp3”."));
        QCOMPARE(first->count(), 2);
        QCOMPARE(first->tracks().at(0).title, QStringLiteral("First Song"));
        QCOMPARE(first->tracks().at(0).seconds, 1.5);
        QCOMPARE(first->tracks().at(1).path, mono);
        QCOMPARE(first->tracks().at(1).seconds, 2.0);
    }

    // A long list of files left out names the first ten.
    void leftOutFilesAreNamed()
    {
        TestEnv env;
        auto settings = env.settings();
        AppModel model({settings.get(), false, env.path(QStringLiteral("log.txt"))});
        model.setMode(BurnMode::independent);
        DiscProject *p = model.projects().at(2);
        QSignalSpy added(p, &DiscProject::tracksAdded);
        QStringList many;
        for (int i = 1; i <= 12; ++i)
            many << env.path(QStringLiteral("n%1.txt").arg(i, 2, 10, QLatin1Char('0')));
        p->add(many);
        QVERIFY(added.wait(10000));
        QCOMPARE(model.logLines()->lines().first().text, QStringLiteral("Left out 12 files that can't be read: “n01.txt”, “n02.txt”, “n03.txt”, “n04.txt”, “n05.txt”, “n06.txt”, “n07.txt”, “n08.txt”, “n09.txt”, “n10.txt” and 2 more."));
    }

    void onlyImagesStayOnDataScreen()
    {
        TestEnv env;
        auto settings = env.settings();
        AppModel model({settings.get(), false, env.path(QStringLiteral("log.txt"))});
        const int before = model.logLines()->rowCount();
        model.openFiles({env.path(QStringLiteral("a.cue")), env.path(QStringLiteral("b.iso"))});
        QCOMPARE(model.burnImage()->image(), env.path(QStringLiteral("a.cue")));
        QCOMPARE(model.tab(), MainTab::data);
        QCOMPARE(model.logLines()->rowCount(), before);
    }
};

QTEST_GUILESS_MAIN(TestAppModel)
#include "tst_appmodel.moc"
