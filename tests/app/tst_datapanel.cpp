// The data panel: what each action queues (kinds, titles, chains), every
// refusal line, the disc list, mounting and ejecting, and saving checksums.

#include "ImageFixtures.h"
#include "ScriptedDiscService.h"
#include "TestEnv.h"
#include "app/AppModel.h"
#include "app/DataPanelModel.h"
#include "app/LogModel.h"
#include "drives/Deck.h"
#include "images/Checksums.h"
#include "images/ImageMaker.h"
#include "images/Mounter.h"
#include "queue/JobQueue.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

namespace {

struct Rig
{
    TestEnv env;
    std::unique_ptr<QSettings> settings = env.settings();
    ScriptedDiscService service;
    QList<std::shared_ptr<ScriptedDevice>> devices;
    std::unique_ptr<AppModel> model;
    QStringList opened; // folders the file manager was asked to open

    explicit Rig(int burners = 0)
    {
        for (int i = 0; i < burners; ++i)
            devices.append(service.plug(QStringLiteral("Burner %1").arg(i), env.path(QStringLiteral("dev%1").arg(i))));
        model = std::make_unique<AppModel>(
            AppModel::Config{settings.get(), true, env.path(QStringLiteral("log.txt")), &service});
        model->refreshDrives();
        // Jobs stay as queued, so what an action adds can be read off the list.
        queue()->setAutoStart(false);
        data()->setFolderOpener([this](const QString &folder) { opened.append(folder); });
    }
    DataPanelModel *data() const { return model->data(); }
    JobQueue *queue() const { return model->queue(); }
    QString lastLine() const { return model->logLines()->lines().first().text; }
    QStringList titles() const
    {
        QStringList out;
        for (const QJob &j : queue()->jobs())
            out.append(j.title);
        return out;
    }
    // Chooses the image and waits until it has been looked at.
    void choose(const QString &image)
    {
        QSignalSpy looked(data(), &DataPanelModel::imageInfoChanged);
        data()->setImage(image);
        QTRY_VERIFY(data()->imageInfo().has_value());
    }
};

DiscInfo disc(const QString &bsd, const QString &volume)
{
    DiscInfo d;
    d.bsdName = bsd;
    d.mediaKind = QStringLiteral("DVD");
    d.mediaName = QStringLiteral("DVD-ROM");
    d.bytes = 4096 * 2048;
    d.volumeKind = QStringLiteral("iso9660");
    if (!volume.isEmpty())
        d.volumeName = volume;
    return d;
}

} // namespace

class TstDataPanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void burnImageQueuesOneJobPerShownTarget_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QList<int>>("targets");
        QTest::addColumn<bool>("test");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<bool>("checksum");

        QTest::newRow("A and B") << "disc.iso" << QList<int>{1, 0} << false
                                 << QStringList{"Burn disc.iso on Deck A", "Burn disc.iso on Deck B"} << true;
        QTest::newRow("C is not shown") << "disc.iso" << QList<int>{0, 1, 2} << false
                                        << QStringList{"Burn disc.iso on Deck A", "Burn disc.iso on Deck B"} << true;
        QTest::newRow("test burn on B") << "disc.iso" << QList<int>{1} << true
                                        << QStringList{"Test-burn disc.iso on Deck B"} << true;
        QTest::newRow("a Mac disk image skips the checksum") << "mac.dmg" << QList<int>{0} << false
                                                             << QStringList{"Burn mac.dmg on Deck A"} << false;
    }

    void burnImageQueuesOneJobPerShownTarget()
    {
        QFETCH(QString, file);
        QFETCH(QList<int>, targets);
        QFETCH(bool, test);
        QFETCH(QStringList, titles);
        QFETCH(bool, checksum);

        Rig rig(2);
        const QString image = rig.env.path(file);
        if (file.endsWith(QLatin1String(".dmg"))) {
            QByteArray udif(4096, 'x');
            QByteArray trailer(512, '\0');
            std::memcpy(trailer.data(), "koly", 4);
            QVERIFY(writeFile(image, udif + trailer));
        } else {
            QVERIFY(TestEnv::writePattern(image, 2048 * 64));
        }
        rig.choose(image);
        QCOMPARE(rig.data()->imageInfo()->isUDIF, !checksum);
        rig.data()->setTargets(targets);
        rig.data()->setTest(test);
        rig.data()->setChecksumCheck(true);
        rig.data()->burnImage();

        QCOMPARE(rig.titles(), titles);
        for (const QJob &j : rig.queue()->jobs()) {
            const auto *burn = j.kind.as<Jobs::BurnImage>();
            QVERIFY(burn);
            QCOMPARE(burn->image, image);
            QCOMPARE(burn->test, test);
            QCOMPARE(burn->checksum, checksum);
            QVERIFY(!j.dependsOn);
        }
    }

    // A deck with no burner is never burned on, though it stays chosen for
    // when one is plugged in; demo burns need no burner.
    void targetsNeedABurner_data()
    {
        QTest::addColumn<int>("burners");
        QTest::addColumn<bool>("demo");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("two burners") << 2 << false << QList<int>{0, 1};
        QTest::newRow("one burner") << 1 << false << QList<int>{0};
        QTest::newRow("none") << 0 << false << QList<int>{};
        QTest::newRow("none, demo") << 0 << true << QList<int>{0, 1};
    }
    void targetsNeedABurner()
    {
        QFETCH(int, burners);
        QFETCH(bool, demo);
        QFETCH(QList<int>, expected);
        Rig rig(burners);
        QSignalSpy changed(rig.data(), &DataPanelModel::targetsChanged);
        rig.model->setDemo(demo);
        QCOMPARE(changed.isEmpty(), !demo);
        QCOMPARE(rig.data()->targets(), (QList<int>{0, 1}));
        QCOMPARE(rig.data()->targetList(), expected);
    }

    // A file with no file system is still burned, but the card says so first.
    void warnsAboutAnImageWithoutAFileSystem_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("file"); // what is chosen
        QTest::addColumn<bool>("warns");

        QTest::newRow("random bytes named .iso") << "random" << "download.iso" << true;
        QTest::newRow("ISO made by xorriso") << "xorriso" << "Trip.iso" << false;
        QTest::newRow("audio CUE/BIN") << "cue" << "Album.cue" << false;
    }

    void warnsAboutAnImageWithoutAFileSystem()
    {
        QFETCH(QString, kind);
        QFETCH(QString, file);
        QFETCH(bool, warns);

        Rig rig(2);
        const QString image = rig.env.path(file);
        if (kind == QLatin1String("random")) {
            QByteArray bytes(2048 * 64, Qt::Uninitialized);
            QRandomGenerator rng(13);
            rng.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
            QVERIFY(writeFile(image, bytes));
        } else if (kind == QLatin1String("xorriso")) {
            if (QStandardPaths::findExecutable(QStringLiteral("xorriso")).isEmpty())
                QSKIP("needs xorriso");
            const QString folder = rig.env.path(QStringLiteral("Trip"));
            QVERIFY(writeFile(folder + QStringLiteral("/note.txt"), "hello\n"));
            ImageMaker::make(folder, image, ImageFormat::iso, QStringLiteral("Trip"), {}, nullptr);
        } else {
            QVERIFY(TestEnv::writePattern(rig.env.path(QStringLiteral("Album.bin")), 2352 * 75 * 4));
            QVERIFY(writeFile(image, "FILE \"Album.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"));
        }
        rig.choose(image);
        QCOMPARE(rig.data()->imageInfoMap().value(QStringLiteral("warning")).toString(),
                 warns ? QStringLiteral("No file system was found in this image; it will be burned as it is.")
                       : QString());

        // Warned or not, it is burned when asked.
        rig.data()->setTargets({0});
        rig.data()->burnImage();
        QCOMPARE(rig.titles(), QStringList{QStringLiteral("Burn ") + file + QStringLiteral(" on Deck A")});
    }

    void refusals()
    {
        Rig rig(2);
        DataPanelModel *data = rig.data();
        const QString notes = rig.env.path(QStringLiteral("notes.txt"));
        QVERIFY(writeFile(notes, QByteArray()));
        data->setImage(notes);
        QTRY_COMPARE(rig.lastLine(), QStringLiteral("notes.txt doesn't look like a disc image (ISO, DMG or CDR)."));
        QCOMPARE(data->image(), notes); // kept, but not burnable
        data->burnImage();
        QCOMPARE(rig.lastLine(), QStringLiteral("Choose a disc image to burn first (ISO, DMG or CDR)."));

        const QString iso = rig.env.path(QStringLiteral("ok.iso"));
        QVERIFY(TestEnv::writePattern(iso, 2048 * 16));
        rig.choose(iso);
        data->setTargets({4, 5}); // not shown
        data->burnImage();
        QCOMPARE(rig.lastLine(), QStringLiteral("Pick at least one deck to burn on."));

        data->makeFromFolder(rig.env.path(QStringLiteral("x.iso")));
        QCOMPARE(rig.lastLine(), QStringLiteral("Choose a folder first."));
        data->makeFromDisc(rig.env.path(QStringLiteral("x.iso")));
        QCOMPARE(rig.lastLine(),
                 QStringLiteral("No CD or DVD is in any drive. Insert the disc to copy, then click Look for Discs."));
        data->applyDiscs({disc(QStringLiteral("sr0"), QStringLiteral("A"))}, false);
        data->setDiscBSD(QString());
        data->makeFromDisc(rig.env.path(QStringLiteral("x.iso")));
        QCOMPARE(rig.lastLine(), QStringLiteral("Choose the disc to copy."));
        data->setVerifyImage(iso);
        data->verifyNow();
        QCOMPARE(rig.lastLine(), QStringLiteral("Choose the image and what to check it against."));
        QVERIFY(rig.queue()->jobs().isEmpty());
    }

    // The disc name is the folder's until the user names the disc; a name
    // of their own survives a new folder, a cleared one is filled again.
    void volumeFollowsTheFolder_data()
    {
        QTest::addColumn<QStringList>("steps"); // "folder:NAME" or "type:TEXT"
        QTest::addColumn<QString>("expected");
        const QString longName = QStringLiteral("A folder name far longer than any disc name may be");
        QTest::newRow("first folder") << QStringList{"folder:Photos"} << "Photos";
        QTest::newRow("next folder") << QStringList{"folder:Photos", "folder:Other"} << "Other";
        QTest::newRow("typed name stays") << QStringList{"folder:Photos", "type:Summer 2026", "folder:Other"}
                                          << "Summer 2026";
        QTest::newRow("typed before any folder") << QStringList{"type:Summer 2026", "folder:Photos"} << "Summer 2026";
        QTest::newRow("cleared is filled") << QStringList{"folder:Photos", "type:", "folder:Other"} << "Other";
        QTest::newRow("shortened name still follows") << QStringList{"folder:" + longName, "folder:Other"} << "Other";
    }
    void volumeFollowsTheFolder()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, expected);
        Rig rig(0);
        for (const QString &step : steps) {
            const QString value = step.section(u':', 1);
            if (step.startsWith(QLatin1String("folder:")))
                rig.data()->setFolder(rig.env.path(value));
            else
                rig.data()->setVolume(value);
        }
        QCOMPARE(rig.data()->volume(), expected);
    }

    void makeFromFolderChainsBurns()
    {
        Rig rig(2);
        DataPanelModel *data = rig.data();
        data->setFolder(rig.env.path(QStringLiteral("Photos")));
        data->setBurnAfter(true);
        data->setTest(true); // chained burns still say "Burn"
        data->setFormatId(QStringLiteral("DMG"));
        const QString output = rig.env.path(QStringLiteral("Photos.dmg"));
        data->makeFromFolder(output);

        QCOMPARE(rig.titles(), (QStringList{"Make Photos.dmg from “Photos”", "Burn Photos.dmg on Deck A",
                                            "Burn Photos.dmg on Deck B"}));
        const QList<QJob> jobs = rig.queue()->jobs();
        const auto *make = jobs[0].kind.as<Jobs::MakeImage>();
        QVERIFY(make);
        QCOMPARE(make->format, ImageFormat::dmg);
        QCOMPARE(make->volume, QStringLiteral("Photos"));
        QVERIFY(make->check);
        for (int i : {1, 2}) {
            QCOMPARE(jobs[i].dependsOn, std::optional(jobs[0].id));
            QVERIFY(!jobs[i].kind.as<Jobs::BurnImage>()->checksum); // a .dmg: no checksum
            QVERIFY(jobs[i].kind.as<Jobs::BurnImage>()->test);
        }
    }

    void copyingTheDiscInDeckBBurnsOnlyOnA()
    {
        Rig rig(2);
        DeviceStatus status = ScriptedDevice::blankCDR();
        status.blank = false;
        status.bsdName = QStringLiteral("sr1");
        rig.devices.at(1)->m_status = status;
        rig.service.notifyStatus();
        QTRY_VERIFY(rig.model->decks().at(1)->snapshot() && rig.model->decks().at(1)->snapshot()->bsdName);

        DataPanelModel *data = rig.data();
        data->applyDiscs({disc(QStringLiteral("sr1"), QStringLiteral("Holiday")), disc(QStringLiteral("sr4"), {})},
                         false);
        QCOMPARE(data->discBSD(), QStringLiteral("sr1"));
        QCOMPARE(data->discImageName(), QStringLiteral("Holiday"));
        data->setBurnAfter(true);
        data->makeFromDisc(rig.env.path(QStringLiteral("Holiday.iso")));
        QCOMPARE(rig.titles(), (QStringList{"Copy Holiday to Holiday.iso", "Burn Holiday.iso on Deck A"}));
        const auto *read = rig.queue()->jobs()[0].kind.as<Jobs::ReadDisc>();
        QVERIFY(read);
        QCOMPARE(read->deck, std::optional(1));

        // A disc in a drive that is no deck of ours, with no volume name.
        data->setDiscBSD(QStringLiteral("sr4"));
        data->setBurnAfter(false);
        QCOMPARE(data->discImageName(), QStringLiteral("Disc"));
        data->makeFromDisc(rig.env.path(QStringLiteral("Disc.iso")));
        QCOMPARE(rig.titles().last(), QStringLiteral("Copy disc to Disc.iso"));
        QCOMPARE(rig.queue()->jobs().last().kind.as<Jobs::ReadDisc>()->deck, std::nullopt);
    }

    void lookingForDiscsKeepsTheChosenOne()
    {
        Rig rig;
        DataPanelModel *data = rig.data();
        const DiscInfo a = disc(QStringLiteral("sr0"), QStringLiteral("Alpha"));
        const DiscInfo b = disc(QStringLiteral("sr1"), QStringLiteral("Beta"));
        data->applyDiscs({a}, true);
        QCOMPARE(data->discBSD(), QStringLiteral("sr0"));
        data->setDiscBSD(QStringLiteral("sr0"));
        data->applyDiscs({b, a}, true);
        QCOMPARE(data->discBSD(), QStringLiteral("sr0"));
        QCOMPARE(rig.lastLine(), QStringLiteral("Discs found: ") + b.label() + QStringLiteral(" · ") + a.label());
        data->applyDiscs({b}, true);
        QCOMPARE(data->discBSD(), QStringLiteral("sr1"));
        data->applyDiscs({}, true);
        QCOMPARE(data->discBSD(), QString());
        QCOMPARE(rig.lastLine(), QStringLiteral("No CD or DVD found in any drive."));
    }

    void eraseAndVerifyTitles()
    {
        Rig rig(2);
        DataPanelModel *data = rig.data();
        data->setEraseDeck(1);
        data->erase();
        data->setEraseComplete(true);
        data->setEraseDeck(0);
        data->erase();
        data->setVerifyImage(rig.env.path(QStringLiteral("a.iso")));
        data->setVerifyAgainst(QStringLiteral("/dev/sr0"));
        data->verifyNow();
        QCOMPARE(rig.titles(), (QStringList{"Quick erase on Deck B", "Erase (complete) on Deck A",
                                            "Verify a.iso against sr0"}));
        QCOMPARE(rig.queue()->jobs()[1].kind, JobKind(Jobs::Erase{0, true}));
    }

    void savesTheChecksumFile()
    {
        Rig rig;
        DataPanelModel *data = rig.data();
        const QString file = rig.env.path(QStringLiteral("image.iso"));
        QVERIFY(TestEnv::writePattern(file, 4096));
        data->checksum(file);
        QVERIFY(!data->sums());
        const Digests digests = Checksums::compute(file, {}, nullptr);
        data->setSums(digests);
        QCOMPARE(data->sumFileName(), QStringLiteral("image.iso.sha256"));

        QSignalSpy saved(data, &DataPanelModel::checksumsSaved);
        const QString target = rig.env.path(QStringLiteral("image.iso.sha256"));
        data->saveChecksums(target);
        QTRY_COMPARE(saved.count(), 1);
        QVERIFY(saved.first().at(1).toBool());
        QCOMPARE(QString::fromUtf8(readFile(target)), Checksums::fileText(digests, QStringLiteral("image.iso")));

        data->saveChecksums(rig.env.path(QStringLiteral("no/such/folder/x.sha256")));
        QTRY_COMPARE(saved.count(), 2);
        QVERIFY(!saved.last().at(1).toBool());
        QVERIFY(rig.lastLine().startsWith(QStringLiteral("Couldn't save: ")));
    }

    // The log line says it plainly; fuseiso's own words go under it.
    void mountingAFileWithoutAFileSystem()
    {
        if (!canMountWithFuse())
            QSKIP("mounting needs FUSE, fuseiso and xorriso");
        Rig rig;
        const QString noise = rig.env.path(QStringLiteral("noise.iso"));
        QByteArray bytes(2 * 1048576, Qt::Uninitialized);
        QRandomGenerator(17).fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
        QVERIFY(writeFile(noise, bytes));
        const qsizetype before = rig.model->logLines()->lines().size();
        rig.data()->mount(noise, true);
        QTRY_COMPARE(rig.model->logLines()->lines().size(), before + 1);
        const LogLine line = rig.model->logLines()->lines().first();
        QCOMPARE(line.text, QStringLiteral("Couldn't mount noise.iso: This image holds no file system Linux can mount."));
        QCOMPARE(line.detail, QStringLiteral("fuseiso: init: wrong standard identifier in volume descriptor 17, exiting.."));
        QVERIFY(rig.data()->mounted().isEmpty());
        QVERIFY(rig.opened.isEmpty());
    }

    void mountsShowsAndEjects()
    {
        Rig rig;
        DataPanelModel *data = rig.data();
        const QString bad = rig.env.path(QStringLiteral("broken.iso"));
        QVERIFY(writeFile(bad, QByteArray(4096, 'z')));
        data->mount(bad, true);
        QTRY_VERIFY(rig.lastLine().startsWith(QStringLiteral("Couldn't mount broken.iso: ")));
        QVERIFY(data->mounted().isEmpty());

        if (!canMountWithFuse())
            QSKIP("mounting needs FUSE, fuseiso and xorriso");
        const QString folder = rig.env.path(QStringLiteral("Trip"));
        QVERIFY(writeFile(folder + QStringLiteral("/note.txt"), "hello\n"));
        const QString image = rig.env.path(QStringLiteral("Trip.iso"));
        ImageMaker::make(folder, image, ImageFormat::iso, QStringLiteral("Trip"), {}, nullptr);

        data->mount(image, true);
        QTRY_COMPARE(data->mounted().size(), 1);
        const MountedImage mounted = data->mounted().first();
        QCOMPARE(rig.lastLine(), QStringLiteral("Mounted Trip.iso at ") + mounted.mountPoints.join(QStringLiteral(", "))
                                     + QStringLiteral(" (read-only)."));
        QCOMPARE(rig.opened, QStringList{mounted.mountPoints.first()});
        QCOMPARE(readFile(mounted.mountPoints.first() + QStringLiteral("/note.txt")), QByteArray("hello\n"));

        data->unmount(0);
        QTRY_COMPARE(rig.lastLine(), QStringLiteral("Ejected Trip.iso."));
        QVERIFY(data->mounted().isEmpty());

        data->mount(image, true);
        QTRY_COMPARE(data->mounted().size(), 1);
        const QString point = data->mounted().first().mountPoints.first();
        data->unmountAll();
        QVERIFY(data->mounted().isEmpty());
        QVERIFY(!QFile::exists(point + QStringLiteral("/note.txt")));
    }
};

QTEST_GUILESS_MAIN(TstDataPanel)
#include "tst_datapanel.moc"
