// One walk through the real window on two virtual burners, driven only the
// way a user drives it: files dropped on the disc editor, titles typed, a
// track moved, the gap knob turned, album and artist typed, Burn all decks;
// then a stack of copies of a master CD read from the Data & ISO screen; then
// emulated burners in trouble. The discs the burners wrote are checked
// afterwards.

#include "ImageFixtures.h"
#include "WindowTest.h"
#include "audio/DiscProject.h"
#include "drives/Deck.h"
#include "platform/linux/HardwareDiscService.h"
#include "platform/virtual/VirtualDiscService.h"
#include "EmulatedDrives.h"

#include <QApplication>
#include <QDir>
#include <QMimeData>
#include <QStandardPaths>
#include <QQuickItem>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

namespace {

// The window wide enough for every deck, shown and active.
bool open(MainWindowRig &rig)
{
    if (!rig.window)
        return false;
    rig.window->resize(1900, 1060);
    return rig.show();
}

// WAVs of the given seconds, named after their titles, dropped on the track
// list with the events a file manager's drop causes.
void dropWavs(MainWindowRig &rig, std::initializer_list<std::pair<const char *, double>> wavs)
{
    QMimeData mime;
    QList<QUrl> urls;
    for (const auto &[name, seconds] : wavs) {
        urls << QUrl::fromLocalFile(rig.env.path(QLatin1String(name) + QStringLiteral(".wav")));
        QVERIFY(TestEnv::writeWav(urls.last().toLocalFile(), seconds));
    }
    mime.setUrls(urls);
    const QPoint at = rig.reveal(rig.item(QStringLiteral("trackList")));
    QQuickItem *editor = rig.item(QStringLiteral("discEditor"));
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(rig.window, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(rig.window, &move);
    // The editor lights up while the files are over it.
    QVERIFY(editor->property("dragging").toBool());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(rig.window, &drop);
    QVERIFY(drop.isAccepted());
    QVERIFY(!editor->property("dragging").toBool());
    QTRY_COMPARE(rig.findAll(QStringLiteral("titleField")).size(), urls.size());
}

// The text of the item called `name`, on the card of `deck` if given.
QString text(const MainWindowRig &rig, const char *name, const char *deck = nullptr)
{
    QQuickItem *card = deck ? rig.item(QStringLiteral("deckCard") + QLatin1String(deck)) : nullptr;
    return rig.item(QLatin1String(name), card)->property("text").toString();
}

// Replaces a field's text as a user does: click, select all, type, Tab on.
void typeInto(MainWindowRig &rig, QQuickItem *field, const QString &text)
{
    rig.click(field);
    rig.key(Qt::Key_A, Qt::ControlModifier);
    rig.type(text);
    rig.key(Qt::Key_Tab);
}

} // namespace

class TestAudioWalk : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void burnTwoDecksThenCopies()
    {
        auto *burners = new VirtualDiscService(2);
        std::unique_ptr<DiscService> owner(burners);
        burners->setUnthrottled(true);
        burners->setAutoInsertSeconds(1);
        MainWindowRig rig(0, {}, burners);
        QVERIFY(open(rig));
        dropWavs(rig, {{"Opening", 1.0}, {"Middle", 1.5}, {"Closing", 0.5}});
        QCOMPARE(rig.model->projects().at(0)->tracks().at(0).title, QStringLiteral("Opening"));

        // Rename the first two, then move the last one up.
        typeInto(rig, rig.rows(QStringLiteral("titleField")).at(0), QStringLiteral("Sunrise Ω"));
        typeInto(rig, rig.rows(QStringLiteral("titleField")).at(1), QStringLiteral("Über den Wolken"));
        // Ω is past Latin-1 and is said under its field; Ü is not.
        const QList<QQuickItem *> warnings = rig.rows(QStringLiteral("titleWarning"));
        QVERIFY(warnings.at(0)->isVisible());
        QCOMPARE(warnings.at(0)->property("text").toString(),
                 QStringLiteral("CD-Text can't hold “Ω”; it becomes “?” on the disc."));
        QVERIFY(!warnings.at(1)->isVisible());
        rig.click(rig.rows(QStringLiteral("moveUp")).at(2));

        // The gap knob: arrow keys stop at 5 s, a double click goes back to
        // 2 s, and the gap goes down to nothing.
        QQuickItem *knob = rig.item(QStringLiteral("gapKnob"));
        rig.click(knob);
        for (int i = 0; i < 4; ++i)
            rig.key(Qt::Key_Up);
        QCOMPARE(rig.model->projects().at(0)->gapSeconds(), 5.0);
        QCOMPARE(knob->property("valueText").toString(), QStringLiteral("5 s"));
        QTest::mouseDClick(rig.window, Qt::LeftButton, {}, rig.reveal(knob));
        QCOMPARE(rig.model->projects().at(0)->gapSeconds(), 2.0);
        for (int i = 0; i < 3; ++i)
            rig.key(Qt::Key_Down);
        QCOMPARE(knob->property("valueText").toString(), QStringLiteral("0 s"));

        typeInto(rig, rig.item(QStringLiteral("albumField")), QStringLiteral("Walk Album"));
        typeInto(rig, rig.item(QStringLiteral("artistField")), QStringLiteral("The Walkers"));

        QSignalSpy endedA(rig.model->decks().at(0), &Deck::audioBurnEnded);
        QSignalSpy endedB(rig.model->decks().at(1), &Deck::audioBurnEnded);
        rig.click(rig.item(QStringLiteral("burnAllButton")));
        QTRY_VERIFY_WITH_TIMEOUT(endedA.count() == 1 && endedB.count() == 1, 60000);
        // The blank that goes in after each disc readies its deck for a new burn.
        QTRY_COMPARE_WITH_TIMEOUT(text(rig, "mainButton", "A"), QStringLiteral("Burn"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(text(rig, "mainButton", "B"), QStringLiteral("Burn"), 10000);

        const QString folderA = burners->outputFolder(burners->burnerNumbers().at(0));
        const QString folderB = burners->outputFolder(burners->burnerNumbers().at(1));
        for (const QString &folder : {folderA, folderB}) {
            const QString cue = QString::fromUtf8(readFile(folder + QStringLiteral("/Disc 001.cue")));
            QStringList titles;
            const QRegularExpression titleLine(QStringLiteral("^    TITLE \"(.*)\"$"), QRegularExpression::MultilineOption);
            for (auto it = titleLine.globalMatch(cue); it.hasNext();)
                titles.append(it.next().captured(1));
            // CD-Text carries Latin-1: Ω can't be written and becomes "?".
            QCOMPARE(titles, (QStringList{"Sunrise ?", "Closing", "Über den Wolken"}));
            QVERIFY(cue.startsWith(QStringLiteral("TITLE \"Walk Album\"\n")));
            QVERIFY(cue.contains(QStringLiteral("\nPERFORMER \"The Walkers\"")));
            // Only the first track has the pause every disc starts with.
            QCOMPARE(cue.count(QStringLiteral("INDEX 00")), 1);
        }
        const QStringList logged = rig.texts();
        for (const char *deck : {"A", "B"})
            QVERIFY2(logged.contains(QStringLiteral("Deck %1: CD-Text can't hold “Ω”; it becomes “?” on the disc (track 1).")
                                         .arg(QLatin1String(deck))),
                     qPrintable(logged.join(u'\n')));
        const QByteArray binA = readFile(folderA + QStringLiteral("/Disc 001.bin"));
        QVERIFY(binA.size() > 2352 * 75 * 3);
        QCOMPARE(binA, readFile(folderB + QStringLiteral("/Disc 001.bin")));

        // A's first disc back in its tray as a master, read as a stack of two
        // copies, which B burns and compares one after the other.
        rig.model->decks().at(0)->insertImage(folderA + QStringLiteral("/Disc 001.cue"));
        rig.model->setTab(MainTab::data);
        QTRY_COMPARE_WITH_TIMEOUT(text(rig, "discPicker"), QStringLiteral("Audio CD in Deck A (3 audio tracks)"), 20000);
        // The stack takes the place of "Then burn it": nothing is queued for B.
        rig.click(rig.item(QStringLiteral("copyThenBurnBox")));
        rig.click(rig.item(QStringLiteral("copiesStackBox")));
        QVERIFY(!rig.item(QStringLiteral("copyThenBurnBox"))->isVisible());
        rig.click(rig.item(QStringLiteral("copyMasterButton")));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.model->copySource().isEmpty(), 60000);
        QCOMPARE(rig.model->mode(), BurnMode::queue);
        QCOMPARE(rig.model->queue()->jobs().size(), 1);
        rig.model->setTab(MainTab::audio);
        QCOMPARE(text(rig, "copiesSourceLine"),
                 QStringLiteral("Each copy is of the master “Walk Album” by The Walkers (3 tracks), not of the audio project below."));
        // Ten copies at first, two from eight steps down.
        for (int i = 0; i < 8; ++i)
            rig.click(rig.item(QStringLiteral("stepDown"), rig.item(QStringLiteral("copiesStepper"))));
        QCOMPARE(rig.model->copies(), 2);
        // A, holding the master, is refused without taking a copy.
        rig.click(rig.item(QStringLiteral("mainButton"), rig.item(QStringLiteral("deckCardA"))));
        QCOMPARE(rig.lastLine(), QStringLiteral("Deck A: CD-R — already written, not blank."));
        QCOMPARE(rig.model->copiesStarted(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(rig.model->decks().at(1)->blankLoaded(), 10000);
        rig.click(rig.item(QStringLiteral("burnAllButton")));
        // The copy is this screen's: its deck's Stop works.
        QTRY_VERIFY(rig.model->decks().at(1)->busy());
        QVERIFY(rig.item(QStringLiteral("mainButton"), rig.item(QStringLiteral("deckCardB")))->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(text(rig, "copiesLine"), QStringLiteral("2 DONE · 0 BURNING · 0 WAITING"), 90000);
        QCOMPARE(rig.texts().count(QStringLiteral("Deck B: identical to the master (3 tracks)")), 2);
        const QStringList copiesB = QDir(folderB).entryList({"Disc *.bin"});
        QCOMPARE(copiesB.size(), 1 + 2);
        for (const QString &copy : copiesB.mid(1))
            QVERIFY(readFile(folderB + u'/' + copy) == binA);
        // Back to the project: the source line goes.
        rig.click(rig.item(QStringLiteral("copiesFromProjectButton")));
        QVERIFY(rig.model->copySource().isEmpty() && !rig.item(QStringLiteral("copiesSourceLine"))->isVisible());
    }

    // Three emulated decks burn at once through the hardware service
    // (libburn), in Mirror with verify on. A gets ready after a moment and
    // burns at the speed picked on its card, bit for bit, with its CD-Text
    // as cdrdao reads it; B never gets ready and C meets a write error, each
    // said plainly with the drive's words only under it. A fresh blank
    // readies C again. (One libburn fault a time: its complaints are shared
    // by every drive; B's is this program's own.)
    void emulatedDecksBurnThroughTrouble()
    {
        EmulatedDrives drives({QStringLiteral("CD-R"), QStringLiteral("CD-R"), QStringLiteral("CD-R")});
        HardwareDiscService burners(drives.devices());
        MainWindowRig rig(0, {}, &burners);
        QVERIFY(open(rig));
        const QList<Deck *> decks = rig.model->decks().mid(0, 3);
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(decks.begin(), decks.end(), [](Deck *d) { return d->blankLoaded(); }), 20000);
        dropWavs(rig, {{"One", 1.0}, {"Two", 2.0}, {"Three", 3.0}});
        typeInto(rig, rig.rows(QStringLiteral("titleField")).at(1), QStringLiteral("Deux été"));
        typeInto(rig, rig.item(QStringLiteral("albumField")), QStringLiteral("Bench Album"));
        typeInto(rig, rig.item(QStringLiteral("artistField")), QStringLiteral("The Deck"));
        // Bit for bit: no loudness matching.
        rig.click(rig.item(QStringLiteral("loudnessBox")));
        QVERIFY(rig.item(QStringLiteral("verifyBox"))->property("checked").toBool());
        drives[0].arm(mmc::Fault::becomingReady, 0, 3);
        drives[1].arm(mmc::Fault::becomingReady, 0, 0);
        drives[2].arm(mmc::Fault::writeError, 20, 1);
        // Deck A at 24x: the speed picked on the deck reaches its drive.
        clickSegment(rig, rig.item(QStringLiteral("speedSelector"), rig.item(QStringLiteral("deckCardA"))), 3);

        QList<QSignalSpy *> ended;
        for (Deck *deck : decks)
            ended.append(new QSignalSpy(deck, &Deck::audioBurnEnded));
        const auto freed = qScopeGuard([&ended] { qDeleteAll(ended); });
        rig.click(rig.item(QStringLiteral("burnAllButton")));
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(ended.begin(), ended.end(), [](QSignalSpy *s) { return s->count() == 1; }),
                                 60000);
        const QList<LogLine> &lines = rig.model->logLines()->lines();
        const auto failed = [&](const QString &deck) {
            return std::find_if(lines.begin(), lines.end(), [&](const LogLine &l) { return l.text.startsWith(deck + QStringLiteral(": failed.")); });
        };
        QVERIFY(failed(QStringLiteral("Deck A")) == lines.end() && drives.tracks(0).size() == 3);
        QVERIFY2(drives.writes(0).value(0).startsWith(QLatin1String("SAO speed=4234")), qPrintable(drives.writes(0).join(' ')));
        const QByteArray pcm = readFile(rig.env.path("One.wav")).mid(44);
        QVERIFY(drives.sectors(0, drives.tracks(0)[0].start, 75) == pcm.leftJustified(75 * 2352, '\0'));
        for (const auto &[deck, said] : {std::pair{"Deck B", "The burner didn't get ready. Wait a moment, then try again."},
                                         std::pair{"Deck C", "The burner couldn't write to the disc. Try another disc."}}) {
            const auto line = failed(QLatin1String(deck));
            QVERIFY2(line != lines.end(), deck);
            QCOMPARE(line->text, QLatin1String(deck) + QStringLiteral(": failed. ") + QLatin1String(said));
            QVERIFY2(!line->detail.isEmpty() && !line->detail.contains(QLatin1String(said)), qPrintable(line->detail));
        }
        // The drive was let go: a new blank readies the deck, and Eject opens the tray.
        drives[2].arm(mmc::Fault::none);
        drives[2].insert(mmc::Medium::cdr);
        QTRY_VERIFY_WITH_TIMEOUT(decks[2]->blankLoaded(), 60000);
        rig.click(rig.item(QStringLiteral("ejectButton"), rig.item(QStringLiteral("deckCardC"))));
        QTRY_COMPARE_WITH_TIMEOUT(drives[2].trayStatus(), 2, 20000);

        if (QStandardPaths::findExecutable(QStringLiteral("cdrdao")).isEmpty())
            QSKIP("cdrdao is not installed: the disc was not read back independently");
        drives[0].closeTray(); // the deck ejected the disc when it was done
        const auto read = drives.run(QStringLiteral("cdrdao"), {"read-toc", "--device", EmulatedDrives::device(0), "deck-a.toc"},
                                     rig.env.path(QString()));
        QVERIFY2(read.code == 0, qPrintable(read.output));
        const QString toc = QString::fromLatin1(readFile(rig.env.path("deck-a.toc")));
        for (const char *line : {"TITLE \"Bench Album\"", "PERFORMER \"The Deck\"", "TITLE \"One\"", "TITLE \"Deux \\351t\\351\"",
                                 "TITLE \"Three\""})
            QVERIFY2(toc.contains(QLatin1String(line)), qPrintable(toc));
        // The gap knob's 2 s before each track after the first.
        QCOMPARE(toc.count(QStringLiteral("START 00:02:00")), 2);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestAudioWalk test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_audiowalk.moc"
