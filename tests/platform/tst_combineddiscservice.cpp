// Several burner services presented as one: order, notifications, and jobs
// sent to the service that owns the burner.

#include "ScriptedDiscService.h"
#include "platform/CombinedDiscService.h"
#include "platform/virtual/VirtualDiscService.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

namespace {

// What each started job was asked, as "burn PATH" or "erase PATH".
QStringList calls(const ScriptedDiscService &service)
{
    QStringList out;
    for (const ScriptedDiscService::Started &s : service.jobs)
        out << (s.erase ? "erase " : "burn ") + s.device->info().ioPath;
    return out;
}

// Lays out any file as `cue`; nothing when that is empty.
struct SheetService final : ScriptedDiscService
{
    explicit SheetService(QString cue) : cue(std::move(cue)) {}
    std::optional<BurnLayout> layoutForImageFile(const QString &) override
    {
        if (cue.isEmpty())
            return std::nullopt;
        BurnLayout layout;
        layout.cueSheet = cue;
        return layout;
    }
    QString cue;
};

} // namespace

class TestCombinedDiscService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void order()
    {
        auto *hardware = new ScriptedDiscService;
        hardware->plug("sata", "pci-0000:00:1f.2-ata-2");
        hardware->plug("file", "stdio:/tmp/a.iso");
        auto *virtualBurners = new VirtualDiscService(2);
        CombinedDiscService combined({hardware, nullptr, virtualBurners});
        QCOMPARE(ioPaths(combined),
                 (QStringList{"pci-0000:00:1f.2-ata-2", "stdio:/tmp/a.iso", "virtual:1", "virtual:2"}));

        // The lists are read anew each time: a burner plugged later shows.
        virtualBurners->unplugBurner(1);
        virtualBurners->plugBurner();
        QCOMPARE(ioPaths(combined), (QStringList{"pci-0000:00:1f.2-ata-2", "stdio:/tmp/a.iso", "virtual:2", "virtual:3"}));
    }

    void notificationsPassOn_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("devicesChanged");
        QTest::addColumn<int>("statusChanged");
        QTest::newRow("plug into the first") << "plug first" << 1 << 0;
        QTest::newRow("plug into the second") << "plug second" << 1 << 0;
        QTest::newRow("eject in the second") << "eject second" << 0 << 1;
        QTest::newRow("medium in the first") << "medium first" << 0 << 1;
    }
    void notificationsPassOn()
    {
        QFETCH(QString, change);
        QFETCH(int, devicesChanged);
        QFETCH(int, statusChanged);
        auto *first = new VirtualDiscService(1);
        auto *second = new VirtualDiscService(1);
        CombinedDiscService combined({first, second});
        QSignalSpy devices(&combined, &DiscService::devicesChanged);
        QSignalSpy status(&combined, &DiscService::deviceStatusChanged);

        VirtualDiscService *target = change.endsWith("first") ? first : second;
        if (change.startsWith("plug"))
            target->plugBurner();
        else if (change.startsWith("eject"))
            target->devices().first()->ejectMedia();
        else
            target->setMedium(1, VirtualDiscService::BDR);

        QTRY_COMPARE(devices.count() + status.count(), devicesChanged + statusChanged);
        QTest::qWait(20);
        QCOMPARE(devices.count(), devicesChanged);
        QCOMPARE(status.count(), statusChanged);
    }

    void jobsGoToTheOwner_data()
    {
        QTest::addColumn<QString>("device"); // "first:i", "second:i" or "gone"
        QTest::addColumn<QStringList>("firstCalls");
        QTest::addColumn<QStringList>("secondCalls");
        QTest::newRow("first service's burner") << "first:1" << QStringList{"burn b", "erase b"} << QStringList{};
        QTest::newRow("second service's burner") << "second:0" << QStringList{} << QStringList{"burn c", "erase c"};
        QTest::newRow("a burner no service lists") << "gone" << QStringList{} << QStringList{};
    }
    void jobsGoToTheOwner()
    {
        QFETCH(QString, device);
        QFETCH(QStringList, firstCalls);
        QFETCH(QStringList, secondCalls);
        auto *first = new ScriptedDiscService;
        auto *second = new ScriptedDiscService;
        first->plug("a", "a");
        first->plug("b", "b");
        second->plug("c", "c");
        CombinedDiscService combined({first, second});

        DiscDeviceRef target = std::make_shared<ScriptedDevice>("b", "b"); // same path, other device
        if (device.startsWith("first"))
            target = first->devices().at(device.mid(6).toInt());
        else if (device.startsWith("second"))
            target = second->devices().at(device.mid(7).toInt());

        const bool owned = device != QLatin1String("gone");
        QCOMPARE(combined.burn(target, {}, {}) != nullptr, owned);
        QCOMPARE(combined.erase(target, EraseType::quick) != nullptr, owned);
        QCOMPARE(calls(*first), firstCalls);
        QCOMPARE(calls(*second), secondCalls);
    }

    void layoutFromTheFirstThatCan_data()
    {
        QTest::addColumn<QString>("firstCue");  // empty: that service makes no layout
        QTest::addColumn<QString>("secondCue");
        QTest::addColumn<QString>("expected");  // empty: no layout
        QTest::newRow("neither") << "" << "" << "";
        QTest::newRow("only the second") << "" << "/b.cue" << "/b.cue";
        QTest::newRow("both: the first wins") << "/a.cue" << "/b.cue" << "/a.cue";
    }
    void layoutFromTheFirstThatCan()
    {
        QFETCH(QString, firstCue);
        QFETCH(QString, secondCue);
        QFETCH(QString, expected);
        CombinedDiscService combined({new SheetService(firstCue), new SheetService(secondCue)});
        const std::optional<BurnLayout> layout = combined.layoutForImageFile("/disc.cue");
        QCOMPARE(layout.has_value(), !expected.isEmpty());
        if (layout)
            QCOMPARE(layout->cueSheet, expected);
    }

    void ownsItsServices()
    {
        QPointer<DiscService> inner = new VirtualDiscService(1);
        {
            CombinedDiscService combined({inner.data()});
            QCOMPARE(combined.services(), QList<DiscService *>{inner.data()});
        }
        QVERIFY(inner.isNull());
    }
};

QTEST_GUILESS_MAIN(TestCombinedDiscService)
#include "tst_combineddiscservice.moc"
