// The cards of the data and tools screens, each on its own model: what it
// queues, what it refuses, and what it shows of the result.

#include "ModelRig.h"
#include "app/BurnImageModel.h"
#include "app/ChecksumModel.h"
#include "app/CopyDiscModel.h"
#include "app/EraseModel.h"
#include "app/MakeImageModel.h"
#include "app/MountModel.h"
#include "app/VerifyModel.h"
#include "images/ImageMaker.h"
#include "platform/udif/Udif.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <cerrno>
#include <cstring>

namespace {

DiscInfo dataDisc(const QString &bsd, const std::optional<QString> &volume)
{
    return {bsd, QStringLiteral("DVD"), QStringLiteral("DVD-ROM"), 8 << 20, 2048, QStringLiteral("iso9660"),
            volume, std::nullopt, false};
}

} // namespace

class TstCardModels : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The burn-image card: the burns it queues, on which decks, and its refusals.
    // Only shown decks with a burner are burned on (any shown deck in demo
    // mode); the others stay chosen for when a burner is plugged in.
    void queuesOneBurnPerUsableTarget_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("burners");
        QTest::addColumn<bool>("demo");
        QTest::addColumn<QList<int>>("targets");
        QTest::addColumn<bool>("test");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<bool>("checksum");
        const QStringList both{"Burn disc.iso on Deck A", "Burn disc.iso on Deck B"};
        QTest::newRow("A and B, C not shown") << "disc.iso" << 2 << false << QList<int>{2, 1, 0} << false << both << true;
        QTest::newRow("B has no burner") << "disc.iso" << 1 << false << QList<int>{0, 1} << false << QStringList{"Burn disc.iso on Deck A"} << true;
        QTest::newRow("no burner, demo") << "disc.iso" << 0 << true << QList<int>{0, 1} << false << both << true;
        QTest::newRow("test burn on B") << "disc.iso" << 2 << false << QList<int>{1} << true << QStringList{"Test-burn disc.iso on Deck B"} << true;
        QTest::newRow("a Mac disk image skips the checksum") << "mac.dmg" << 2 << false << QList<int>{0} << false << QStringList{"Burn mac.dmg on Deck A"} << false;
    }
    void queuesOneBurnPerUsableTarget()
    {
        QFETCH(QString, file);
        QFETCH(int, burners);
        QFETCH(bool, demo);
        QFETCH(QList<int>, targets);
        QFETCH(bool, test);
        QFETCH(QStringList, titles);
        QFETCH(bool, checksum);
        CardRig rig(burners);
        rig.model->setDemo(demo);
        BurnImageModel *burn = rig.model->burnImage();
        const QString image = rig.env.path(file);
        const QString raw = file.endsWith(u".dmg") ? image + QStringLiteral(".raw") : image;
        QVERIFY(TestEnv::writePattern(raw, 2048 * 64));
        if (raw != image)
            Udif::write(raw, image);
        burn->setTargets(targets);
        burn->setTest(test);
        // Burn as the menu does, at once: it waits for the look at the image.
        burn->setImage(image);
        burn->burn();
        QTRY_COMPARE(rig.titles(), titles);
        for (const QJob &j : rig.queue()->jobs()) {
            const auto *job = j.kind.as<Jobs::BurnImage>();
            QVERIFY(job && !j.dependsOn);
            QCOMPARE(job->image, image);
            QCOMPARE(job->test, test);
            QCOMPARE(job->checksum, checksum);
        }
    }

    void refusals()
    {
        CardRig rig(2);
        BurnImageModel *burn = rig.model->burnImage();
        const QString notes = rig.env.path(QStringLiteral("notes.txt"));
        QVERIFY(writeFile(notes, QByteArray()));
        burn->setImage(notes);
        QTRY_COMPARE(rig.lastLine(), QStringLiteral("notes.txt doesn't look like a disc image (ISO, DMG or CDR)."));
        QCOMPARE(burn->image(), notes); // kept, but not burnable
        burn->burn();
        QCOMPARE(rig.lastLine(), QStringLiteral("Choose a disc image to burn first (ISO, DMG or CDR)."));
        // What is wrong with an image is said when it is chosen, and again for a burn.
        const QString cue = rig.env.path(QStringLiteral("disc.cue"));
        QVERIFY(writeFile(cue, "FILE \"gone.bin\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n"));
        burn->setImage(cue);
        burn->burn();
        const QString problem = QStringLiteral("KLVO Tandor can't burn disc.cue: Line 1 of disc.cue: the file gone.bin is missing.");
        QTRY_COMPARE(rig.lastLine(), problem);
        QCOMPARE(rig.model->logLines()->lines().at(1).text, problem);
        const QString iso = rig.env.path(QStringLiteral("ok.iso"));
        QVERIFY(TestEnv::writePattern(iso, 2048 * 16));
        burn->setImage(iso);
        QTRY_VERIFY(burn->imageInfo().has_value());
        burn->setTargets({4, 5}); // not shown
        burn->burn();
        QCOMPARE(rig.lastLine(), QStringLiteral("Pick at least one deck to burn on."));
        QVERIFY(rig.queue()->jobs().isEmpty());
    }

    // The make-image card: the disc name, the refusal, the make-then-burn chain.
    // The disc name is the folder's until the user names the disc; a name
    // of their own survives a new folder, a cleared one is filled again.
    void volumeFollowsTheFolder_data()
    {
        QTest::addColumn<QStringList>("steps"); // "folder:NAME" or "type:TEXT"
        QTest::addColumn<QString>("expected");
        const QString longName = QStringLiteral("A folder name far longer than any disc name may be");
        QTest::newRow("first folder") << QStringList{"folder:Photos"} << "Photos";
        QTest::newRow("next folder") << QStringList{"folder:Photos", "folder:Other"} << "Other";
        QTest::newRow("typed name stays") << QStringList{"folder:Photos", "type:Mine", "folder:Other"} << "Mine";
        QTest::newRow("typed before any folder") << QStringList{"type:Mine", "folder:Photos"} << "Mine";
        QTest::newRow("cleared is filled") << QStringList{"folder:Photos", "type:", "folder:Other"} << "Other";
        QTest::newRow("shortened name still follows") << QStringList{"folder:" + longName, "folder:Other"} << "Other";
    }
    void volumeFollowsTheFolder()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, expected);
        TestEnv env;
        JobQueue queue;
        MakeImageModel make(&queue, {}, nullptr);
        for (const QString &step : steps) {
            const QString value = step.section(u':', 1);
            step.startsWith(QLatin1String("folder:")) ? make.setFolder(env.path(value)) : make.setVolume(value);
        }
        QCOMPARE(make.volume(), expected);
    }

    // "Then burn it" burns on the burn card's decks with its options once
    // the image is made; without it only the image is made.
    void chainsBurnsWhenAsked_data()
    {
        QTest::addColumn<bool>("burnAfter");
        QTest::addColumn<QStringList>("titles");
        const QString make = QStringLiteral("Make Photos.dmg from “Photos”");
        QTest::newRow("then burn") << true << QStringList{make, "Burn Photos.dmg on Deck A", "Burn Photos.dmg on Deck B"};
        QTest::newRow("make only") << false << QStringList{make};
    }
    void chainsBurnsWhenAsked()
    {
        QFETCH(bool, burnAfter);
        QFETCH(QStringList, titles);
        CardRig rig(2);
        MakeImageModel *make = rig.model->makeImage();
        make->make(rig.env.path(QStringLiteral("x.iso")));
        QCOMPARE(rig.lastLine(), QStringLiteral("Choose a folder first."));
        make->setFolder(rig.env.path(QStringLiteral("Photos")));
        make->setFormat(QStringLiteral("DMG"));
        rig.model->burnImage()->setBurnAfter(burnAfter);
        rig.model->burnImage()->setTest(true); // chained burns still say "Burn"
        make->make(rig.env.path(QStringLiteral("Photos.dmg")));
        QCOMPARE(rig.titles(), titles);
        const QList<QJob> jobs = rig.queue()->jobs();
        QCOMPARE(jobs[0].kind, JobKind(Jobs::MakeImage{make->folder(), rig.env.path("Photos.dmg"), ImageFormat::dmg,
                                                       QStringLiteral("Photos"), true}));
        for (const QJob &burn : jobs.mid(1)) {
            QCOMPARE(burn.dependsOn, std::optional(jobs[0].id));
            QVERIFY(!burn.kind.as<Jobs::BurnImage>()->checksum); // a .dmg: no checksum
            QVERIFY(burn.kind.as<Jobs::BurnImage>()->test);
        }
    }

    // The copy-disc card: the chosen disc, the refusals, the copy-then-burn chain.
    void lookingForDiscsKeepsTheChosenOne()
    {
        CardRig rig;
        CopyDiscModel *copy = rig.model->copyDisc();
        // A quiet look that overtakes the user's still answers the user.
        copy->refreshDiscs();
        copy->lookForDiscsQuietly();
        QTRY_VERIFY(rig.lastLine().startsWith(QLatin1String("Discs found: "))
                    || rig.lastLine() == QLatin1String("No CD or DVD found in any drive."));
        const DiscInfo a = dataDisc(QStringLiteral("sr0"), QStringLiteral("Alpha"));
        const DiscInfo b = dataDisc(QStringLiteral("sr1"), QStringLiteral("Beta"));
        copy->applyDiscs({a}, true);
        QCOMPARE(copy->discBSD(), QStringLiteral("sr0"));
        copy->applyDiscs({b, a}, true);
        QCOMPARE(copy->discBSD(), QStringLiteral("sr0"));
        QCOMPARE(rig.lastLine(), QStringLiteral("Discs found: ") + b.label() + QStringLiteral(" · ") + a.label());
        copy->applyDiscs({b}, true);
        QCOMPARE(copy->discBSD(), QStringLiteral("sr1"));
        copy->applyDiscs({}, true);
        QCOMPARE(copy->discBSD(), QString());
        QCOMPARE(rig.lastLine(), QStringLiteral("No CD or DVD found in any drive."));
        copy->copy(rig.env.path(QStringLiteral("x.iso")));
        QCOMPARE(rig.lastLine(),
                 QStringLiteral("No CD or DVD is in any drive. Insert the disc to copy, then click Look for Discs."));
        copy->applyDiscs({a}, false);
        copy->setDiscBSD(QString());
        copy->copy(rig.env.path(QStringLiteral("x.iso")));
        QCOMPARE(rig.lastLine(), QStringLiteral("Choose the disc to copy."));
        QVERIFY(rig.queue()->jobs().isEmpty());
    }

    void copyingTheDiscInDeckBBurnsOnlyOnA()
    {
        CardRig rig(2);
        DeviceStatus status = ScriptedDevice::blankCDR();
        status.blank = false;
        status.bsdName = QStringLiteral("sr1");
        rig.devices.at(1)->m_status = status;
        rig.service.notifyStatus();
        QTRY_VERIFY(rig.model->decks().at(1)->snapshot() && rig.model->decks().at(1)->snapshot()->bsdName);
        CopyDiscModel *copy = rig.model->copyDisc();
        const DiscInfo holiday = dataDisc(QStringLiteral("sr1"), QStringLiteral("Holiday"));
        copy->applyDiscs({holiday, dataDisc(QStringLiteral("sr4"), std::nullopt)}, false);
        QCOMPARE(copy->imageName(), QStringLiteral("Holiday"));
        rig.model->burnImage()->setBurnAfter(true);
        copy->copy(rig.env.path(QStringLiteral("Holiday.iso")));
        QCOMPARE(rig.titles(), (QStringList{"Copy Holiday to Holiday.iso", "Burn Holiday.iso on Deck A"}));
        QCOMPARE(rig.queue()->jobs()[0].kind.as<Jobs::ReadDisc>()->deck, std::optional(1));
        QCOMPARE(rig.queue()->jobs()[1].dependsOn, std::optional(rig.queue()->jobs()[0].id));

        // A disc in a drive that is no deck of ours, with no volume name, burns on both.
        copy->setDiscBSD(QStringLiteral("sr4"));
        QCOMPARE(copy->imageName(), QStringLiteral("Disc"));
        copy->copy(rig.env.path(QStringLiteral("Disc.iso")));
        QCOMPARE(rig.titles().mid(2),
                 (QStringList{"Copy disc to Disc.iso", "Burn Disc.iso on Deck A", "Burn Disc.iso on Deck B"}));
        QCOMPARE(rig.queue()->jobs()[2].kind.as<Jobs::ReadDisc>()->deck, std::nullopt);

        // A look that deck B's burner doesn't answer (busy with its own
        // reading) still lists the disc the deck holds; sr4 is gone.
        copy->refreshDiscs();
        QTRY_VERIFY(rig.lastLine().startsWith(QLatin1String("Discs found: ")));
        QVERIFY(rig.lastLine().contains(holiday.label()));
        QCOMPARE(copy->discBSD(), QStringLiteral("sr1"));
    }

    // The erase card: the job it queues names the deck and the kind of erase.
    void queuesTheChosenErase()
    {
        JobQueue queue;
        queue.setDemo(true); // no burners needed
        queue.setAutoStart(false);
        EraseModel erase(&queue, nullptr);
        erase.setDeck(1);
        erase.erase();
        erase.setComplete(true);
        erase.setDeck(9); // past the last deck
        erase.erase();
        QCOMPARE(queue.jobs().size(), 2);
        QCOMPARE(queue.jobs()[0].title, QStringLiteral("Quick erase on Deck B"));
        QCOMPARE(queue.jobs()[1].title, QStringLiteral("Erase (complete) on Deck F"));
        QCOMPARE(queue.jobs()[1].kind, JobKind(Jobs::Erase{5, true}));
    }

    // The checksum card: the sums of the chosen file, and no other.
    void sumsOfTheChosenFileOnly()
    {
        TestEnv env;
        JobQueue queue;
        QStringList lines;
        ChecksumModel sums(&queue, [&](const QString &text, const QString &) { lines << text; }, nullptr);
        const QString image = env.path(QStringLiteral("image.iso"));
        QVERIFY(TestEnv::writePattern(image, 4096));
        sums.checksum(image);
        QTRY_VERIFY(sums.sums().has_value());
        QCOMPARE(sums.sums()->sha256, opensslSha256(image));
        QTRY_COMPARE(queue.jobs().first().detail, QStringLiteral("MD5 ") + sums.sums()->md5 + QStringLiteral(" · SHA-256 ") + sums.sums()->sha256);
        QCOMPARE(sums.saveName(), QStringLiteral("image.iso.sha256"));
        // The save's own failures are tst_writefaults'; the card puts its words first.
        QSignalSpy saved(&sums, &ChecksumModel::saved);
        sums.save(env.path(QStringLiteral("gone/image.iso.sha256")));
        QVERIFY(saved.wait());
        QCOMPARE(saved.last().at(1).toBool(), false);
        QCOMPARE(lines, QStringList{QStringLiteral("Couldn't save: ") + QString::fromLocal8Bit(std::strerror(ENOENT))});
        sums.save(env.path(QStringLiteral("image.iso.sha256")));
        QVERIFY(saved.wait());
        QCOMPARE(saved.last().at(1).toBool(), true);
        QCOMPARE(readFile(env.path(QStringLiteral("image.iso.sha256"))), Checksums::fileText(*sums.sums(), QStringLiteral("image.iso")).toUtf8());
        // Another file drops the sums, and a late answer for the first file
        // is not taken as the second's.
        queue.setAutoStart(false);
        sums.checksum(env.path(QStringLiteral("other.bin")));
        QVERIFY(!sums.sums().has_value());
        Q_EMIT queue.checksumsComputed(image, Checksums::compute(image, {}, nullptr));
        QVERIFY(!sums.sums().has_value());
    }

    // The verify card: its refusal, its job, and the result, cleared by the next.
    void verifiesAndKeepsTheLastResult()
    {
        TestEnv env;
        JobQueue queue;
        QStringList lines;
        VerifyModel verify(&queue, [&](const QString &text, const QString &) { lines << text; }, nullptr);
        const QString image = env.path(QStringLiteral("a.iso"));
        verify.setImage(image);
        verify.verify();
        QCOMPARE(lines, QStringList{QStringLiteral("Choose the image and what to check it against.")});
        QVERIFY(queue.jobs().isEmpty());
        QVERIFY(TestEnv::writePattern(image, 2048 * 16) && QFile::copy(image, env.path(QStringLiteral("b.iso"))));
        verify.setAgainst(env.path(QStringLiteral("b.iso")));
        verify.verify();
        QCOMPARE(queue.jobs().first().title, QStringLiteral("Verify a.iso against b.iso"));
        QTRY_VERIFY(verify.result().has_value());
        QVERIFY(verify.result()->match);
        // A difference fails the job, which says what the card shows.
        QVERIFY(writeFile(env.path(QStringLiteral("c.iso")), QByteArray(2048 * 16, 'x')));
        verify.setAgainst(env.path(QStringLiteral("c.iso")));
        verify.verify();
        QTRY_COMPARE(queue.jobs().last().state, JobState::failed);
        QVERIFY(verify.result() && !verify.result()->match);
        QCOMPARE(queue.jobs().last().detail, verify.result()->summary());
        queue.setAutoStart(false);
        verify.verify();
        QVERIFY(!verify.result().has_value());
    }

    // The mount card: Mount (or why not), Show, Eject, and the silent unmountAll.
    void mountsShowsAndEjects()
    {
        TestEnv env;
        QStringList lines, details, opened;
        MountModel mounts([&](const QString &text, const QString &detail) { lines << text; details << detail; }, nullptr);
        // The second time, no file manager takes the folder.
        mounts.setFolderOpener([&](const QString &folder, const auto &failed) {
            if ((opened << folder).size() == 2)
                failed(QStringLiteral("xdg-open: no method available"));
        });
        QVERIFY(writeFile(env.path(QStringLiteral("broken.iso")), QByteArray(4096, 'z')));
        mounts.mount(env.path(QStringLiteral("broken.iso")), true);
        QTRY_COMPARE(lines.size(), 1);
        QVERIFY(lines.last().startsWith(QStringLiteral("Couldn't mount broken.iso: ")));
        QVERIFY(mounts.mounted().isEmpty());
        if (!canMountWithFuse())
            QSKIP("mounting needs FUSE, fuseiso and xorriso");
        // The tool's own words ride with the sentence, for the log card to show under it.
        QVERIFY2(details.first().startsWith(QLatin1String("fuseiso: ")), qPrintable(details.first()));
        const QString folder = env.path(QStringLiteral("Trip")), image = folder + QStringLiteral(".iso");
        QVERIFY(writeFile(folder + QStringLiteral("/note.txt"), "hello\n"));
        ImageMaker::make(folder, image, ImageFormat::iso, QStringLiteral("Trip"), {}, nullptr);
        mounts.mount(image, true);
        QTRY_COMPARE(mounts.mounted().size(), 1);
        const QStringList points = mounts.mounted().first().mountPoints;
        QCOMPARE(lines.last(), QStringLiteral("Mounted Trip.iso at ") + points.join(QStringLiteral(", "))
                                   + QStringLiteral(" (read-only)."));
        QCOMPARE(readFile(points.first() + QStringLiteral("/note.txt")), QByteArray("hello\n"));
        mounts.show(0);
        QCOMPARE(opened, (QStringList{points.first(), points.first()}));
        QCOMPARE(lines.last(), QStringLiteral("Couldn't show Trip.iso: no file manager opened ") + points.first()
                                   + QStringLiteral(". Open that folder in one by hand."));
        mounts.unmount(0);
        QTRY_COMPARE(lines.last(), QStringLiteral("Ejected Trip.iso."));
        QVERIFY(mounts.mounted().isEmpty());
        mounts.mount(image, false);
        QTRY_COMPARE(mounts.mounted().size(), 1);
        const QString again = mounts.mounted().first().mountPoints.first();
        const qsizetype said = lines.size();
        mounts.unmountAll();
        QVERIFY(mounts.mounted().isEmpty());
        QVERIFY(!QFile::exists(again + QStringLiteral("/note.txt")));
        QCOMPARE(lines.size(), said);
        QCOMPARE(opened.size(), 2); // the second mount was not browsed
    }
};

QTEST_GUILESS_MAIN(TstCardModels)
#include "tst_cardmodels.moc"
