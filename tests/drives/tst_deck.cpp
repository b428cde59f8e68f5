// A deck follows its burner and reports its state changes through signals.

#include "ScriptedDiscService.h"
#include "TestEnv.h"
#include "audio/DiscProject.h"
#include "base/CancelToken.h"
#include "drives/Deck.h"

#include <QSignalSpy>
#include <QTest>

class TestDeck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void withoutBurner()
    {
        Deck deck(2);
        QCOMPARE(deck.letter(), QStringLiteral("C"));
        QCOMPARE(deck.mediaText(), QStringLiteral("No burner"));
        deck.refreshStatus();
        QCOMPARE(deck.mediaText(), QStringLiteral("No burner connected"));
        QCOMPARE(deck.driveName(), QStringLiteral("No burner connected"));
        QCOMPARE(deck.dataReport(100).text, TDMessages::noBurnerShort);
        QCOMPARE(deck.eraseReport().text, TDMessages::noBurnerShort);
        QCOMPARE(deck.readReport().text, QStringLiteral("No drive connected"));
        QCOMPARE(deck.etaText(), QStringLiteral("—"));
    }

    void followsItsBurner()
    {
        Deck deck(0);
        auto device = std::make_shared<ScriptedDevice>(QStringLiteral("DRW-24"), QStringLiteral("pci-1"));
        QSignalSpy media(&deck, &Deck::mediaTextChanged);
        deck.attach(device);
        QCOMPARE(deck.deviceKey(), QStringLiteral("pci-1"));
        QCOMPARE(deck.mediaText(), QStringLiteral("Blank CD-R ready · 80 min"));
        QVERIFY(deck.blankLoaded());
        QCOMPARE(deck.maxSpeedX(), 48);
        QVERIFY(deck.caps().sao && deck.caps().cdText);
        QCOMPARE(deck.interconnect(), QStringLiteral("USB"));

        device->m_status = ScriptedDevice::emptyTray();
        deck.refreshStatus();
        QCOMPARE(deck.mediaText(), QStringLiteral("No disc — insert a blank CD-R"));
        QVERIFY(!deck.blankLoaded());
        deck.refreshStatus(); // nothing changed: no second notification
        QCOMPARE(media.size(), 2);

        deck.attach(nullptr);
        QCOMPARE(deck.deviceKey(), QString());
        QCOMPARE(deck.mediaText(), QStringLiteral("No burner connected"));
        QCOMPARE(deck.maxSpeedX(), 0);
        QCOMPARE(deck.caps(), DriveCaps{});
    }

    // A burner that can't be used says why on its media line at every
    // reading, but in the log only when the reason first shows, changes or
    // comes back.
    void accessProblemLoggedOnChange()
    {
        const QString denied = QStringLiteral(
            "No permission to use /dev/sr0: add yourself to the cdrom group (sudo usermod -aG cdrom $USER), then log "
            "out and back in.");
        const QString held = QStringLiteral("/dev/sr0 is in use by writer (PID 9). Close it, then Refresh Drives.");
        // readings: the burner's problem at each refresh
        const struct { QStringList readings; QStringList logged; } rows[] = {
            {QStringList{denied, denied, denied, denied}, QStringList{"Deck A: " + denied}}, // the same at every reading
            {QStringList{denied, "", "", denied}, QStringList{"Deck A: " + denied, "Deck A: " + denied}}, // fixed, then back
            {QStringList{denied, held, held}, QStringList{"Deck A: " + denied, "Deck A: " + held}}, // another reason
            {QStringList{"", ""}, QStringList{}}, // none
        };
        for (auto [readings, logged] : rows) {
            Deck deck(0);
            auto device = std::make_shared<ScriptedDevice>(QStringLiteral("DRW-24"), QStringLiteral("pci-1"));
            QStringList lines;
            connect(&deck, &Deck::logged, this, [&lines](const QString &line) { lines.append(line); });
            for (int i = 0; i < readings.size(); ++i) {
                device->m_problem = readings[i];
                if (i == 0)
                    deck.attach(device);
                else
                    deck.refreshStatus();
                QCOMPARE(deck.mediaText(), readings[i].isEmpty() ? QStringLiteral("Blank CD-R ready · 80 min") : readings[i]);
                QCOMPARE(deck.blankLoaded(), readings[i].isEmpty());
                QCOMPARE(deck.eraseReport().text,
                         readings[i].isEmpty() ? QStringLiteral("CD-R — can't be erased (only CD-RW, DVD-RW, DVD+RW and BD-RE can)")
                                               : readings[i]);
            }
            QCOMPARE(lines, logged);
            // A copy reads the disc through the system, so the reason doesn't stop it.
            QCOMPARE(deck.readReport().text, QStringLiteral("CD-R is blank — nothing to copy"));
        }
    }

    void settlesOnlyOnRealChange()
    {
        Deck deck(1);
        QSignalSpy settled(&deck, &Deck::stateSettled);
        deck.beginRead(QStringLiteral("Copy"));
        QCOMPARE(settled.size(), 1);
        QVERIFY(deck.busy());
        deck.beginRead(QStringLiteral("Copy again")); // still working
        QCOMPARE(settled.size(), 1);
    }

    void readEndings()
    {
        const struct { bool stopFirst; bool ok; int state; QString phase; } rows[] = {
            {false, true, int(Deck::State::done), "Image saved"}, // saved
            {false, false, int(Deck::State::failed), "The disc couldn't be read."}, // failed
            {true, false, int(Deck::State::stopped), "The disc couldn't be read."}, // stopped, not failed
        };
        for (auto [stopFirst, ok, state, phase] : rows) {
            Deck deck(0);
            const auto token = deck.beginRead(QStringLiteral("Copy disc"));
            QCOMPARE(deck.phase(), QStringLiteral("Reading the disc"));
            QCOMPARE(deck.op(), Deck::Op::read);
            if (stopFirst) {
                deck.stop();
                QVERIFY(token->isCancelled());
                QCOMPARE(deck.phase(), QStringLiteral("Stopped"));
            }
            deck.endRead(ok, QStringLiteral("The disc couldn't be read."));
            QCOMPARE(int(deck.state()), state);
            QCOMPARE(deck.phase(), phase);
            QCOMPARE(deck.op(), Deck::Op::none);
            QCOMPARE(deck.progress(), ok ? 1.0 : 0.0);
        }
    }

    void ejectLogsAndResets()
    {
        ScriptedDiscService service;
        auto device = service.plug(QStringLiteral("DRW"), QStringLiteral("p1"));
        Deck deck(0);
        deck.setService(&service);
        deck.attach(device);
        QSignalSpy logged(&deck, &Deck::logged);
        deck.beginRead(QStringLiteral("Copy"));
        deck.eject(); // busy: ignored
        QCOMPARE(device->ejects, 0);
        deck.endRead(true, {});
        deck.eject();
        QCOMPARE(device->ejects, 1);
        QCOMPARE(deck.state(), Deck::State::idle);
        QCOMPARE(deck.phase(), QStringLiteral("Ready"));
        QCOMPARE(logged.last().at(0).toString(), QStringLiteral("Deck A: eject."));
    }
};

QTEST_GUILESS_MAIN(TestDeck)
#include "tst_deck.moc"
