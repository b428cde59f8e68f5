// Desktop notifications when work ends while the window is in the background:
// real burns, copies and queued jobs end on a real model, and a stand-in
// notification service on a private D-Bus session bus records what arrives.

#include "ModelRig.h"
#include "app/ChecksumModel.h"
#include "app/WorkNotices.h"
#include "audio/DiscProject.h"
#include "drives/Deck.h"
#include "platform/linux/DesktopNotifier.h"
#include "queue/JobQueue.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

namespace {

// A session bus of the test's own: no service files, so nothing is started
// on demand, and nothing reaches the user's real session.
class PrivateBus
{
public:
    PrivateBus()
    {
        const QString config = env.path(QStringLiteral("bus.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write("<busconfig><type>session</type><auth>EXTERNAL</auth><listen>unix:path=" + QFile::encodeName(env.path(QStringLiteral("bus")))
                   + "</listen><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        file.close();
        daemon.start(QStringLiteral("dbus-daemon"), {"--config-file=" + config, "--print-address", "--nofork", "--nopidfile"});
        if (!daemon.waitForStarted(5000))
            return;
        QElapsedTimer clock;
        clock.start();
        while (!daemon.canReadLine() && clock.elapsed() < 5000)
            daemon.waitForReadyRead(100);
        address = QString::fromUtf8(daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        daemon.kill();
        daemon.waitForFinished(3000);
    }

    TestEnv env;
    QProcess daemon;
    QString address; // empty: the bus didn't start
};

} // namespace

// Stands in for the desktop's notification service and records each call.
class NotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call
    {
        QString app, icon, summary, body;
        QStringList actions;
        QVariantMap hints;
        int timeout = 0;
    };
    QList<Call> calls;

    explicit NotificationService(const QString &address)
        : m_bus(QDBusConnection::connectToBus(address, QStringLiteral("stand-in"))) {}
    ~NotificationService() override
    {
        m_bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        QDBusConnection::disconnectFromBus(QStringLiteral("stand-in"));
    }
    bool registerOnBus()
    {
        return m_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                    QDBusConnection::ExportAllSlots)
            && m_bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }

public Q_SLOTS:
    uint Notify(const QString &app, uint, const QString &icon, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &hints, int timeout)
    {
        calls.append({app, icon, summary, body, actions, hints, timeout});
        return uint(calls.size());
    }

private:
    QDBusConnection m_bus;
};

class TestNotifications : public QObject
{
    Q_OBJECT

    struct Notifying
    {
        DesktopNotifier notifier;
    };
    struct Rig : Notifying, ModelRig
    {
        explicit Rig(const QString &busAddress, int burners = 1)
            : Notifying{DesktopNotifier(busAddress)}
            , ModelRig(burners, nullptr, &notifier) { model->setWindowActive(false); }
        bool addTrack() { return addTones(0, {QStringLiteral("t")}); }
        // A burn on deck A that ends done: the known note that tells a test
        // every earlier note has arrived (one connection keeps its order).
        bool sentinel()
        {
            ScriptedJob *job = startBurning(0);
            if (job)
                job->send(DiscJobState::done);
            return job;
        }
        int logCount() const { return int(model->logLines()->lines().size()); }
    };

    // A private bus with the stand-in service on it, and two decks with a track to burn.
    struct Stage
    {
        PrivateBus bus;
        NotificationService notes{bus.address};
        Rig rig{bus.address, 2};
        bool ready() { return !bus.address.isEmpty() && notes.registerOnBus() && rig.addTrack(); }
    };

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty(), "dbus-daemon is missing: run scripts/install-deps");
    }

    // What ends, and the one note it makes, or none: the burn that follows
    // each proves nothing was sent before it.
    void endIsTold_data()
    {
        QTest::addColumn<QString>("work");
        QTest::addColumn<QString>("summary"); // empty: no note
        QTest::addColumn<QString>("body"); // empty: the job's own end text
        QTest::addColumn<int>("urgency");
        // One deck ending done is the note of "mirror, the other deck stopped".
        QTest::newRow("audio burn failed") << "burn failed" << "Burn failed on Deck B" << "The laser lost focus." << 2;
        // A Mirror burn is one note, when its last deck ends.
        QTest::newRow("mirror on two decks") << "mirror done" << "Burn finished on Decks A and B" << "Deck A: Done. Disc ejecting.\nDeck B: Done. Disc ejecting." << 1;
        QTest::newRow("mirror, one deck failed") << "mirror failed" << "Burn failed on Deck B" << "Deck A: Done. Disc ejecting.\nDeck B: The laser lost focus." << 2;
        QTest::newRow("mirror, the other deck stopped") << "mirror stopped" << "Burn finished on Deck A" << "Done. Disc ejecting." << 1;
        QTest::newRow("copies stack of 3") << "copies" << "3 copies burned" << "Copies: all 3 copies are done." << 1;
        QTest::newRow("checksum job") << "checksum" << "Checksums ready: data.bin" << "" << 1;
        QTest::newRow("window active") << "active" << "" << "" << 0;
        QTest::newRow("notifications off") << "off" << "" << "" << 0;
        QTest::newRow("burn stopped by the user") << "stopped" << "" << "" << 0;
        QTest::newRow("one copy of a stack done") << "one copy" << "" << "" << 0;
    }
    void endIsTold()
    {
        QFETCH(QString, work);
        QFETCH(QString, summary);
        QFETCH(QString, body);
        QFETCH(int, urgency);
        Stage stage;
        QVERIFY2(stage.ready(), "the private bus, the stand-in service or the track didn't come up");
        auto &[bus, notes, rig] = stage;

        if (work == QLatin1String("burn failed")) {
            ScriptedJob *job = rig.startBurning(1);
            QVERIFY(job);
            job->send(DiscJobState::failed, -1, 0, 0, QStringLiteral("The laser lost focus."));
        } else if (work.startsWith(QLatin1String("mirror"))) {
            ScriptedJob *a = rig.startBurning(0);
            ScriptedJob *b = rig.startBurning(1);
            QVERIFY(a && b);
            a->send(DiscJobState::done); // a note for A alone would be the first seen below
            if (work == QLatin1String("mirror done"))
                b->send(DiscJobState::done);
            else if (work == QLatin1String("mirror failed"))
                b->send(DiscJobState::failed, -1, 0, 0, QStringLiteral("The laser lost focus."));
            else
                rig.model->decks().at(1)->stop();
        } else if (work == QLatin1String("copies")) {
            rig.model->setMode(BurnMode::queue);
            rig.model->setCopies(3);
            ScriptedJob *a = rig.startBurning(0);
            ScriptedJob *b = rig.startBurning(1);
            QVERIFY(a && b);
            a->send(DiscJobState::failed); // made again on the next blank
            b->send(DiscJobState::done);
            for (int copy = 0; copy < 2; ++copy) {
                rig.model->decks().at(0)->refreshStatus(); // a blank is in: the next copy starts
                QTRY_COMPARE(rig.service.jobs.size(), 3 + copy);
                rig.service.jobs.last().job->send(DiscJobState::done);
            }
            QCOMPARE(rig.model->copiesDone(), 3);
            rig.model->setMode(BurnMode::mirror); // for the burn that follows
        } else if (work == QLatin1String("checksum")) {
            const QString file = rig.env.path(QStringLiteral("data.bin"));
            QVERIFY(TestEnv::writePattern(file, 200000));
            QSignalSpy ended(rig.model->queue(), &JobQueue::jobEnded);
            rig.model->checksums()->checksum(file);
            QTRY_COMPARE(ended.count(), 1);
            body = ended.first().first().value<QJob>().detail;
            QVERIFY(!body.isEmpty());
        } else if (work == QLatin1String("active") || work == QLatin1String("off")) {
            rig.model->setWindowActive(work == QLatin1String("active"));
            rig.model->setNotifications(work != QLatin1String("off"));
            ScriptedJob *job = rig.startBurning(1);
            QVERIFY(job);
            job->send(DiscJobState::failed);
            rig.model->setWindowActive(false);
            rig.model->setNotifications(true);
        } else if (work == QLatin1String("stopped")) {
            QVERIFY(rig.startBurning(1));
            rig.model->decks().at(1)->stop();
        } else {
            rig.model->setMode(BurnMode::queue);
            rig.model->setCopies(2);
            ScriptedJob *job = rig.startBurning(1);
            QVERIFY(job);
            job->send(DiscJobState::done);
            QCOMPARE(rig.model->copiesDone(), 1);
            rig.model->setMode(BurnMode::mirror);
        }

        if (!summary.isEmpty()) {
            QTRY_COMPARE(notes.calls.size(), 1);
            const NotificationService::Call &call = notes.calls.first();
            QCOMPARE(call.summary, summary);
            QCOMPARE(call.body, body);
            QCOMPARE(call.app, QStringLiteral("KLVO Tandor"));
            QCOMPARE(call.icon, QStringLiteral("app.klvo.Tandor"));
            QCOMPARE(call.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("app.klvo.Tandor"));
            QCOMPARE(call.hints.value(QStringLiteral("urgency")).toInt(), urgency);
            QCOMPARE(call.timeout, -1);
        }
        // Nothing more follows.
        QVERIFY(rig.sentinel());
        const qsizetype told = summary.isEmpty() ? 1 : 2;
        QTRY_COMPARE(notes.calls.size(), told);
        QCOMPARE(notes.calls.last().summary, QStringLiteral("Burn finished on Deck A"));
    }

    // No notification service on the bus: nothing is said, nothing waits,
    // and a service that comes later hears the next end.
    void missingServiceIsQuiet()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
        PrivateBus bus;
        QVERIFY2(!bus.address.isEmpty(), "the private bus didn't start");
        Rig rig(bus.address);
        QVERIFY(rig.addTrack());
        ScriptedJob *job = rig.startBurning(0);
        QVERIFY(job);
        const int lines = rig.logCount();
        job->send(DiscJobState::failed, -1, 0, 0, QStringLiteral("No service to hear this."));
        const int burnLines = rig.logCount() - lines;
        // Time for the call and its error reply to come and go.
        QTest::qWait(500);
        QCOMPARE(rig.logCount() - lines, burnLines);

        NotificationService notes(bus.address);
        QVERIFY(notes.registerOnBus());
        QVERIFY(rig.sentinel());
        QTRY_COMPARE(notes.calls.size(), 1);
        QCOMPARE(notes.calls.first().summary, QStringLiteral("Burn finished on Deck A"));
    }

    // A bus that never answers: connecting would wait on it, but the window's
    // thread goes on at once.
    void silentBusDoesNotBlock()
    {
        TestEnv env;
        QLocalServer silent;
        QVERIFY(silent.listen(env.path(QStringLiteral("silent"))));
        QList<QLocalSocket *> held;
        connect(&silent, &QLocalServer::newConnection, this, [&] {
            while (QLocalSocket *s = silent.nextPendingConnection())
                held.append(s);
        });
        {
            Rig rig(QStringLiteral("unix:path=") + silent.fullServerName());
            QVERIFY(rig.addTrack());
            ScriptedJob *job = rig.startBurning(0);
            QVERIFY(job);
            QElapsedTimer clock;
            clock.start();
            job->send(DiscJobState::done);
            QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
            // The attempt reaches the bus, which keeps it waiting.
            QTRY_VERIFY(!held.isEmpty());
            QCOMPARE(rig.model->decks().at(0)->state(), Deck::State::done);
        }
        // Hanging up lets the attempt fail and its worker end.
        qDeleteAll(held);
        silent.close();
    }

    // The note of each kind of job, by how it ended.
    void jobNotes_data()
    {
        QTest::addColumn<QJob>("job");
        QTest::addColumn<QString>("summary"); // empty: no note
        QTest::addColumn<bool>("critical");
        const auto job = [](JobKind kind, JobState state) {
            QJob j(QUuid::createUuid(), std::move(kind), QStringLiteral("title"));
            j.state = state;
            j.detail = QStringLiteral("what happened");
            return j;
        };
        QTest::newRow("image made") << job(Jobs::MakeImage{QStringLiteral("/f"), QStringLiteral("/o/backup.iso"), ImageFormat::iso, {}}, JobState::done) << "Image made: backup.iso" << false;
        QTest::newRow("disc copy failed") << job(Jobs::ReadDisc{QStringLiteral("sr0"), 1, QStringLiteral("/o/disc.iso")}, JobState::failed) << "Disc not copied: disc.iso" << true;
        QTest::newRow("image burned on C") << job(Jobs::BurnImage{QStringLiteral("/o/a.iso"), 2}, JobState::done) << "Image burned on Deck C" << false;
        QTest::newRow("test burn failed on A") << job(Jobs::BurnImage{QStringLiteral("/o/a.iso"), 0, true}, JobState::failed) << "Test burn failed on Deck A" << true;
        QTest::newRow("erase failed on F") << job(Jobs::Erase{5, true}, JobState::failed) << "Erase failed on Deck F" << true;
        QTest::newRow("checksums failed") << job(Jobs::Checksum{QStringLiteral("/o/gone.bin")}, JobState::failed) << "Checksums failed: gone.bin" << true;
        QTest::newRow("verify done") << job(Jobs::Verify{QStringLiteral("/o/a.iso"), QStringLiteral("/dev/sr0")}, JobState::done) << "Verified: a.iso" << false;
        QTest::newRow("burn stopped") << job(Jobs::BurnImage{QStringLiteral("/o/a.iso"), 0}, JobState::cancelled) << "" << false;
        QTest::newRow("still running") << job(Jobs::Checksum{QStringLiteral("/o/a.iso")}, JobState::running) << "" << false;
    }
    void jobNotes()
    {
        QFETCH(QJob, job);
        QFETCH(QString, summary);
        QFETCH(bool, critical);
        const std::optional<DesktopNote> note = WorkNotices::jobEnded(job);
        QCOMPARE(note.has_value(), !summary.isEmpty());
        if (!note)
            return;
        QCOMPARE(note->summary, summary);
        QCOMPARE(note->body, QStringLiteral("what happened"));
        QCOMPARE(note->critical, critical);
    }
};

QTEST_GUILESS_MAIN(TestNotifications)
#include "tst_notifications.moc"
