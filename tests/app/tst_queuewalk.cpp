// The job queue with the real application model, virtual burners and real
// files: chains, the burn stagger, cancelling and removing running work, the
// alert on failure, and a stress run of many jobs with random cancels.

#include "ModelRig.h"
#include "app/BurnImageModel.h"
#include "app/ChecksumModel.h"
#include "app/MakeImageModel.h"
#include "platform/udif/Udif.h"
#include "platform/virtual/VirtualDiscService.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <random>

namespace {

struct Rig : VirtualRig
{
    using VirtualRig::VirtualRig;
    QAbstractItemModelTester tester{queue()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest};
};

QStringList partials(const QString &root) { return leftovers(root, QDir::Files, {QStringLiteral("*.partial")}); }

} // namespace

class TstQueueWalk : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A folder made into a DMG, checked by mounting its decoded image, then
    // burned: the burner writes exactly that decoded image, not the
    // compressed file.
    void makeCheckThenBurn()
    {
        if (!canMountWithFuse())
            QSKIP("making and checking an image needs xorriso and FUSE");
        Rig rig(1);
        const QString folder = rig.env.path(QStringLiteral("Photos"));
        QVERIFY(writeFile(folder + QStringLiteral("/a.txt"), "first\n"));
        QVERIFY(TestEnv::writePattern(folder + QStringLiteral("/sub/b.bin"), 3 * mib + 5));
        rig.model->makeImage()->setFolder(folder);
        rig.model->makeImage()->setFormat(QStringLiteral("DMG"));
        rig.model->makeImage()->setCheckAfter(true);
        rig.model->burnImage()->setBurnAfter(true);
        const QString output = rig.env.path(QStringLiteral("Photos.dmg"));

        rig.model->makeImage()->make(output);
        const QList<QJob> jobs = rig.queue()->jobs();
        QCOMPARE(jobs.size(), 2);
        QCOMPARE(rig.queue()->waitReasons().value(jobs.last().id), QStringLiteral("Starts after “Make Photos.dmg from “Photos””"));
        QTRY_VERIFY_WITH_TIMEOUT(rig.job(jobs[0].id).finished(), 60000);
        QVERIFY2(rig.state(jobs[0].id) == JobState::done, qPrintable(rig.job(jobs[0].id).detail));
        QVERIFY2(rig.job(jobs[0].id).detail.contains(QStringLiteral("). Checked: All 2 files")), qPrintable(rig.job(jobs[0].id).detail));

        QTRY_VERIFY_WITH_TIMEOUT(rig.queue()->activeCount() == 0, 60000);
        QVERIFY2(rig.state(jobs[1].id) == JobState::done, qPrintable(rig.job(jobs[1].id).detail));
        const QString decoded = rig.env.path(QStringLiteral("decoded.img"));
        Udif::Reader::open(output)->decodeTo(decoded);
        const QByteArray image = readFile(decoded);
        QVERIFY(!image.isEmpty() && image != readFile(output));
        QCOMPARE(rig.texts().filter(QStringLiteral(", disk image reader) at ")).size(), 1);
        QCOMPARE(readFile(rig.folder(0) + QStringLiteral("/Disc 001.iso")), image);
        // Nothing decoded for the check stays in the cache.
        QCOMPARE(QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
                      + QStringLiteral("/KLVO Tandor/mounts")).entryList(QDir::Files), QStringList());
    }

    // An image that isn't made, because it failed or was cancelled, skips
    // the whole chain after it at once; only a failure raises the alert.
    void chainAfterAnUnmadeImageIsSkipped_data()
    {
        QTest::addColumn<bool>("cancel"); // else its folder is missing
        QTest::newRow("make failed") << false;
        QTest::newRow("make cancelled") << true;
    }
    void chainAfterAnUnmadeImageIsSkipped()
    {
        QFETCH(bool, cancel);
        Rig rig(1);
        QTRY_VERIFY(rig.deck(0)->hasDrive());
        QSignalSpy alert(rig.queue(), &JobQueue::failureAlert);
        const QString image = rig.env.path(QStringLiteral("x.iso"));
        rig.queue()->setAutoStart(false);
        const auto make = rig.queue()->add(Jobs::MakeImage{rig.env.path(QStringLiteral("Gone")), image, ImageFormat::iso,
                                                           QStringLiteral("X"), false}, QStringLiteral("Make x.iso"));
        const auto burn = rig.queue()->add(Jobs::BurnImage{image, 0, false, true, true}, QStringLiteral("Burn x.iso on Deck A"), make);
        const auto after = rig.queue()->add(Jobs::Checksum{image}, QStringLiteral("Checksums of x.iso"), burn);
        QVERIFY(make && burn && after);
        if (cancel) {
            rig.queue()->cancel(*make);
            QCOMPARE(rig.job(*make).detail, QStringLiteral("Cancelled"));
            QCOMPARE(rig.lines(QStringLiteral("Queue: cancelled “Make x.iso”.")), 1);
        } else {
            rig.queue()->setAutoStart(true);
            QTRY_VERIFY_WITH_TIMEOUT(rig.job(*make).finished(), 30000);
        }
        QCOMPARE(rig.state(*make), cancel ? JobState::cancelled : JobState::failed);
        const QString skipped = QStringLiteral("Skipped: “Make x.iso” didn't finish.");
        QCOMPARE(rig.state(*burn), JobState::cancelled);
        QCOMPARE(rig.job(*burn).detail, skipped);
        QCOMPARE(rig.lines(QStringLiteral("Queue: “Burn x.iso on Deck A” — ") + skipped), 1);
        QCOMPARE(rig.state(*after), JobState::cancelled);
        QVERIFY(!rig.queue()->usesDeck(0));
        QCOMPARE(alert.count(), cancel ? 0 : 1);
        QVERIFY(!QFile::exists(image) && partials(rig.env.root()).isEmpty());
        QCOMPARE(rig.queue()->finishedCount(), 3);
        rig.queue()->clearFinished();
        QVERIFY(rig.queue()->jobs().isEmpty());
    }

    // A job that fails in a tool shows a sentence; the tool's line is in the log, under it.
    void failedToolSaysWhatHappened()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xorriso")).isEmpty())
            QSKIP("needs xorriso");
        Rig rig(0);
        const QString folder = rig.env.path(QStringLiteral("Photos"));
        QVERIFY(writeFile(folder + QStringLiteral("/a.txt"), "first\n"));
        rig.model->makeImage()->setFolder(folder);
        rig.model->makeImage()->setCheckAfter(false);
        rig.model->makeImage()->make(rig.env.path(QStringLiteral("gone/Photos.iso")));
        const QUuid id = rig.queue()->jobs().first().id;
        QTRY_VERIFY_WITH_TIMEOUT(rig.job(id).finished(), 30000);
        QCOMPARE(rig.state(id), JobState::failed);
        const QString sentence = QStringLiteral("The folder to save the image in doesn't exist.");
        QCOMPARE(rig.job(id).detail, sentence);

        const LogLine &line = rig.model->logLines()->lines().first();
        QCOMPARE(line.text, QStringLiteral("Queue: FAILED — “Make Photos.iso from “Photos””. ") + sentence);
        QVERIFY2(line.detail.startsWith(QStringLiteral("xorriso: Cannot acquire drive 'stdio:")), qPrintable(line.detail));
        QVERIFY(!line.text.contains(QStringLiteral("xorriso")));
    }

    // A running job, cancelled or removed, stays listed until its work has
    // ended; a finished one is then removed.
    void stoppingARunningJob_data()
    {
        QTest::addColumn<bool>("remove");
        QTest::newRow("cancel") << false;
        QTest::newRow("remove") << true;
    }
    void stoppingARunningJob()
    {
        QFETCH(bool, remove);
        Rig rig(0);
        QSignalSpy alert(rig.queue(), &JobQueue::failureAlert);
        const QString big = rig.env.path(QStringLiteral("big.bin"));
        QVERIFY(TestEnv::writeSparse(big, 8LL * 1024 * mib));
        rig.model->checksums()->checksum(big);
        const QUuid id = rig.queue()->jobs().first().id;
        QTRY_VERIFY(rig.job(id).progress > 0);
        remove ? rig.queue()->remove(id) : rig.queue()->cancel(id);
        QCOMPARE(rig.state(id), JobState::running);
        QTRY_COMPARE(rig.state(id), JobState::cancelled);
        QCOMPARE(rig.job(id).detail, QStringLiteral("Stopped."));
        QCOMPARE(rig.lines(QStringLiteral("Queue: stopped — “Checksums of big.bin”. Stopped.")), 1);
        QVERIFY(!rig.model->checksums()->sums());
        QCOMPARE(alert.count(), 0);
        rig.queue()->remove(id);
        QVERIFY(rig.queue()->jobs().isEmpty());
    }

    void refusalsAddNothing()
    {
        Rig rig(2);
        QTRY_VERIFY(rig.deck(1)->hasDrive());
        QVERIFY(!rig.queue()->add(Jobs::Erase{2, false}, QStringLiteral("Quick erase on Deck C")));
        QVERIFY(rig.texts().last().startsWith(QStringLiteral("Deck C has no burner."))); // the words: tst_scheduler
        const QString text = rig.env.path(QStringLiteral("notes.iso"));
        QVERIFY(writeFile(text, QByteArray()));
        QVERIFY(!rig.queue()->add(Jobs::BurnImage{text, 0, false, true, true}, QStringLiteral("Burn")));
        QCOMPARE(rig.texts().last(), QStringLiteral("notes.iso can't be read as a disc image."));
        QVERIFY(rig.queue()->jobs().isEmpty());
    }

    void onePassStaggersBurnsButNotComputerJobs()
    {
        Rig rig(3);
        QTRY_VERIFY(rig.deck(2)->hasDrive());
        const QString image = rig.env.path(QStringLiteral("small.iso"));
        QVERIFY(TestEnv::writePattern(image, 2048 * 300));
        rig.queue()->setAutoStart(false);
        const auto sum = rig.queue()->add(Jobs::Checksum{image}, QStringLiteral("Checksums of small.iso"));
        QList<QUuid> burns;
        for (int d = 0; d < 3; ++d)
            burns.append(*rig.queue()->add(Jobs::BurnImage{image, d, false, false, false}, QStringLiteral("Burn on %1").arg(d)));
        for (const QJob &j : rig.queue()->jobs())
            QCOMPARE(j.state, JobState::waiting);

        rig.queue()->setAutoStart(true);
        QCOMPARE(rig.state(*sum), JobState::running);
        QCOMPARE(rig.job(*sum).detail, QString());
        QCOMPARE(rig.job(burns[0]).detail, QString());
        QCOMPARE(rig.job(burns[1]).detail, QStringLiteral("Starting in 1.5 s"));
        QCOMPARE(rig.job(burns[2]).detail, QStringLiteral("Starting in 3.0 s"));
        // Stopped behind its delay, a burn ends at once: nothing was handed over.
        rig.queue()->cancel(burns[2]);
        QCOMPARE(rig.state(burns[2]), JobState::cancelled);
        QCOMPARE(rig.lines(QStringLiteral("Queue: stopped — “Burn on 2”. Stopped.")), 1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.queue()->activeCount() == 0, 30000);
        for (const QUuid &id : burns.mid(0, 2))
            QVERIFY2(rig.state(id) == JobState::done, qPrintable(rig.job(id).detail));

        // Added one after another, each burn starts in its own pass: no delay.
        QVERIFY(rig.blank(0) && rig.blank(1));
        const auto a = rig.queue()->add(Jobs::BurnImage{image, 0, false, false, false}, QStringLiteral("Again A"));
        const auto b = rig.queue()->add(Jobs::BurnImage{image, 1, false, false, false}, QStringLiteral("Again B"));
        QVERIFY(!rig.job(*a).detail.startsWith(QStringLiteral("Starting in")));
        QVERIFY(!rig.job(*b).detail.startsWith(QStringLiteral("Starting in")));
        QTRY_VERIFY_WITH_TIMEOUT(rig.queue()->activeCount() == 0, 30000);
    }

    // The disc goes out while a burn waits out its stagger: at its hand-over
    // the burn waits for the deck again instead of failing, and burns once a
    // blank is back.
    void aTrayEmptiedDuringTheStaggerPutsTheBurnBack()
    {
        Rig rig(2);
        QTRY_VERIFY(rig.deck(1)->blankLoaded());
        QSignalSpy alert(rig.queue(), &JobQueue::failureAlert);
        const QString image = rig.env.path(QStringLiteral("small.iso"));
        QVERIFY(TestEnv::writePattern(image, 2048 * 300));
        rig.queue()->setAutoStart(false);
        const auto first = rig.queue()->add(Jobs::BurnImage{image, 0, false, false, false}, QStringLiteral("Burn A"));
        const auto second = rig.queue()->add(Jobs::BurnImage{image, 1, false, false, false}, QStringLiteral("Burn B"));
        rig.queue()->setAutoStart(true);
        QCOMPARE(rig.job(*second).detail, QStringLiteral("Starting in 1.5 s"));

        const int burnerB = rig.burners->burnerNumbers().at(1);
        QVERIFY(rig.burners->eject(burnerB));
        QTRY_VERIFY(!rig.deck(1)->blankLoaded());
        QCOMPARE(rig.state(*second), JobState::running); // still in its stagger
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(*second), JobState::waiting, 5000);
        QVERIFY(!rig.job(*second).startedAt);
        QVERIFY2(rig.queue()->waitReasons().value(*second).startsWith(QStringLiteral("Deck B: ")),
                 qPrintable(rig.queue()->waitReasons().value(*second)));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(*first), JobState::done, 30000);

        QVERIFY(rig.burners->insertBlank(burnerB));
        QTRY_COMPARE_WITH_TIMEOUT(rig.state(*second), JobState::done, 30000);
        QCOMPARE(rig.lines(QStringLiteral("Queue: done — “Burn B”. ") + rig.job(*second).detail), 1);
        QCOMPARE(alert.count(), 0);
    }

    void moveUpReordersWaitingJobsOnly()
    {
        Rig rig(0);
        rig.queue()->setAutoStart(false);
        const auto a = rig.queue()->add(Jobs::Checksum{QStringLiteral("/a")}, QStringLiteral("A"));
        const auto b = rig.queue()->add(Jobs::Checksum{QStringLiteral("/b")}, QStringLiteral("B"));
        rig.queue()->moveUp(*b);
        QCOMPARE(rig.queue()->jobs().first().id, *b);
        QCOMPARE(rig.queue()->waitReasons().value(*a), QStringLiteral("Waits for the job before it"));
        rig.queue()->moveUp(*b); // already first
        QCOMPARE(rig.queue()->jobs().first().id, *b);
        rig.queue()->cancel(*a);
        rig.queue()->moveUp(*a); // finished jobs stay where they are
        QCOMPARE(rig.queue()->jobs().last().id, *a);
    }

    void discGoneBeforeItsCopy()
    {
        Rig rig(0);
        const QString disc = rig.env.path(QStringLiteral("disc-in-drive.iso"));
        QVERIFY(TestEnv::writePattern(disc, 2048 * 700));
        rig.insertDisc(disc, 2048 * 700);
        rig.queue()->setDiscLookup([](const QString &) { return std::nullopt; });
        rig.model->copyDisc()->copy(rig.env.path(QStringLiteral("Again.iso")));
        const QUuid gone = rig.queue()->jobs().last().id;
        QTRY_VERIFY(rig.job(gone).finished());
        QCOMPARE(rig.job(gone).detail, QStringLiteral("The disc (sr7) is no longer there."));
        QVERIFY(!QFile::exists(rig.env.path(QStringLiteral("Again.iso"))));
    }

    // Many jobs of every kind over six burners, a third cancelled at random
    // moments: each ends exactly once, with exactly one log line, and nothing
    // is left half-written.
    void stressWithRandomCancels()
    {
        Rig rig(6);
        QTRY_VERIFY(rig.deck(5)->hasDrive());
        for (int n : rig.burners->burnerNumbers().mid(4))
            rig.burners->setMedium(n, VirtualDiscService::CDRW);
        rig.model->refreshDrives();
        QTRY_VERIFY(rig.deck(4)->blankLoaded() && rig.deck(5)->blankLoaded());

        const QString image = rig.env.path(QStringLiteral("stress.iso"));
        QVERIFY(TestEnv::writePattern(image, 2048 * 800));
        const QString copy = rig.env.path(QStringLiteral("stress-copy.iso"));
        QVERIFY(QFile::copy(image, copy));

        // The operator: a tray left empty or holding a used disc gets a blank.
        QTimer swapper;
        connect(&swapper, &QTimer::timeout, this, [&rig] {
            const QList<int> numbers = rig.burners->burnerNumbers();
            for (int d = 0; d < numbers.size(); ++d)
                if (!rig.deck(d)->busy() && !rig.burners->isBusy(numbers[d]) && !rig.deck(d)->blankLoaded())
                    rig.burners->insertBlank(numbers[d]);
        });
        swapper.start(150);

        QRandomGenerator random(20261205);
        QList<QUuid> ids;
        for (int i = 0; i < 50; ++i) {
            const QString title = QStringLiteral("Job %1").arg(i);
            std::optional<QUuid> id;
            switch (i % 5) {
            case 0:
            case 1: id = rig.queue()->add(Jobs::BurnImage{image, i % 4, false, i % 3 == 0, i % 2 == 0}, title); break;
            case 2: id = rig.queue()->add(Jobs::Erase{4 + i % 2, false}, title); break;
            case 3: id = rig.queue()->add(Jobs::Checksum{image}, title); break;
            case 4: id = rig.queue()->add(Jobs::Verify{image, copy}, title); break;
            }
            QVERIFY(id);
            ids.append(*id);
        }
        QList<QUuid> doomed = ids;
        std::shuffle(doomed.begin(), doomed.end(), std::mt19937(7));
        doomed = doomed.mid(0, 17);
        for (const QUuid &id : std::as_const(doomed))
            QTimer::singleShot(int(random.bounded(4000)), rig.queue(), [&rig, id] { rig.queue()->cancel(id); });

        QTRY_VERIFY_WITH_TIMEOUT(rig.queue()->activeCount() == 0, 120000);
        const QStringList log = rig.texts();
        for (int i = 0; i < ids.size(); ++i) {
            const QJob job = rig.job(ids[i]);
            QVERIFY(job.finished());
            QVERIFY(job.endedAt.has_value());
            const QString quoted = QStringLiteral("“") + job.title + QStringLiteral("”");
            const int endings = int(std::count_if(log.cbegin(), log.cend(), [&](const QString &line) {
                return line.startsWith(QStringLiteral("Queue: done — ") + quoted + QStringLiteral("."))
                       || line.startsWith(QStringLiteral("Queue: stopped — ") + quoted + QStringLiteral("."))
                       || line.startsWith(QStringLiteral("Queue: FAILED — ") + quoted + QStringLiteral("."))
                       || line == QStringLiteral("Queue: cancelled ") + quoted + QStringLiteral(".")
                       || line.startsWith(QStringLiteral("Queue: ") + quoted + QStringLiteral(" — "));
            }));
            QVERIFY2(endings == 1, qPrintable(job.title + QStringLiteral(": ") + QString::number(endings)));
            if (!doomed.contains(ids[i]))
                QVERIFY2(job.state == JobState::done, qPrintable(job.title + QStringLiteral(": ") + job.detail));
        }
        for (int d = 0; d < 6; ++d)
            QVERIFY2(partials(rig.folder(d)).isEmpty(), qPrintable(partials(rig.folder(d)).join(", ")));
        QVERIFY(partials(rig.env.root()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstQueueWalk)
#include "tst_queuewalk.moc"
