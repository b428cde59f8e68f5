// Virtual burners at run time: plugging, unplugging, the media in their trays
// and where their discs go.

#include "ScriptedDiscService.h"
#include "TestEnv.h"
#include "drives/TDDetect.h"
#include "platform/virtual/VirtualDiscService.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

class TestVirtualDiscService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void constructed()
    {
        const struct { int count; QStringList expected; } rows[] = {
            {0, QStringList{}}, // none
            {-2, QStringList{}}, // negative
            {1, QStringList{"virtual:1"}}, // one
            {7, QStringList{"virtual:1", "virtual:2", "virtual:3", "virtual:4", "virtual:5", "virtual:6", "virtual:7"}}, // seven, more than the decks
        };
        for (auto [count, expected] : rows) {
            VirtualDiscService service(count);
            QSignalSpy changed(&service, &DiscService::devicesChanged);
            QCOMPARE(ioPaths(service), expected);
            for (const DiscDeviceRef &device : service.devices()) {
                const DriveSnapshot snapshot = DriveSnapshot::read(*device);
                const QString number = device->info().ioPath.mid(8);
                QCOMPARE(snapshot.name, "KLVO Virtual Burner " + number);
                QCOMPARE(snapshot.bus, "Virtual");
                QCOMPARE(TDDetect::key(snapshot), "virtual:" + number);
                QCOMPARE(DriveCaps::from(snapshot).summary(),
                         "Writes CD/DVD/Blu-ray · Disc-at-once · CD-Text · Test burn · Underrun protection");
            }
            // Burners present from the start are not news.
            QTest::qWait(0);
            QCOMPARE(changed.count(), 0);
        }
    }

    // Each script step: "+" plugs a burner, "-N" unplugs burner N.
    void plugAndUnplug()
    {
        const struct { int initial; QStringList steps; QStringList expected; int notifications; } rows[] = {
            {0, QStringList{"+", "+"}, QStringList{"virtual:1", "virtual:2"}, 2}, // plug two
            {0, QStringList{"+", "+", "-1"}, QStringList{"virtual:2"}, 3}, // unplug the first
            {0, QStringList{"+", "+", "-1", "+"}, QStringList{"virtual:2", "virtual:3"}, 4}, // a new one after an unplug has a new identity
            {1, QStringList{"-1", "+"}, QStringList{"virtual:2"}, 2}, // unplug the last one, plug again
            {2, QStringList{"-2", "-2"}, QStringList{"virtual:1"}, 1}, // unplugging twice tells once
            {1, QStringList{"-5"}, QStringList{"virtual:1"}, 0}, // unknown burner
        };
        for (auto [initial, steps, expected, notifications] : rows) {
            VirtualDiscService service(initial);
            int inside = 0;     // notifications that arrived during a control call
            int offThread = 0;  // notifications that arrived on another thread
            bool inCall = false;
            connect(&service, &DiscService::devicesChanged, this, [&] {
                inside += inCall;
                offThread += QThread::currentThread() != thread();
            });
            QSignalSpy changed(&service, &DiscService::devicesChanged);
            QSignalSpy status(&service, &DiscService::deviceStatusChanged);

            for (const QString &step : steps) {
                inCall = true;
                if (step == QLatin1String("+"))
                    service.plugBurner();
                else
                    service.unplugBurner(step.mid(1).toInt());
                inCall = false;
            }
            // The list is right at once; the news follows from the event loop.
            QCOMPARE(ioPaths(service), expected);
            QCOMPARE(changed.count(), 0);
            QTRY_COMPARE(changed.count(), notifications);
            QTest::qWait(20);
            QCOMPARE(changed.count(), notifications);
            QCOMPARE(inside, 0);
            QCOMPARE(offThread, 0);
            QCOMPARE(status.count(), 0);
        }
    }

    void unpluggedBurnerStaysValid()
    {
        VirtualDiscService service(2);
        const DiscDeviceRef first = service.devices().first();
        QVERIFY(service.unplugBurner(1));
        QSignalSpy status(&service, &DiscService::deviceStatusChanged);
        first->ejectMedia();
        QCOMPARE(first->displayName(), "KLVO Virtual Burner 1");
        QCOMPARE(first->status()->mediaType, "CDR");
        QVERIFY(!service.setMedium(1, VirtualDiscService::DVDR));
        QTest::qWait(20);
        QCOMPARE(status.count(), 0);
        QCOMPARE(ioPaths(service), QStringList{"virtual:2"});
    }

    void medium()
    {
        // blocksFree: -1: absent; freeFrames: -1: absent
        const struct { VirtualDiscService::Medium medium; QString mediaType; bool erasable; qint64 blocksFree; qint64 freeFrames; double topSpeed; } rows[] = {
            {VirtualDiscService::CDR, "CDR", false, qint64(360000), qint64(360000), 48 * 176.4}, // CD-R
            {VirtualDiscService::CDRW, "CDRW", true, qint64(360000), qint64(360000), 48 * 176.4}, // CD-RW
            {VirtualDiscService::DVDR, "DVDR", false, qint64(2298496), qint64(-1), 16 * 1385.0}, // DVD-R
            {VirtualDiscService::DVDPlusRW, "DVDPlusRW", true, qint64(2295104), qint64(-1), 16 * 1385.0}, // DVD+RW
            {VirtualDiscService::BDR, "BDR", false, qint64(12219392), qint64(-1), 6 * 4496.0}, // BD-R
            {VirtualDiscService::NoDisc, "", false, qint64(-1), qint64(-1), 0.0}, // no disc
        };
        for (auto [medium, mediaType, erasable, blocksFree, freeFrames, topSpeed] : rows) {
            // The second burner, so a mix-up between burners shows.
            VirtualDiscService service(2);
            QSignalSpy status(&service, &DiscService::deviceStatusChanged);
            QVERIFY(service.setMedium(2, medium));
            QCOMPARE(status.count(), 0);
            QVERIFY(status.wait(1000));
            QCOMPARE(service.medium(2), medium);
            QCOMPARE(service.hasDisc(2), medium != VirtualDiscService::NoDisc);

            const std::optional<DeviceStatus> s = service.devices().at(1)->status();
            QVERIFY(s);
            QCOMPARE(s->mediaState, medium == VirtualDiscService::NoDisc ? MediaState::none : MediaState::present);
            QCOMPARE(s->mediaType, mediaType);
            QCOMPARE(s->blank, medium != VirtualDiscService::NoDisc);
            QCOMPARE(s->erasable, erasable);
            QCOMPARE(s->blocksFree.value_or(-1), blocksFree);
            QCOMPARE(s->freeFrames.value_or(-1), freeFrames);
            QCOMPARE(s->burnSpeeds.isEmpty() ? 0.0 : s->burnSpeeds.last(), topSpeed);
            QVERIFY(std::is_sorted(s->burnSpeeds.begin(), s->burnSpeeds.end()));
            // The first burner kept its CD-R.
            QCOMPARE(service.devices().at(0)->status()->mediaType, "CDR");
        }
    }

    void ejectAndInsert()
    {
        const struct { bool throughDevice; } rows[] = {
            {true}, // device's eject
            {false}, // control eject
        };
        for (auto [throughDevice] : rows) {
            VirtualDiscService service(1);
            const DiscDeviceRef burner = service.devices().first();
            service.setMedium(1, VirtualDiscService::DVDPlusRW);
            QSignalSpy status(&service, &DiscService::deviceStatusChanged);
            QVERIFY(status.wait(1000));

            if (throughDevice)
                burner->ejectMedia();
            else
                QVERIFY(service.eject(1));
            QCOMPARE(status.count(), 1); // not yet
            QVERIFY(status.wait(1000));
            QCOMPARE(burner->status()->mediaState, MediaState::none);
            QVERIFY(burner->status()->mediaType.isEmpty());
            QVERIFY(!service.hasDisc(1));
            QCOMPARE(service.medium(1), VirtualDiscService::DVDPlusRW);

            QVERIFY(service.insertBlank(1));
            QVERIFY(status.wait(1000));
            QCOMPARE(burner->status(), VirtualDiscService::blankStatus(VirtualDiscService::DVDPlusRW));
            QCOMPARE(status.count(), 3);
        }
    }

    void outputFolder()
    {
        // relative: empty: no folder
        const struct { int burner; QString relative; } rows[] = {
            {1, "Burner 1"}, // first
            {2, "Burner 2"}, // second
            {3, ""}, // not plugged
        };
        for (auto [burner, relative] : rows) {
            TestEnv env;
            const QString root = env.path("xdg_data_home/KLVO Tandor/Virtual Burners");
            VirtualDiscService service(2);
            QVERIFY(!QFileInfo::exists(root));

            const QString folder = service.outputFolder(burner);
            if (relative.isEmpty()) {
                QVERIFY(folder.isEmpty());
                QVERIFY(!QFileInfo::exists(root + "/Burner 3"));
                continue;
            }
            QCOMPARE(folder, root + "/" + relative);
            QVERIFY(QFileInfo(folder).isDir());
            // Only the folder asked for is made.
            QCOMPARE(QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{relative});
            QCOMPARE(service.outputFolder(burner), folder);
        }
    }
};

QTEST_GUILESS_MAIN(TestVirtualDiscService)
#include "tst_virtualdiscservice.moc"
