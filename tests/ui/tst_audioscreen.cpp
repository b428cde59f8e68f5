// The Audio CD screen in the real window on a real model with scripted
// burners: what each control shows and allows as the decks and the disc
// change, and that clicks on the controls reach the model.

#include "WindowTest.h"
#include "app/BurnImageModel.h"
#include "audio/DiscProject.h"
#include "drives/Deck.h"

#include <QAccessible>
#include <QApplication>
#include <QScopeGuard>
#include <QSignalSpy>
#include <functional>

namespace {

struct Rig : MainWindowRig
{
    explicit Rig(int burners)
        : MainWindowRig(burners, [](MainWindowRig &rig) { rig.model->refreshDrives(); })
    {
        if (window)
            window->resize(1900, 1060);
    }
    QQuickItem *card(int i) const { return item(QStringLiteral("deckCard") + deck(i)->letter()); }
    QQuickItem *inCard(int i, const QString &name) const
    {
        QQuickItem *c = card(i);
        return c ? item(name, c) : nullptr;
    }
    QString textOf(QQuickItem *it) const { return it ? it->property("text").toString() : QStringLiteral("(none)"); }
    QString text(const QString &name) const { return textOf(item(name)); }
    void pick(const QString &control, int index) const { clickSegment(*this, item(control), index); }
    // Adds short tracks to `project` and waits for them and their lengths.
    bool addTracks(DiscProject *project, int count)
    {
        QStringList names;
        for (int i = 0; i < count; ++i)
            names.append(QStringLiteral("p%1-t%2").arg(qintptr(project)).arg(i));
        return ::addTones(env, project, names, 0.4);
    }
};

namespace Setup {
constexpr int idle = 0, burningAudio = 1, burningImage = 2, done = 3, waiting = 4, imageDone = 5, noBurner = 6;
}

} // namespace

class TestAudioScreen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mainButton_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("test");
        QTest::addColumn<bool>("demo");
        QTest::addColumn<int>("setup");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("phase"); // the line under the disc
        const int mirror = int(BurnMode::mirror), copies = int(BurnMode::queue);
        const QString ready = QStringLiteral("Ready"), done = QStringLiteral("Done. Disc ejecting.");
        QTest::newRow("idle") << mirror << false << false << Setup::idle << "Burn" << true << ready;
        QTest::newRow("test") << mirror << true << false << Setup::idle << "Test" << true << ready;
        QTest::newRow("demo") << mirror << false << true << Setup::idle << "Demo" << true << ready;
        QTest::newRow("test beats demo") << mirror << true << true << Setup::idle << "Test" << true << ready;
        QTest::newRow("burning audio") << mirror << false << false << Setup::burningAudio << "Stop" << true << "Starting";
        QTest::newRow("burning a queued image") << mirror << false << false << Setup::burningImage << "Stop" << false << "Burn disc.iso on Deck A — Starting";
        QTest::newRow("done in Mirror") << mirror << false << false << Setup::done << "Burn again" << true << done;
        QTest::newRow("done in Copies") << copies << false << false << Setup::done << "Burn next" << true << "Copy 1 of 1 — " + done;
        QTest::newRow("waiting for a blank") << copies << false << false << Setup::waiting << "Burn next" << true << "Insert a blank CD-R for copy 2";
        // Its outcome is the image's, not this disc's, which wasn't burned.
        QTest::newRow("done with a queued image") << mirror << false << false << Setup::imageDone << "Burn" << true << ready;
        QTest::newRow("no burner") << mirror << false << false << Setup::noBurner << "Burn" << false << ready;
        QTest::newRow("no burner, demo") << mirror << false << true << Setup::noBurner << "Demo" << true << ready;
    }
    void mainButton()
    {
        QFETCH(int, mode);
        QFETCH(bool, test);
        QFETCH(bool, demo);
        QFETCH(int, setup);
        QFETCH(QString, label);
        QFETCH(bool, enabled);
        QFETCH(QString, phase);
        Rig rig(setup == Setup::noBurner ? 0 : 2);
        QVERIFY(rig.window);
        rig.model->setMode(BurnMode(mode));
        // Copies: one copy ends the stack at done, two leave the deck waiting for the next.
        rig.model->setCopies(setup == Setup::waiting ? 2 : 1);
        QVERIFY(rig.addTracks(rig.model->projects().at(0), 1));
        if (setup == Setup::burningAudio || setup == Setup::done || setup == Setup::waiting) {
            ScriptedJob *job = rig.startBurning(0);
            QVERIFY(job);
            if (setup != Setup::burningAudio)
                job->send(DiscJobState::done);
        } else if (setup == Setup::burningImage || setup == Setup::imageDone) {
            const QString image = rig.env.path(QStringLiteral("disc.iso"));
            QVERIFY(TestEnv::writePattern(image, 2048 * 64));
            rig.model->burnImage()->setImage(image);
            QTRY_VERIFY(rig.model->burnImage()->imageInfo().has_value());
            rig.model->burnImage()->setTargets({0});
            rig.model->burnImage()->setChecksumCheck(false);
            rig.model->burnImage()->burn();
            QTRY_VERIFY(rig.deck(0)->busy());
            QCOMPARE(rig.deck(0)->op(), Deck::Op::image);
            if (setup == Setup::imageDone) {
                rig.service.jobs.last().job->send(DiscJobState::done);
                QCOMPARE(rig.deck(0)->stateName(), QStringLiteral("done"));
            }
        }
        rig.model->setTest(test);
        rig.model->setDemo(demo);
        QQuickItem *button = rig.inCard(0, QStringLiteral("mainButton"));
        QVERIFY(button);
        QCOMPARE(rig.textOf(button), label);
        QCOMPARE(button->isEnabled(), enabled);
        QCOMPARE(rig.textOf(rig.inCard(0, QStringLiteral("phaseLine"))), phase);
        // The deck's card says "Done" for anything but an audio burn.
        QCOMPARE(rig.inCard(0, QStringLiteral("trackStat"))->property("label").toString(),
                 setup == Setup::burningAudio ? QStringLiteral("Track") : QStringLiteral("Done"));
    }

    // Clicking the main button starts the deck, and clicking it again stops it.
    void mainButtonStartsAndStops()
    {
        Rig rig(1);
        QVERIFY(rig.window && rig.show());
        QVERIFY(rig.addTracks(rig.model->projects().at(0), 3));
        // The speed selector's ends: "Max" is 0.
        QCOMPARE(rig.textOf(rig.inCard(0, QStringLiteral("speedCaption"))), QStringLiteral("SPEED · drive max 48x"));
        rig.pick(QStringLiteral("speedSelector"), 4);
        QCOMPARE(rig.deck(0)->speedX(), 0);
        rig.pick(QStringLiteral("speedSelector"), 0);
        QCOMPARE(rig.deck(0)->speedX(), 4);
        QQuickItem *button = rig.inCard(0, QStringLiteral("mainButton"));
        rig.click(button);
        QTRY_COMPARE(rig.service.jobs.size(), 1);
        QPointer<ScriptedJob> job = rig.service.jobs.last().job;
        // 10x on a CD: 1764 kB/s.
        job->send(DiscJobState::trackWrite, 40, 1764, 2);
        QCOMPARE(rig.inCard(0, QStringLiteral("trackStat"))->property("value").toString(), QStringLiteral("2/3"));
        QCOMPARE(rig.inCard(0, QStringLiteral("speedStat"))->property("value").toString(), QStringLiteral("10.0x"));
        QCOMPARE(rig.inCard(0, QStringLiteral("leftStat"))->property("value").toString(), rig.deck(0)->etaText());
        QVERIFY(rig.deck(0)->etaText() != QStringLiteral("—"));
        QCOMPARE(rig.inCard(0, QStringLiteral("disc"))->property("spinning").toBool(), true);
        QVERIFY(!rig.inCard(0, QStringLiteral("speedSelector"))->isEnabled());
        QVERIFY(!rig.inCard(0, QStringLiteral("ejectButton"))->isEnabled());
        rig.click(button);
        // The deck lets go of its burn when stopped; a burn still held hears the abort.
        QTRY_VERIFY(!job || job->aborts == 1);
        QCOMPARE(rig.deck(0)->stateName(), QStringLiteral("stopped"));
        // Eject opens the tray once the deck rests.
        QQuickItem *eject = rig.inCard(0, QStringLiteral("ejectButton"));
        QVERIFY(eject->isEnabled());
        rig.click(eject);
        QCOMPARE(std::static_pointer_cast<ScriptedDevice>(rig.service.list.first())->ejects, 1);
        QCOMPARE(rig.textOf(button), QStringLiteral("Burn"));
    }

    void optionBoxesReachTheModel_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QByteArray>("property");
        QTest::newRow("Test burn") << "testBox" << QByteArray("test");
        QTest::newRow("Verify") << "verifyBox" << QByteArray("verify");
        QTest::newRow("Match loudness") << "loudnessBox" << QByteArray("matchLoudness");
    }
    void optionBoxesReachTheModel()
    {
        QFETCH(QString, box);
        QFETCH(QByteArray, property);
        Rig rig(0);
        QVERIFY(rig.window && rig.show());
        const bool before = rig.model->property(property).toBool();
        QQuickItem *item = rig.item(box);
        QVERIFY(item);
        QCOMPARE(item->property("text").toString(), QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(!item->property("help").toString().isEmpty());
        rig.click(item);
        QCOMPARE(rig.model->property(property).toBool(), !before);
        QCOMPARE(item->property("checked").toBool(), !before);
    }

    // The mode selector changes the mode, starts the copy count afresh and
    // goes back to deck A's disc; its hint follows.
    void modeSelector()
    {
        Rig rig(2);
        QVERIFY(rig.window && rig.show());
        rig.model->setEditingIndex(1);
        rig.pick(QStringLiteral("modeSelector"), 1);
        QCOMPARE(rig.model->mode(), BurnMode::independent);
        QCOMPARE(rig.model->editingIndex(), 0);
        QCOMPARE(rig.text(QStringLiteral("modeHint")),
                 QStringLiteral("Independent: a different disc on each deck. Click Edit disc on a deck to set its tracks."));
        QVERIFY(!rig.item(QStringLiteral("copiesCard"))->isVisible());

        // Edit disc on deck B puts B's disc in the editor.
        QCOMPARE(rig.textOf(rig.inCard(0, QStringLiteral("editButton"))), QStringLiteral("Editing"));
        QCOMPARE(rig.textOf(rig.inCard(1, QStringLiteral("editButton"))), QStringLiteral("Edit disc"));
        rig.click(rig.inCard(1, QStringLiteral("editButton")));
        QCOMPARE(rig.model->editingIndex(), 1);
        QCOMPARE(rig.item(QStringLiteral("discEditor"))->property("title").toString(), QStringLiteral("Disc for Deck B"));
        QCOMPARE(rig.textOf(rig.inCard(1, QStringLiteral("editButton"))), QStringLiteral("Editing"));

        rig.pick(QStringLiteral("modeSelector"), 2);
        QCOMPARE(rig.model->mode(), BurnMode::queue);
        QVERIFY(rig.item(QStringLiteral("copiesCard"))->isVisible());
        QVERIFY(!rig.inCard(0, QStringLiteral("editButton"))->isVisible());
        QCOMPARE(rig.item(QStringLiteral("discEditor"))->property("title").toString(), QStringLiteral("Disc to copy"));
        rig.pick(QStringLiteral("modeSelector"), 0);
        QCOMPARE(rig.item(QStringLiteral("discEditor"))->property("title").toString(), QStringLiteral("Disc for every deck"));
    }

    // The stepper's clicks and keys reach the model's bounds and grey out
    // there; a count lowered below the copies already started leaves none
    // waiting, never fewer.
    void copiesCard()
    {
        Rig rig(2);
        QVERIFY(rig.window && rig.show());
        rig.model->setMode(BurnMode::queue);
        rig.model->setCopies(3);
        QVERIFY(rig.addTracks(rig.model->projects().at(0), 1));
        QVERIFY(rig.startBurning(0));
        QVERIFY(rig.startBurning(1));
        // While a deck burns, Burn all and the mode can't be changed.
        QVERIFY(!rig.item(QStringLiteral("burnAllButton"))->isEnabled());
        QVERIFY(!rig.item(QStringLiteral("modeSelector"))->isEnabled());
        QCOMPARE(rig.item(QStringLiteral("modeSelector"))->opacity(), 0.6);
        rig.service.jobs.first().job->send(DiscJobState::done);
        QCOMPARE(rig.text(QStringLiteral("copiesLine")), QStringLiteral("1 DONE · 1 BURNING · 1 WAITING"));
        QCOMPARE(rig.item(QStringLiteral("copiesBar"))->property("value").toDouble(), 1.0 / 3);
        QQuickItem *stepper = rig.item(QStringLiteral("copiesStepper"));
        QQuickItem *down = rig.item(QStringLiteral("stepDown"), stepper), *up = rig.item(QStringLiteral("stepUp"), stepper);
        rig.click(down);
        rig.click(down);
        QCOMPARE(rig.model->copies(), 1);
        QCOMPARE(rig.text(QStringLiteral("copiesLine")), QStringLiteral("1 DONE · 1 BURNING · 0 WAITING"));
        QVERIFY(up->isEnabled() && !down->isEnabled());
        rig.click(up);
        QCOMPARE(rig.textOf(rig.item(QStringLiteral("stepValue"), stepper)), QStringLiteral("2"));
        stepper->forceActiveFocus();
        rig.key(Qt::Key_End);
        QCOMPARE(rig.model->copies(), 500);
        QVERIFY(!up->isEnabled() && down->isEnabled());
        rig.key(Qt::Key_PageDown);
        QCOMPARE(rig.model->copies(), 490);
        rig.key(Qt::Key_Home);
        QCOMPARE(rig.model->copies(), 1);
        QCOMPARE(rig.text(QStringLiteral("burnAllButton")), QStringLiteral("Burn all decks"));
        rig.model->setTest(true);
        QCOMPARE(rig.text(QStringLiteral("burnAllButton")), QStringLiteral("Test all decks"));
    }

    void deckGrid_data()
    {
        QTest::addColumn<int>("burners");
        QTest::addColumn<int>("segment"); // of the deck-count selector: Auto, 2, 4, 6
        QTest::addColumn<int>("cards");
        QTest::addColumn<int>("columns");
        QTest::addColumn<bool>("large");
        QTest::newRow("no burner, Auto") << 0 << 0 << 2 << 2 << true;
        QTest::newRow("five burners, Auto") << 5 << 0 << 5 << 3 << false;
        QTest::newRow("one burner, 4") << 1 << 2 << 4 << 3 << false;
        QTest::newRow("no burner, 6") << 0 << 3 << 6 << 3 << false;
    }
    void deckGrid()
    {
        QFETCH(int, burners);
        QFETCH(int, segment);
        QFETCH(int, cards);
        QFETCH(int, columns);
        QFETCH(bool, large);
        Rig rig(burners);
        QVERIFY(rig.window && rig.show());
        rig.model->setDeckSetting(6); // the click below must change something
        rig.pick(QStringLiteral("deckCountSelector"), segment);
        QCOMPARE(rig.model->deckSetting(), QList<int>({0, 2, 4, 6}).at(segment));
        QQuickItem *grid = rig.item(QStringLiteral("deckGrid"));
        QCOMPARE(grid->property("columns").toInt(), columns);
        for (int i = 0; i < 6; ++i) {
            QQuickItem *card = rig.card(i);
            QCOMPARE(card != nullptr, i < cards);
            if (card)
                QCOMPARE(card->property("large").toBool(), large);
        }
        // Cards of one row share the width (to the pixel the layout rounds).
        QVERIFY(qAbs(rig.card(0)->width() - rig.card(1)->width()) <= 1);
        QCOMPARE(rig.card(1)->x() > rig.card(0)->x(), true);
    }

    void editorLock_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("editing");
        QTest::addColumn<bool>("locked");
        // Deck B burns in every row.
        QTest::newRow("Mirror: any deck locks") << int(BurnMode::mirror) << 0 << true;
        QTest::newRow("Independent: another deck's disc") << int(BurnMode::independent) << 0 << false;
        QTest::newRow("Independent: the burning deck's disc") << int(BurnMode::independent) << 1 << true;
    }
    void editorLock()
    {
        QFETCH(int, mode);
        QFETCH(int, editing);
        QFETCH(bool, locked);
        Rig rig(2);
        QVERIFY(rig.window && rig.show());
        rig.model->setMode(BurnMode(mode));
        rig.model->setEditingIndex(editing);
        for (DiscProject *p : rig.model->projects().mid(0, 2))
            QVERIFY(rig.addTracks(p, 2));
        QTRY_COMPARE(rig.rows(QStringLiteral("titleField")).size(), 2);
        QVERIFY(rig.startBurning(1));
        for (const char *name : {"albumField", "artistField", "catalogField", "gapKnob", "addTracksButton", "clearButton",
                                 "titleField", "performerField", "isrcField", "moveDown", "removeTrack"})
            QVERIFY2(rig.item(QString::fromLatin1(name))->isEnabled() == !locked, name);
        QCOMPARE(rig.item(QStringLiteral("trackDrop"))->isEnabled(), !locked);
        QCOMPARE(rig.item(QStringLiteral("lockedText"))->isVisible(), locked);
        if (locked)
            QCOMPARE(rig.text(QStringLiteral("lockedText")), QStringLiteral("Locked while burning"));
    }

    // The row draws its own line at 80:00: exactly 80:00 fits, a second
    // more turns the time and the bar red.
    void fitRow()
    {
        Rig rig(0);
        QVERIFY(rig.window);
        const auto isRed = [&](const char *name) {
            const auto rgb = [](QQuickItem *it, const char *p) { return it->property(p).value<QColor>().rgb(); };
            return rgb(rig.item(QString::fromLatin1(name)), "color") == rgb(rig.item("fitRow"), "overColor");
        };
        QCOMPARE(rig.text(QStringLiteral("fitTime")), QStringLiteral("0:00 of 80:00"));
        DiscProject *project = rig.model->projects().at(0);
        QVERIFY(rig.addTracks(project, 1));
        project->setTrackSeconds(project->tracks().first().id, 4800);
        QCOMPARE(rig.text(QStringLiteral("fitTime")), QStringLiteral("80:00 of 80:00"));
        QVERIFY(!isRed("fitTime") && !isRed("fitBar"));
        project->setTrackSeconds(project->tracks().first().id, 4801);
        QCOMPARE(rig.text(QStringLiteral("fitTime")), QStringLiteral("80:01 of 80:00"));
        QCOMPARE(rig.text(QStringLiteral("summaryLine")), QStringLiteral("1 TRACK · 80:01"));
        QVERIFY(isRed("fitTime") && isRed("fitBar"));
    }

    // The track list: the empty text and the row buttons (titles typed in place are the walk's).
    void trackList()
    {
        Rig rig(0);
        QVERIFY(rig.window && rig.show());
        QCOMPARE(rig.text(QStringLiteral("emptyText")),
                 QStringLiteral("Drag audio files here, or click Add Tracks.\nWAV, AIFF, MP3, M4A and FLAC all work."));
        DiscProject *project = rig.model->projects().at(0);
        QVERIFY(rig.addTracks(project, 3));
        QTRY_COMPARE(rig.rows(QStringLiteral("titleField")).size(), 3);
        QVERIFY(!rig.item(QStringLiteral("emptyText"))->isVisible());
        const QString first = project->tracks().at(0).title;
        rig.click(rig.rows(QStringLiteral("moveDown")).first());
        QCOMPARE(project->tracks().at(1).title, first);
        rig.click(rig.rows(QStringLiteral("removeTrack")).first());
        QCOMPARE(project->count(), 2);
        rig.click(rig.item(QStringLiteral("clearButton")));
        QCOMPARE(project->count(), 0);
        QVERIFY(!rig.item(QStringLiteral("clearButton"))->isEnabled());
        // A file that holds less than its header says is marked under its title.
        const QString cut = rig.env.path(QStringLiteral("cut.aif"));
        QVERIFY(TestEnv::writeCutAiff(cut, 3, 1));
        project->add({cut});
        QTRY_COMPARE(rig.text(QStringLiteral("trackNote")), QStringLiteral("Ends early — only 0:01 of 0:03 can be read."));
        QVERIFY(rig.item(QStringLiteral("trackNote"))->isVisible());
    }

    // Typing past Latin-1 into the disc's CD-Text fields shows the line under
    // the field that was typed in, and clears it once the text is fine again.
    void cdTextWarningsUnderAlbumAndArtist()
    {
        Rig rig(0);
        QVERIFY(rig.window && rig.show());
        for (const QString field : {"album", "artist"}) {
            QQuickItem *line = rig.item(field + QStringLiteral("Warning"));
            QVERIFY2(line && !line->isVisible(), qPrintable(field));
            rig.click(rig.item(field + QStringLiteral("Field")));
            rig.type(QStringLiteral("Ärzte ✓ Ω"));
            QVERIFY(line->isVisible());
            QCOMPARE(rig.textOf(line), QStringLiteral("CD-Text can't hold “✓”, “Ω”; they become “?” on the disc."));
            rig.key(Qt::Key_A, Qt::ControlModifier);
            rig.type(QStringLiteral("Ärzte"));
            QVERIFY(!line->isVisible());
        }
    }

    // A mastering code typed into its field: a good one is taken as stored;
    // a bad one is not, and once the field is left the reason shows by it.
    void codeFields_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("refusal"); // empty: taken
        QTest::addColumn<QString>("stored");
        QTest::newRow("catalogue number, wrong check digit") << "catalog" << "4006381333932" << "\"4006381333932\" isn't right: its check digit (the last) should be 1." << "";
        QTest::newRow("ISRC, lower case with hyphens") << "isrc" << "us-rc1-76-07839" << "" << "USRC17607839";
        QTest::newRow("ISRC, a character short") << "isrc" << "USRC1760783" << "\"USRC1760783\" isn't right: an ISRC is 12 characters, like DEA123400001." << "";
    }
    void codeFields()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, refusal);
        QFETCH(QString, stored);
        Rig rig(0);
        QVERIFY(rig.window && rig.show());
        DiscProject *project = rig.model->projects().at(0);
        QVERIFY(rig.addTracks(project, 1));
        QTRY_COMPARE(rig.rows(QStringLiteral("isrcField")).size(), 1);
        QQuickItem *input = rig.item(field + QStringLiteral("Field")), *line = rig.item(field + QStringLiteral("Problem"));
        rig.click(input);
        rig.type(typed);
        QVERIFY(!line->isVisible()); // not while the code is typed
        rig.key(Qt::Key_Tab);
        QCOMPARE(line->isVisible(), !refusal.isEmpty());
        QCOMPARE(rig.textOf(line), refusal);
        QCOMPARE(field == QLatin1String("catalog") ? project->catalog() : project->tracks()[0].isrc, stored);
        QCOMPARE(rig.textOf(input), stored.isEmpty() ? typed : stored);
    }

    // An empty slot doesn't read "Ready": the plug hint speaks for it, except
    // in demo mode, where every deck can burn. It has nothing to eject or
    // count, and decks alternate their accent tone.
    void emptySlot()
    {
        Rig rig(1);
        QVERIFY(rig.window && rig.show());
        rig.model->setDeckSetting(2);
        rig.settle();
        QVERIFY(!rig.inCard(1, QStringLiteral("phaseLine"))->isVisible());
        QVERIFY(rig.inCard(0, QStringLiteral("phaseLine"))->isVisible());
        QVERIFY(rig.inCard(1, QStringLiteral("plugHint"))->isVisible());
        QCOMPARE(rig.textOf(rig.inCard(1, QStringLiteral("plugHint"))),
                 QStringLiteral("Plug a burner straight into the computer, then Refresh Drives"));
        QVERIFY(!rig.inCard(1, QStringLiteral("ejectButton"))->isEnabled());
        QCOMPARE(rig.textOf(rig.inCard(1, QStringLiteral("speedCaption"))), QStringLiteral("SPEED"));
        QCOMPARE(rig.textOf(rig.inCard(1, QStringLiteral("trackStat"))->findChild<QQuickItem *>("value")), QStringLiteral("—"));
        QVERIFY(rig.inCard(0, QStringLiteral("disc"))->property("color") != rig.inCard(1, QStringLiteral("disc"))->property("color"));
        rig.model->setDemo(true);
        rig.settle();
        QVERIFY(rig.inCard(1, QStringLiteral("phaseLine"))->isVisible());
        QVERIFY(rig.inCard(1, QStringLiteral("plugHint"))->isVisible());
        QVERIFY(!rig.inCard(1, QStringLiteral("ejectButton"))->isEnabled());
    }

    // A deck's capability line is read whole: it wraps inside its card at
    // the narrowest page with six decks to a row.
    void capabilityLineStaysInItsCard()
    {
        Rig rig(6);
        QVERIFY(rig.window && rig.show());
        rig.window->resize(900, 700);
        rig.settle();
        for (int i = 0; i < 6; ++i) {
            QQuickItem *card = rig.card(i);
            QQuickItem *caps = rig.inCard(i, QStringLiteral("capsLine"));
            QVERIFY(card && caps && caps->isVisible());
            QCOMPARE(rig.textOf(caps), rig.deck(i)->capsSummary());
            const QRectF shown = caps->mapRectToItem(card, QRectF(0, 0, caps->width(), caps->height()));
            QVERIFY2(shown.right() <= card->width() && shown.left() >= 0, qPrintable(rig.deck(i)->letter()));
            QVERIFY(!caps->property("truncated").toBool());
            QVERIFY(caps->property("contentWidth").toDouble() <= caps->width() + 0.5);
        }
    }

    // What a screen reader finds walking the window: each track row with its
    // place, title and length, and the buttons that can't act now said to be
    // disabled.
    void screenReaderHearsTheTrackList()
    {
        QAccessible::setActive(true);
        const auto inactive = qScopeGuard([] { QAccessible::setActive(false); });
        Rig rig(1);
        QVERIFY(rig.window && rig.show());
        QVERIFY(rig.addTracks(rig.model->projects().at(0), 2));
        rig.settle();

        QStringList expected;
        for (QQuickItem *field : rig.findAll(QStringLiteral("titleField"))) {
            QQuickItem *row = field;
            while (row && !row->property("lengthText").isValid())
                row = row->parentItem();
            QVERIFY(row);
            expected << QStringLiteral("Track %1: %2, %3")
                            .arg(row->property("number").toString(), field->property("text").toString(), row->property("lengthText").toString());
        }
        QCOMPARE(expected.size(), 2);

        QStringList rows;
        QHash<QString, QList<bool>> disabled;
        std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *iface) {
            if (!iface)
                return;
            // The burn log's lines are list items too.
            if (iface->role() == QAccessible::ListItem && iface->text(QAccessible::Name).startsWith(QLatin1String("Track ")))
                rows << iface->text(QAccessible::Name);
            if (iface->role() == QAccessible::Button)
                disabled[iface->text(QAccessible::Name)] << iface->state().disabled;
            for (int i = 0; i < iface->childCount(); ++i)
                walk(iface->child(i));
        };
        walk(QAccessible::queryAccessibleInterface(rig.window));
        QCOMPARE(rows, expected);
        QCOMPARE(disabled.value(QStringLiteral("Move up")), (QList<bool>{true, false}));
        QCOMPARE(disabled.value(QStringLiteral("Move down")), (QList<bool>{false, true}));
        QCOMPARE(disabled.value(QStringLiteral("Remove")), (QList<bool>{false, false}));
        QCOMPARE(QAccessible::queryAccessibleInterface(rig.inCard(0, QStringLiteral("disc")))->text(QAccessible::Name),
                 QStringLiteral("Progress 0 percent"));
    }
};

QTEST_MAIN(TestAudioScreen)
#include "tst_audioscreen.moc"
