// Audio burns across decks: which disc each deck burns, the stagger of
// "Burn all", and the Copies counters as copies succeed, fail and stop.

#include "ModelRig.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

class TestBurnControl : public QObject
{
    Q_OBJECT

    struct Rig : ModelRig
    {
        explicit Rig(int burners) : ModelRig(burners) { model->setDemoSeconds(0.1); }
        void addTrack(int project) { QVERIFY(addTones(project, {QStringLiteral("p%1").arg(project)})); }
        // A stack of `copies` of a track, started on the first `decks` decks.
        void startStack(int copies, int decks)
        {
            addTrack(0);
            model->setMode(BurnMode::queue);
            model->setCopies(copies);
            for (int i = 0; i < decks; ++i)
                model->start(deck(i));
        }
    };

private Q_SLOTS:
    void burnAllStaggersDecks()
    {
        Rig rig(2);
        rig.addTrack(0);
        rig.model->setDeckSetting(3);
        QElapsedTimer clock;
        clock.start();
        rig.model->burnAll();
        QCOMPARE(rig.deck(0)->state(), Deck::State::idle); // scheduled, not run inside the call
        QTRY_VERIFY(rig.deck(0)->state() != Deck::State::idle);
        const qint64 a = clock.elapsed();
        QCOMPARE(rig.deck(1)->state(), Deck::State::idle);
        QTRY_VERIFY_WITH_TIMEOUT(rig.deck(1)->state() != Deck::State::idle, 3000);
        const qint64 b = clock.elapsed();
        QVERIFY2(a < 1400, qPrintable(QString::number(a)));
        QVERIFY2(b >= 1400, qPrintable(QString::number(b)));
        QCOMPARE(rig.deck(2)->state(), Deck::State::idle); // no burner
        QTRY_COMPARE(rig.service.jobs.size(), 2);
        for (const auto &job : rig.service.jobs)
            QCOMPARE(job.properties.cdText->trackTitles, QStringList{"p0"});
    }

    void burnAllRefusals_data()
    {
        QTest::addColumn<int>("burners");
        QTest::addColumn<bool>("blank");
        QTest::addColumn<bool>("demo"); // with decks A and B busy
        QTest::addColumn<QString>("line");
        QTest::newRow("no burner") << 0 << true << false << TDMessages::noBurner;
        QTest::newRow("no blank") << 2 << false << false << "No deck has a blank CD-R loaded yet.";
        QTest::newRow("demo, every deck busy") << 0 << true << true << "Nothing to start.";
    }
    void burnAllRefusals()
    {
        QFETCH(int, burners);
        QFETCH(bool, blank);
        QFETCH(bool, demo);
        QFETCH(QString, line);
        Rig rig(burners);
        if (!blank) {
            for (const auto &d : rig.devices)
                d->m_status = ScriptedDevice::emptyTray();
            rig.model->refreshDrives();
        }
        if (demo) {
            rig.model->setDemo(true);
            rig.deck(0)->beginRead(QStringLiteral("a"));
            rig.deck(1)->beginRead(QStringLiteral("b"));
        }
        rig.model->burnAll();
        QCOMPARE(rig.texts().last(), line);
    }

    void independentDecksBurnTheirOwnDisc()
    {
        Rig rig(0);
        rig.addTrack(2);
        rig.model->setDemo(true);
        rig.model->setMode(BurnMode::independent);
        rig.model->start(rig.deck(0));
        QCOMPARE(rig.texts().last(), QStringLiteral("Deck A: add some tracks first."));
        rig.model->start(rig.deck(2));
        QCOMPARE(rig.deck(2)->state(), Deck::State::burning);
    }

    // A refused start, or a second start on a deck already burning a copy
    // (a staggered Burn All reaching a deck a blank has just started), takes
    // no copy; a stopped deck gives its copy back.
    void copiesAreHandedOutInOrder()
    {
        Rig rig(0);
        rig.model->setDemo(true);
        rig.model->setDemoSeconds(30);
        rig.model->setMode(BurnMode::queue);
        rig.model->setCopies(2);
        rig.model->start(rig.deck(0)); // no tracks
        QCOMPARE(rig.model->copiesStarted(), 0);
        rig.addTrack(0);
        rig.model->start(rig.deck(0));
        QVERIFY(rig.deck(0)->busy());
        for (int i = 0; i < 4; ++i)
            rig.model->start(rig.deck(i));
        QCOMPARE(rig.deck(0)->jobName(), QStringLiteral("Copy 1 of 2"));
        QCOMPARE(rig.deck(1)->jobName(), QStringLiteral("Copy 2 of 2"));
        QVERIFY(!rig.deck(2)->busy() && !rig.deck(3)->busy());
        QCOMPARE(rig.texts().count(QStringLiteral("Copies: all 2 copies are started or done.")), 2);
        QCOMPARE(rig.model->copiesStarted(), 2);

        rig.deck(1)->stop();
        QCOMPARE(rig.model->copiesStarted(), 1);
        rig.model->start(rig.deck(2));
        QCOMPARE(rig.deck(2)->jobName(), QStringLiteral("Copy 2 of 2"));
    }

    void demoStackRunsToTheEnd()
    {
        Rig rig(0);
        rig.model->setDemo(true);
        rig.startStack(2, 1);
        QTRY_COMPARE_WITH_TIMEOUT(rig.model->copiesDone(), 1, 3000);
        QCOMPARE(rig.deck(0)->state(), Deck::State::waiting);
        QCOMPARE(rig.deck(0)->phase(), QStringLiteral("Insert a blank CD-R for copy 2"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.model->copiesDone(), 2, 5000);
        QCOMPARE(rig.texts().count(QStringLiteral("Copies: all 2 copies are done.")), 1);
        QCOMPARE(rig.model->copiesStarted(), 2);
        QCOMPARE(rig.deck(0)->state(), Deck::State::done);
        rig.model->resetQueue();
        QCOMPARE(rig.model->copiesDone(), 0);
    }

    void failedCopyIsMadeAgain()
    {
        Rig rig(1);
        rig.startStack(3, 1);
        QTRY_COMPARE(rig.service.jobs.size(), 1);
        rig.service.jobs.last().job->send(DiscJobState::done);
        QCOMPARE(rig.model->copiesDone(), 1);
        // Still a blank in the tray: the next copy starts as soon as the deck looks.
        rig.deck(0)->refreshStatus();
        QCOMPARE(rig.deck(0)->jobName(), QStringLiteral("Copy 2 of 3"));
        QTRY_COMPARE(rig.service.jobs.size(), 2);
        rig.service.jobs.last().job->send(DiscJobState::failed);
        QCOMPARE(rig.model->copiesStarted(), 1);
        QCOMPARE(rig.deck(0)->state(), Deck::State::waiting);
        QCOMPARE(rig.deck(0)->phase(), QStringLiteral("Insert a blank CD-R for copy 2"));

        rig.devices[0]->m_status = ScriptedDevice::emptyTray();
        rig.deck(0)->refreshStatus();
        QCOMPARE(rig.deck(0)->state(), Deck::State::waiting); // no blank yet
        rig.devices[0]->m_status = ScriptedDevice::blankCDR();
        rig.service.notifyStatus();
        QTRY_VERIFY(rig.deck(0)->busy());
        QCOMPARE(rig.deck(0)->jobName(), QStringLiteral("Copy 2 of 3"));
        QCOMPARE(rig.model->copiesStarted(), 2);
    }

    // Two decks wait for a blank for the last copy; once that copy is taken
    // (or the stack starts afresh) the other deck is no longer owed one.
    void waitingDecksStandDown_data()
    {
        QTest::addColumn<bool>("reset"); // else deck A takes the last copy
        QTest::newRow("last copy taken") << false;
        QTest::newRow("stack reset") << true;
    }
    void waitingDecksStandDown()
    {
        QFETCH(bool, reset);
        Rig rig(2);
        rig.startStack(3, 2);
        QTRY_COMPARE(rig.service.jobs.size(), 2);
        for (const auto &d : rig.devices)
            d->m_status = ScriptedDevice::emptyTray();
        rig.service.jobs.at(0).job->send(DiscJobState::done);
        rig.service.jobs.at(1).job->send(DiscJobState::done);
        for (int i : {0, 1}) {
            QCOMPARE(rig.deck(i)->state(), Deck::State::waiting);
            QCOMPARE(rig.deck(i)->phase(), QStringLiteral("Insert a blank CD-R for copy 3"));
        }
        if (reset) {
            rig.model->resetQueue();
        } else {
            rig.devices[0]->m_status = ScriptedDevice::blankCDR();
            rig.deck(0)->refreshStatus();
            QVERIFY(rig.deck(0)->busy());
            QCOMPARE(rig.deck(0)->jobName(), QStringLiteral("Copy 3 of 3"));
        }
        for (int i = reset ? 0 : 1; i < 2; ++i) {
            QCOMPARE(rig.deck(i)->state(), Deck::State::idle);
            QCOMPARE(rig.deck(i)->phase(), QStringLiteral("Ready"));
            QCOMPARE(rig.deck(i)->jobName(), QString());
        }
        // A blank arriving later starts nothing by itself.
        rig.devices[1]->m_status = ScriptedDevice::blankCDR();
        rig.deck(1)->refreshStatus();
        QCOMPARE(rig.deck(1)->state(), Deck::State::idle);
    }

    void loweringCopiesEndsTheStack()
    {
        Rig rig(1);
        rig.startStack(3, 1);
        QTRY_COMPARE(rig.service.jobs.size(), 1);
        rig.model->setCopies(1);
        rig.service.jobs.last().job->send(DiscJobState::done);
        QCOMPARE(rig.deck(0)->state(), Deck::State::done);
        QCOMPARE(rig.texts().last(), QStringLiteral("Copies: all 1 copies are done."));
    }
};

QTEST_GUILESS_MAIN(TestBurnControl)
#include "tst_burncontrol.moc"
