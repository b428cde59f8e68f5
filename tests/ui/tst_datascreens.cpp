// The Data & ISO and Checksums & Mount screens in the real window on a real
// model: what each card enables and says as the model changes underneath it,
// and the file choosers they and the window open.

#include "BurnFixtures.h"
#include "ImageFixtures.h"
#include "WindowTest.h"
#include "app/BurnImageModel.h"
#include "app/ChecksumModel.h"
#include "app/CopyDiscModel.h"
#include "app/MakeImageModel.h"
#include "app/MountModel.h"
#include "app/VerifyModel.h"
#include "audio/DiscProject.h"
#include "base/Format.h"
#include "drives/Deck.h"
#include "images/Checksums.h"
#include "images/ImageMaker.h"
#include "platform/linux/HardwareDiscService.h"
#include "platform/udif/Udif.h"
#include "queue/JobQueue.h"
#include "EmulatedDrives.h"

#include <QAccessible>
#include <QDialogButtonBox>
#include <QDir>
#include <QPushButton>
#include <QRandomGenerator>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>

namespace {

const QString md5 = QStringLiteral("d41d8cd98f00b204e9800998ecf8427e");
const QString sha = QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

struct Rig : MainWindowRig
{
    explicit Rig(MainTab tab)
        : MainWindowRig(2, [tab](MainWindowRig &rig) {
            rig.model->refreshDrives();
            // Queued jobs stay as they are, so the cards can be read mid-way.
            rig.model->queue()->setAutoStart(false);
            rig.model->setTab(tab);
        })
    {
    }
    QString text(const QString &name) const
    {
        QQuickItem *item = find(name);
        return item ? item->property("text").toString() : QStringLiteral("(no %1)").arg(name);
    }
    bool enabled(const QString &name) const { return find(name) && find(name)->isEnabled(); }
    // Whether the item and everything above it is shown.
    bool shown(const QString &name) const { return find(name) && find(name)->isVisible(); }
};

// The "Burn on" chips, one a deck (the row holds other items too).
QList<QQuickItem *> burnOnChips(const MainWindowRig &rig)
{
    QList<QQuickItem *> chips;
    for (QQuickItem *child : rig.item(QStringLiteral("burnOnChips"))->childItems())
        if (child->property("text").toString().size() == 1)
            chips << child;
    return chips;
}

// Whether the queue holds `count` jobs and every one has ended.
bool allEnded(const MainWindowRig &rig, qsizetype count)
{
    const QList<QJob> jobs = rig.model->queue()->jobs();
    return jobs.size() == count && std::all_of(jobs.begin(), jobs.end(), [](const QJob &j) { return j.finished(); });
}

// A master audio CD: 1100 sectors of pattern with CD-Text, ISRCs, a catalogue
// number, audio hidden before track 1, pre-gaps of 2 s and 4 s and an INDEX 02,
// as a BIN/CUE burned into emulated drive 0 by cdrskin.
struct Master
{
    TestEnv files;
    QString cue = files.path("master.cue");
    QByteArray bin = patternBytes(1100 * 2352, 5);
    EmulatedDrives drives;
    std::unique_ptr<DiscService> service;
    bool written = false;

    explicit Master(const QStringList &media)
        : drives(media)
    {
        written = writeFile(files.path("master.bin"), bin)
            && writeFile(cue, "CATALOG 4006381333931\nPERFORMER \"The Choir\"\nTITLE \"Evensong\"\n"
                              "FILE \"master.bin\" BINARY\n"
                              "TRACK 01 AUDIO\nFLAGS DCP\nTITLE \"Introit\"\nISRC DEA122600001\nINDEX 00 00:00:00\nINDEX 01 00:01:00\n"
                              "TRACK 02 AUDIO\nFLAGS PRE\nTITLE \"Psalm\"\nSONGWRITER \"Tallis\"\nISRC DEA122600002\n"
                              "INDEX 00 00:05:00\nINDEX 01 00:07:00\nINDEX 02 00:08:00\n"
                              "TRACK 03 AUDIO\nTITLE \"Anthem\"\nMESSAGE \"Live\"\nINDEX 00 00:09:00\nINDEX 01 00:13:00\n");
        const auto burned = drives.run("cdrskin", {"dev=" + EmulatedDrives::device(0), "-sao", "-text", "cuefile=master.cue"}, files.path({}));
        written = written && burned.code == 0;
        service = std::make_unique<HardwareDiscService>(drives.devices());
    }
};

} // namespace

class TestDataScreens : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Before anything is burned the card says what the image is, whether
    // its SHA-256 can be checked and why not, and what is wrong with it.
    // Burn Image… from the menu, the moment the image is chosen, waits for
    // that and burns only an image with nothing wrong.
    void cardSaysWhatTheImageIs_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content"); // a sheet's text names data.bin; "dmg": data.bin as a DMG
        QTest::addColumn<QString>("size");       // as the card shows it; "file": the file's own; empty: no facts
        QTest::addColumn<bool>("checkable");
        QTest::addColumn<bool>("warns");   // no file system found
        QTest::addColumn<QString>("problem");
        const QString data = fmtBytes(2048 * 64);
        const QByteArray pattern = QByteArray(2048 * 64, 'p');
        const QByteArray cue("FILE \"data.bin\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n");
        QByteArray noise(40000, Qt::Uninitialized);
        QRandomGenerator(5).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
        QTest::newRow("iso") << "disc.iso" << pattern << data << true << true << "";
        QTest::newRow("dmg") << "mac.dmg" << QByteArray("dmg") << "file" << false << false << "";
        // A sheet names the files that go to the disc: its own bytes don't.
        QTest::newRow("cue") << "disc.cue" << cue << data << false << false << "";
        QTest::newRow("random bytes named .dmg") << "noise.dmg" << noise << "file" << false << false << "KLVO Tandor can't burn noise.dmg: This file is not a DMG: it has no UDIF trailer (\"koly\").";
        QTest::newRow("empty iso") << "empty.iso" << QByteArray() << "" << true << false << "empty.iso is empty: there is nothing in it to burn.";
    }
    void cardSaysWhatTheImageIs()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, size);
        QFETCH(bool, checkable);
        QFETCH(bool, warns);
        QFETCH(QString, problem);
        Rig rig(MainTab::data);
        QVERIFY(rig.window);
        // Nothing to burn before an image has been looked at.
        QVERIFY(!rig.enabled(QStringLiteral("burnImageButton")));
        QVERIFY(rig.enabled(QStringLiteral("sha256Box")));

        const QString image = rig.env.path(file), bin = rig.env.path(QStringLiteral("data.bin"));
        QVERIFY(TestEnv::writePattern(bin, 2048 * 64));
        if (content == "dmg")
            Udif::write(bin, image);
        else
            QVERIFY(writeFile(image, content));
        // What the menu's Burn Image… does once the chooser has answered.
        BurnImageModel *burn = rig.model->burnImage();
        burn->setImage(image);
        QMetaObject::invokeMethod(rig.window, "burnImage");
        QTRY_VERIFY(burn->imageInfo() || !burn->problem().isEmpty());
        QCOMPARE(rig.find(QStringLiteral("imageWell"))->property("path").toString(), image);
        QCOMPARE(rig.shown(QStringLiteral("imageFacts")), !size.isEmpty());
        QCOMPARE(rig.text(QStringLiteral("imageSize")), size == u"file" ? fmtBytes(QFileInfo(image).size()) : size);
        QCOMPARE(rig.enabled(QStringLiteral("sha256Box")), checkable);
        QCOMPARE(rig.find(QStringLiteral("sha256Box"))->property("checked").toBool(), checkable);
        QCOMPARE(rig.shown(QStringLiteral("sha256Note")), !checkable);
        QCOMPARE(rig.shown(QStringLiteral("imageWarning")), warns);
        QCOMPARE(rig.shown(QStringLiteral("imageProblem")), !problem.isEmpty());
        QCOMPARE(rig.text(QStringLiteral("imageProblem")), problem);
        QCOMPARE(rig.enabled(QStringLiteral("burnImageButton")), problem.isEmpty());
        QCOMPARE(rig.model->queue()->jobs().size(), problem.isEmpty() ? 2 : 0);
    }

    // Images burned from the card on emulated burners through the hardware
    // service, with the burner's read-back: each job ends done, the log says
    // every byte was compared, and the disc holds the image. A sheet names
    // tracks.bin (900 sectors); `silence` is {bin sector, sectors} of
    // silence the disc holds before that sector, `starts` where each track's
    // INDEX 01 lies from the first's.
    void burnOnEmulatedBurners_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("media");
        QTest::addColumn<QByteArray>("sheet");
        QTest::addColumn<QList<int>>("starts");
        QTest::addColumn<QList<int>>("silence");
        QTest::newRow("ISO on CD-R and DVD-R at once") << "disc.iso" << QStringList{"CD-R", "DVD-R"} << QByteArray() << QList<int>{0} << QList<int>{};
        QTest::newRow("cue, audio with PREGAP and INDEX 00") << "album.cue" << QStringList{"CD-R"} << QByteArray("CATALOG 4006381333931\nFILE \"tracks.bin\" BINARY\n  TRACK 01 AUDIO\n    ISRC DEA123400001\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    PREGAP 00:01:00\n    INDEX 00 00:06:00\n    INDEX 01 00:07:00\n") << QList<int>{0, 600} << QList<int>{450, 75};
    }
    void burnOnEmulatedBurners()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, media);
        QFETCH(QByteArray, sheet);
        QFETCH(QList<int>, starts);
        QFETCH(QList<int>, silence);
        EmulatedDrives drives(media);
        HardwareDiscService burners(drives.devices());
        MainWindowRig rig(0, [](MainWindowRig &r) { r.model->setTab(MainTab::data); }, &burners);
        QVERIFY(rig.window);
        rig.window->resize(1400, 900);
        QVERIFY(rig.show());

        // What the disc should hold from the first track's INDEX 01 on.
        const bool audio = !sheet.isEmpty();
        const QString image = rig.env.path(file), raw = rig.env.path(audio ? "tracks.bin" : "raw.iso");
        QByteArray expected = audio ? patternBytes(900 * 2352, 3) : patternBytes(300 * 2048, 3) + QByteArray(64 * 2048, '\0');
        QVERIFY(writeFile(raw, expected));
        if (audio)
            QVERIFY(writeFile(image, sheet));
        else
            QVERIFY(QFile::copy(raw, image));
        if (!silence.isEmpty())
            expected.insert(silence[0] * 2352, QByteArray(silence[1] * 2352, '\0'));

        const QList<QQuickItem *> chip = burnOnChips(rig);
        for (int d = 0; d < media.size(); ++d)
            if (!rig.model->burnImage()->targets().contains(d))
                rig.click(chip.at(d));
        rig.click(rig.item(QStringLiteral("chooseImageButton")));
        QVERIFY(rig.answerFileDialog(image));
        QTRY_VERIFY_WITH_TIMEOUT(rig.model->burnImage()->imageInfo().has_value(), 10000);
        QVERIFY(rig.item(QStringLiteral("verifyBox"))->property("checked").toBool());
        // Each deck's line on the screen follows its tray, not the first look at it.
        const auto minis = [&] {
            QStringList said;
            for (QQuickItem *status : rig.findAll(QStringLiteral("deckMiniStatus")))
                said << status->childItems().value(0)->property("text").toString();
            return said.mid(0, media.size());
        };
        QTRY_VERIFY2_WITH_TIMEOUT(minis().filter(QRegularExpression(QStringLiteral("^Blank .* ready"))).size() == media.size(),
                                  qPrintable(minis().join(u'|')), 20000);
        rig.click(rig.item(QStringLiteral("burnImageButton")));
        QTRY_VERIFY_WITH_TIMEOUT(allEnded(rig, media.size()), 60000);
        const QStringList log = rig.texts();
        for (const QJob &job : rig.model->queue()->jobs())
            QVERIFY2(job.state == JobState::done, qPrintable(job.detail + u'\n' + log.join(u'\n')));

        const int slot = audio ? 2352 : 2048;
        for (int d = 0; d < media.size(); ++d) {
            const QList<EmulatedDrives::Track> tracks = drives.tracks(d);
            QCOMPARE(tracks.size(), starts.size());
            qsizetype gaps = 0;
            for (int t = 0; t < tracks.size(); ++t) {
                QCOMPARE(tracks[t].start - tracks[0].start, starts[t]);
                QCOMPARE(tracks[t].audio, audio);
                gaps += t > 0 ? tracks[t].start - tracks[t].pregap : 0;
            }
            QVERIFY2(drives.sectors(d, tracks[0].start, int(expected.size() / slot)) == expected, qPrintable(media[d]));
            // A sheet's catalogue number and ISRC reach the disc.
            const QStringList held = drives.disc(d);
            QCOMPARE(held.contains(QStringLiteral("mcn 4006381333931")) && held.filter(QRegularExpression(QStringLiteral("^track 1 .* DEA123400001$"))).size() == 1, audio);
            const QString said = QStringLiteral("Deck %1: read back — Match — the disc is the same as the image (%2 checked).")
                                     .arg(rig.model->decks().at(d)->letter(), fmtBytes(expected.size() - gaps * slot));
            QVERIFY2(log.contains(said), qPrintable(said + u'\n' + log.join(u'\n')));
            // An ISO is also read back the way the system reads a disc.
            const QString sha = QStringLiteral("Deck %1: Match — SHA-256 ").arg(rig.model->decks().at(d)->letter());
            QCOMPARE(!log.filter(sha).isEmpty(), file.endsWith(u".iso"));
        }
        if (!file.endsWith(u".iso"))
            return;

        // The DVD back in its tray is listed by itself on the Copy card, and copied to an .iso.
        drives[1].closeTray();
        const QString listed = QStringLiteral("DVD-R (%1, ").arg(drives.devices()[1]);
        QQuickItem *picker = rig.item(QStringLiteral("discPicker"));
        QTRY_VERIFY_WITH_TIMEOUT(picker->isVisible() && picker->property("text").toString().startsWith(listed), 20000);
        rig.click(rig.item(QStringLiteral("lookForDiscsButton")));
        QTRY_VERIFY2_WITH_TIMEOUT(rig.texts().contains(QStringLiteral("Discs found: ") + picker->property("text").toString()),
                                  qPrintable(picker->property("text").toString() + u'\n' + rig.texts().filter(QStringLiteral("found")).join(u'\n')), 20000);
        const QString copy = rig.env.path("copy.iso");
        rig.click(rig.item(QStringLiteral("makeIsoFromDiscButton")));
        QVERIFY(rig.answerFileDialog(copy));
        const auto copied = [&] { return rig.model->queue()->jobs().size() > media.size() && rig.model->queue()->jobs().last().finished(); };
        QTRY_VERIFY_WITH_TIMEOUT(copied(), 30000);
        QVERIFY2(rig.model->queue()->jobs().last().state == JobState::done, qPrintable(rig.texts().join(u'\n')));
        // The disc's track ends where libburn padded it.
        const QByteArray disc = readFile(copy);
        QCOMPARE(disc, expected + QByteArray(disc.size() - expected.size(), '\0'));
    }

    // A master with CD-Text, ISRCs, a catalogue number, hidden audio before
    // track 1, pre-gaps of 2 s and 4 s and an INDEX 02, copied from the
    // window onto decks B and C: each copy holds what the master holds, as
    // Tandor's comparison says and as cdrdao and bchunk read it.
    void copyMasterOntoEveryDeck()
    {
        Master m({"CD-R", "CD-R", "CD-R"});
        auto &[files, cue, bin, drives, service, written] = m;
        QVERIFY(written);
        MainWindowRig rig(0, [](MainWindowRig &r) { r.model->setTab(MainTab::data); }, service.get());
        QVERIFY(rig.window);
        rig.window->resize(1400, 900);
        QVERIFY(rig.show());

        const QList<QQuickItem *> chip = burnOnChips(rig);
        rig.click(chip.at(0)); // A holds the master; B is chosen already
        rig.click(chip.at(2));
        QCOMPARE(rig.model->burnImage()->targets(), (QList<int>{1, 2}));
        rig.click(rig.item(QStringLiteral("copyThenBurnBox")));
        QQuickItem *picker = rig.item(QStringLiteral("discPicker"));
        QTRY_COMPARE_WITH_TIMEOUT(picker->property("text").toString(), QStringLiteral("Audio CD in Deck A (3 audio tracks)"), 20000);
        rig.click(rig.item(QStringLiteral("copyMasterButton")));
        QTRY_VERIFY_WITH_TIMEOUT(allEnded(rig, 3), 120000);
        const QStringList log = rig.texts();
        for (const QJob &job : rig.model->queue()->jobs())
            QVERIFY2(job.state == JobState::done, qPrintable(job.detail + u'\n' + log.join(u'\n')));
        for (const QString deck : {"B", "C"})
            QVERIFY2(log.contains("Deck " + deck + ": identical to the master (3 tracks)"), qPrintable(log.join(u'\n')));

        // bchunk reads the cached BIN/CUE's indexes and splits it (a track from its last index to the next track's first).
        const QFileInfo cached = QDir(CopyDiscModel::cacheFolder()).entryInfoList({"*.cue"}).value(0);
        const auto split = drives.run("bchunk", {"-w", cached.path() + "/" + cached.completeBaseName() + ".bin", cached.filePath(), "t"}, files.path({}));
        QVERIFY2(split.output.contains("Track  2: AUDIO         00 00:05:00 01 00:07:00 02 00:08:00"), qPrintable(split.output));
        QVERIFY(readFile(files.path("t02.wav")).mid(44) == bin.mid(600 * 2352, 75 * 2352));
        // cdrdao reads the same table of contents, codes and CD-Text off each copy as off the master.
        const auto tocOf = [&](int d) {
            const auto read = drives.run("cdrdao", {"read-toc", "--device", EmulatedDrives::device(d), QStringLiteral("%1.toc").arg(d)}, files.path({}));
            return read.code == 0 ? readFile(files.path(QStringLiteral("%1.toc").arg(d))) : read.output.toLatin1();
        };
        const QByteArray masterToc = tocOf(0);
        for (const char *held : {"CATALOG \"4006381333931\"", "ISRC \"DEA122600002\"", "SONGWRITER \"Tallis\"", "START 00:04:00", "INDEX 00:01:00"})
            QVERIFY2(masterToc.contains(held), masterToc.constData());
        for (int d : {1, 2}) {
            QVERIFY(drives.sectors(d, 0, 1100) == bin);
            drives[d].closeTray(); // each copy was ejected once compared
            QCOMPARE(tocOf(d).replace(QByteArray::number(d) + ".toc", "0.toc"), masterToc);
        }
    }

    // A master that can't be copied whole, on emulated drives: a plain
    // sentence, and nothing burned that shouldn't be or kept half-read.
    void masterThatCantBeCopiedWhole()
    {
        enum Trouble { unstable, takenOut, dvdTarget };
        const struct
        {
            const char *name;
            Trouble trouble;
            QString said; // the read job's or the burn's ending, from its start
        } rows[] = {
            {"12 sectors never read the same twice, copied anyway", unstable, "Track 2: 12 sectors couldn't be read, around 0:01. "},
            {"the disc taken out while it is read", takenOut, "The CD was taken out while it was being read, so nothing was kept."},
            {"a DVD-R in the deck to burn on, the image kept", dvdTarget, "Deck B: kept.cue describes a CD, and a DVD-R can't take its tracks. Put in a blank CD-R or CD-RW."},
        };
        for (const auto &row : rows) {
            Master m({"CD-R", row.trouble == dvdTarget ? "DVD-R" : "CD-R"});
            QVERIFY2(m.written, row.name);
            MainWindowRig rig(0, [](MainWindowRig &r) { r.model->setTab(MainTab::data); }, m.service.get());
            QVERIFY(rig.window && rig.show());
            if (row.trouble == unstable)
                m.drives[0].damage(mmc::Fault::unstable, 600, 12);
            rig.click(burnOnChips(rig).at(0)); // B alone
            rig.click(rig.item(QStringLiteral("copyThenBurnBox")));
            QQuickItem *picker = rig.item(QStringLiteral("discPicker"));
            QTRY_VERIFY_WITH_TIMEOUT(picker->property("text").toString().startsWith(u"Audio CD in Deck A"), 20000);
            if (row.trouble == takenOut)
                m.drives[0].arm(mmc::Fault::mediumRemoved);
            if (row.trouble == dvdTarget)
                rig.click(rig.item(QStringLiteral("keepImageCheckbox")));
            rig.click(rig.item(QStringLiteral("copyMasterButton")));
            if (row.trouble == dvdTarget)
                QVERIFY(rig.answerFileDialog(m.files.path("kept.cue")));
            QTRY_VERIFY_WITH_TIMEOUT(allEnded(rig, 2), 60000);
            const QList<QJob> jobs = rig.model->queue()->jobs();
            QVERIFY2(jobs[row.trouble == dvdTarget].detail.startsWith(row.said), qPrintable(jobs[0].detail + u'\n' + jobs[1].detail));
            QCOMPARE(jobs[0].state, row.trouble == dvdTarget ? JobState::done : JobState::failed);
            QCOMPARE(jobs[1].state, row.trouble == dvdTarget ? JobState::failed : JobState::cancelled);
            QVERIFY2(m.drives.disc(1).filter(u"track").isEmpty(), row.name);
            const QStringList cached = QDir(CopyDiscModel::cacheFolder()).entryList(QDir::Files);
            if (row.trouble == takenOut)
                QVERIFY2(cached.isEmpty(), qPrintable(cached.join(u' ')));
            if (row.trouble == dvdTarget)
                QVERIFY(readFile(m.files.path("kept.bin")) == m.bin && cached.isEmpty());
            if (row.trouble != unstable)
                continue;
            // The card says what is missing; Copy Anyway burns the copy with silence there.
            QCOMPARE(rig.item(QStringLiteral("unreadableText"))->property("text").toString(), jobs[0].detail);
            rig.click(rig.item(QStringLiteral("copyAnywayButton")));
            QTRY_VERIFY_WITH_TIMEOUT(rig.model->queue()->jobs().size() == 3 && rig.model->queue()->jobs().last().finished(), 60000);
            QVERIFY2(rig.texts().contains(u"Deck B: identical to the master (3 tracks)"), qPrintable(rig.texts().join(u'\n')));
            QVERIFY(m.drives.sectors(1, 600, 12) == QByteArray(12 * 2352, '\0'));
            QVERIFY(!rig.item(QStringLiteral("copyAnywayButton"))->isVisible());
        }
    }

    // The card's buttons follow the model: a click on Test burn reaches the
    // model, which renames Burn Image; Make ISO… needs a folder and names
    // the format.
    void buttonsFollowTheModel()
    {
        Rig rig(MainTab::data);
        QVERIFY(rig.window && rig.show());
        const QString burn = QStringLiteral("burnImageButton"), make = QStringLiteral("makeImageButton");
        QCOMPARE(rig.text(burn), QStringLiteral("Burn Image"));
        QQuickItem *box = rig.find(QStringLiteral("testBurnBox"));
        rig.click(box);
        QVERIFY(rig.model->burnImage()->test());
        QCOMPARE(rig.text(burn), QStringLiteral("Test Burn"));
        rig.model->burnImage()->setTest(false);
        QCOMPARE(rig.text(burn), QStringLiteral("Burn Image"));
        QVERIFY(!box->property("checked").toBool());

        QCOMPARE(rig.text(make), QStringLiteral("Make ISO…"));
        QVERIFY(!rig.enabled(make));
        const QString folder = rig.env.path(QStringLiteral("Holiday"));
        QVERIFY(QDir().mkpath(folder));
        rig.model->makeImage()->setFolder(folder);
        QVERIFY(rig.enabled(make));
        rig.model->makeImage()->setFormat(QStringLiteral("DMG"));
        QCOMPARE(rig.text(make), QStringLiteral("Make DMG…"));
        QCOMPARE(rig.find(QStringLiteral("formatControl"))->property("currentIndex").toInt(), 1);
        // The name field shows what the model filled in from the folder.
        QCOMPARE(rig.text(QStringLiteral("volumeField")), rig.model->makeImage()->volume());
    }

    // What a screen reader hears of the "Burn on" chips and the Burn button:
    // each chip whether it is picked, the button that it can't burn yet.
    void screenReaderHearsTheBurnControls_data()
    {
        QTest::addColumn<bool>("readerFirst");
        QTest::newRow("reader running before the window") << true;
        QTest::newRow("reader started later") << false;
    }
    void screenReaderHearsTheBurnControls()
    {
        QFETCH(bool, readerFirst);
        QAccessible::setActive(readerFirst);
        const auto inactive = qScopeGuard([] { QAccessible::setActive(false); });
        Rig rig(MainTab::data);
        QVERIFY(rig.window && rig.show());
        QAccessible::setActive(true);
        const auto stateOf = [](QQuickItem *item) {
            QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(item);
            return iface ? iface->state() : QAccessible::State();
        };
        QQuickItem *burn = rig.find(QStringLiteral("burnImageButton"));
        QVERIFY(burn && !burn->isEnabled());
        QVERIFY(stateOf(burn).disabled);
        QVERIFY(!stateOf(rig.find(QStringLiteral("chooseImageButton"))).disabled);

        const QList<QQuickItem *> chips = burnOnChips(rig);
        QCOMPARE(chips.size(), 2);
        const auto heard = [&] {
            QList<bool> checked;
            for (QQuickItem *chip : chips) {
                const QAccessible::State st = stateOf(chip);
                if (!st.checkable)
                    return QList<bool>{};
                checked << bool(st.checked);
            }
            return checked;
        };
        rig.model->burnImage()->setTargets({0});
        QCOMPARE(heard(), (QList<bool>{true, false}));
        rig.click(chips.at(1));
        QCOMPARE(rig.model->burnImage()->targets(), (QList<int>{0, 1}));
        QCOMPARE(heard(), (QList<bool>{true, true}));
        rig.click(chips.at(0));
        QCOMPARE(heard(), (QList<bool>{false, true}));
    }

    // The DMG segment picked by a click; a DMG (made as the queue makes it:
    // tst_queuewalk) mounted and ejected on the Mount card, its decoded copy
    // gone with it.
    void dmgPickedThenMountedFromTheWindow()
    {
        if (!canMountWithFuse())
            QSKIP("making and mounting an image needs xorriso and FUSE");
        Rig rig(MainTab::data);
        QVERIFY(rig.window && rig.show());
        // The test screen is 800 px wide; the Mount card sits in the right column.
        rig.window->resize(1400, 900);
        clickSegment(rig, rig.find(QStringLiteral("formatControl")), 1);
        QCOMPARE(rig.model->makeImage()->format(), QStringLiteral("DMG"));
        const QString folder = rig.env.path(QStringLiteral("Holiday")), dmg = folder + QStringLiteral(".dmg");
        QVERIFY(writeFile(folder + QStringLiteral("/notes.txt"), "day one\n"));
        ImageMaker::make(folder, dmg, ImageFormat::dmg, QStringLiteral("Holiday"), {}, nullptr);

        rig.model->setTab(MainTab::tools);
        QStringList opened;
        rig.model->mounts()->setFolderOpener([&opened](const QString &f, const auto &) { opened << f; });
        rig.click(rig.find(QStringLiteral("mountImageButton")));
        QVERIFY(rig.answerFileDialog(dmg));
        QTRY_VERIFY_WITH_TIMEOUT(rig.model->mounts()->mountedList().size() == 1, 30000);
        const QStringList places = rig.model->mounts()->mountedList().first().toMap().value("mountPoints").toStringList();
        QCOMPARE(opened, places.mid(0, 1));
        QCOMPARE(readFile(places.value(0) + QStringLiteral("/notes.txt")), QByteArray("day one\n"));

        QList<QQuickItem *> eject;
        QTRY_VERIFY(!(eject = rig.findAll(QStringLiteral("ejectImageButton"))).isEmpty());
        // With several images mounted, a screen reader tells the lines apart by their buttons.
        const auto heard = [](QQuickItem *item) { return QAccessible::queryAccessibleInterface(item)->text(QAccessible::Name); };
        QQuickItem *show = rig.findAll(QStringLiteral("showImageButton")).value(0);
        QVERIFY(show);
        QCOMPARE(heard(show), QStringLiteral("Show “Holiday.dmg”"));
        QCOMPARE(heard(eject.first()), QStringLiteral("Eject “Holiday.dmg”"));
        rig.click(eject.first());
        QTRY_VERIFY_WITH_TIMEOUT(rig.model->mounts()->mountedList().isEmpty(), 30000);
        QCOMPARE(QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
                      + QStringLiteral("/KLVO Tandor/mounts")).entryList(QDir::Files), QStringList());
    }

    // The file choosers, opened from the window and answered as a person
    // would (a single file typed by path is the DMG test's). Save dialogs open
    // beside what they save from: Documents may be missing. Paths are under
    // the test's folder, "{}" in what is typed.
    void fileChoosers_data()
    {
        QTest::addColumn<QString>("opener");
        QTest::addColumn<QString>("proposed"); // the folder and name it opens at
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("chosen");
        QTest::newRow("Make ISO, a new name") << "makeIso" << "discs/Holiday.iso" << "renamed.iso" << "Save" << QStringList{"discs/renamed.iso"};
        QTest::newRow("Make DMG, no suffix typed") << "makeDmg" << "discs/Holiday.dmg" << "renamed" << "Save" << QStringList{"discs/renamed.dmg"};
        QTest::newRow("Make ISO, cancelled") << "makeIso" << "discs/Holiday.iso" << QString() << "Save" << QStringList{};
        QTest::newRow("Save Log, another folder") << "saveLogButton" << QString() << "{}/elsewhere/copy.txt" << "Save" << QStringList{"elsewhere/copy.txt"};
        QTest::newRow("Save .sha256, a new name") << "saveSumsButton" << "discs/Holiday.iso.sha256" << "sums" << "Save" << QStringList{"discs/sums.sha256"};
        QTest::newRow("Choose Folder, typed") << "Alt+Ctrl+I" << QString() << "{}/discs/Holiday" << "Choose" << QStringList{"discs/Holiday"};
        QTest::newRow("Add Tracks, several") << "addTracksButton" << QString() << R"("{}/c.wav" "{}/a.wav" "{}/b.wav")" << "Open" << QStringList{"c.wav", "a.wav", "b.wav"};
    }
    void fileChoosers()
    {
        QFETCH(QString, opener);
        QFETCH(QString, proposed);
        QFETCH(QString, typed);
        QFETCH(QString, button);
        QFETCH(QStringList, chosen);
        const bool making = opener.startsWith(QLatin1String("make"));
        const bool audio = opener == QLatin1String("addTracksButton");
        Rig rig(audio ? MainTab::audio : opener == QLatin1String("saveSumsButton") ? MainTab::tools : MainTab::data);
        QVERIFY(rig.window);
        // The log card sits in the right column, past the test screen's 800 px.
        rig.window->resize(1400, 900);
        QVERIFY(rig.show());
        // The trap of a folder typed by path: a folder inside it.
        QVERIFY(QDir().mkpath(rig.env.path(QStringLiteral("discs/Holiday/emoji"))));
        QVERIFY(QDir().mkpath(rig.env.path(QStringLiteral("elsewhere"))));
        const QString image = rig.env.path(QStringLiteral("discs/Holiday.iso"));
        QVERIFY(TestEnv::writePattern(image, 4096));
        for (const char *name : {"a.wav", "b.wav", "c.wav"})
            QVERIFY(TestEnv::writeWav(rig.env.path(QLatin1String(name)), 0.2));
        if (making) {
            rig.model->makeImage()->setFolder(rig.env.path(QStringLiteral("discs/Holiday")));
            rig.model->makeImage()->setFormat(opener == QLatin1String("makeDmg") ? "DMG" : "ISO");
            opener = QStringLiteral("makeImageButton");
        }
        if (opener == QLatin1String("saveSumsButton")) {
            rig.model->checksums()->checksum(image);
            rig.model->checksums()->setSums(Digests{md5, sha, 4096});
        }
        const auto outcome = [&] {
            QStringList paths;
            if (making) {
                for (const QJob &job : rig.model->queue()->jobs())
                    paths << job.kind.as<Jobs::MakeImage>()->output;
            } else if (audio) {
                for (const TrackItem &track : rig.model->editingProject()->tracks())
                    paths << track.path;
            } else if (opener == QLatin1String("Alt+Ctrl+I")) {
                paths << rig.model->makeImage()->folder();
            } else {
                for (const QString &path : chosen)
                    if (QFileInfo::exists(rig.env.path(path)))
                        paths << rig.env.path(path);
            }
            return paths;
        };

        if (opener.contains(u'+')) {
            QTest::keySequence(rig.window, QKeySequence(opener));
        } else {
            QQuickItem *open = rig.item(opener);
            QVERIFY2(open, qPrintable(opener));
            rig.click(open);
        }
        QFileDialog *dialog = rig.fileDialog();
        QVERIFY(dialog);
        if (!proposed.isEmpty())
            QCOMPARE(dialog->directory().filePath(dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text()),
                     rig.env.path(proposed));
        auto *buttons = dialog->findChild<QDialogButtonBox *>();
        QVERIFY(buttons);
        // Buttons come by role, the accepting one first.
        QCOMPARE(buttons->buttons().first()->text().remove(u'&'), button);
        QVERIFY(rig.answerFileDialog(typed.isNull() ? typed : typed.replace(QLatin1String("{}"), rig.env.path({}))));
        QStringList expected;
        for (const QString &path : chosen)
            expected << rig.env.path(path);
        QTRY_COMPARE(outcome(), expected);
    }

    // The sums show once worked out; what is typed to check against gets its verdict.
    void checksumRowsAndVerdict()
    {
        Rig rig(MainTab::tools);
        QVERIFY(rig.window);
        QVERIFY(!rig.shown(QStringLiteral("sumRows")) && !rig.enabled(QStringLiteral("copySha256Button")));
        QVERIFY(!rig.enabled(QStringLiteral("saveSumsButton")));

        rig.model->checksums()->setSums(Digests{md5, sha, 1234567});
        QVERIFY(rig.shown(QStringLiteral("sumRows")));
        QCOMPARE(rig.text(QStringLiteral("md5Value")), md5);
        QCOMPARE(rig.text(QStringLiteral("sha256Value")), sha);
        QCOMPARE(rig.text(QStringLiteral("sizeValue")), QStringLiteral("1.2 MB (1234567 bytes)"));
        QVERIFY(rig.enabled(QStringLiteral("copySha256Button")) && rig.enabled(QStringLiteral("saveSumsButton")));
        QVERIFY(!rig.shown(QStringLiteral("verdictLine")));

        const struct
        {
            QString expected, verdict;
            QString icon; // "" = no icon
        } rows[] = {
            {sha.toUpper(), "MATCH — the SHA-256 is the same.", "checkmark.seal.fill"},
            {QString(64, QLatin1Char('a')), "NO MATCH — this file is not the one that checksum belongs to.", "xmark.octagon.fill"},
            {"hello", "That isn't an MD5 or SHA-256 (32 or 64 letters and numbers).", ""},
        };
        for (const auto &row : rows) {
            rig.model->checksums()->setExpected(row.expected);
            QVERIFY(rig.shown(QStringLiteral("verdictLine")));
            QCOMPARE(rig.text(QStringLiteral("verdictText")), row.verdict);
            QQuickItem *mark = rig.find(QStringLiteral("verdictIcon"));
            QVERIFY2(mark && mark->isVisible() == !row.icon.isEmpty(), qPrintable(row.expected));
            if (!row.icon.isEmpty())
                QCOMPARE(mark->property("symbol").toString(), row.icon);
        }
    }

    // The checksum bar shows for the chosen file's job only; Verify needs
    // both an image and what to check it against.
    void toolsProgressVerifyAndLog()
    {
        Rig rig(MainTab::tools);
        QVERIFY(rig.window && rig.show());
        const QString file = rig.env.path(QStringLiteral("big.bin"));
        QVERIFY(TestEnv::writePattern(file, 4096));
        QVERIFY(!rig.shown(QStringLiteral("checksumProgress")));
        rig.model->checksums()->checksum(file);
        QCOMPARE(rig.model->queue()->activeCount(), 1);
        QVERIFY(rig.shown(QStringLiteral("checksumProgress")));
        QCOMPARE(rig.text(QStringLiteral("checksumProgressText")), QStringLiteral("Working out the checksums… 0%"));
        // Once the job is gone, so is its bar.
        for (const QJob &job : rig.model->queue()->jobs())
            rig.model->queue()->cancel(job.id);
        QVERIFY(!rig.shown(QStringLiteral("checksumProgress")));

        VerifyModel *verify = rig.model->verifyImage();
        QVERIFY(!rig.enabled(QStringLiteral("verifyButton")));
        verify->setImage(rig.env.path(QStringLiteral("a.iso")));
        QVERIFY(!rig.enabled(QStringLiteral("verifyButton")));
        verify->setAgainst(rig.env.path(QStringLiteral("b.iso")));
        QVERIFY(rig.enabled(QStringLiteral("verifyButton")));
        verify->setImage(QString());
        QVERIFY(!rig.enabled(QStringLiteral("verifyButton")));

        // A tool's own words show under the sentence they explain, in the log
        // card; lines without any show none.
        const QString sentence = QStringLiteral("Couldn't mount noise.iso: This image holds no file system Linux can mount.");
        const QString raw = QStringLiteral("fuseiso: init: wrong standard identifier in volume descriptor 17, exiting..");
        rig.model->log(sentence, raw);
        QQuickItem *detail = nullptr;
        QTRY_VERIFY((detail = [&]() -> QQuickItem * {
            for (QQuickItem *item : rig.findAll(QStringLiteral("logDetail")))
                if (item->isVisible() && item->property("text").toString() == raw)
                    return item;
            return nullptr;
        }()));
        const QList<QQuickItem *> siblings = detail->parentItem()->childItems();
        QVERIFY(siblings.size() >= 2);
        QCOMPARE(siblings.first()->property("text").toString(), sentence);
        QVERIFY(siblings.first()->mapToScene({}).y() < detail->mapToScene({}).y());
        for (QQuickItem *item : rig.findAll(QStringLiteral("logDetail")))
            if (item != detail)
                QVERIFY(!item->isVisible());
    }
};

QTEST_MAIN(TestDataScreens)
#include "tst_datascreens.moc"
