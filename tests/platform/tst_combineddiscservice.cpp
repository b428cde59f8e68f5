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
        QPointer<VirtualDiscService> virtualBurners = new VirtualDiscService(2);
        auto combined = std::make_unique<CombinedDiscService>(QList<DiscService *>{hardware, nullptr, virtualBurners});
        QCOMPARE(combined->services(), (QList<DiscService *>{hardware, virtualBurners}));
        QCOMPARE(ioPaths(*combined), (QStringList{"pci-0000:00:1f.2-ata-2", "stdio:/tmp/a.iso", "virtual:1", "virtual:2"}));

        // The lists are read anew each time: a burner plugged later shows.
        virtualBurners->unplugBurner(1);
        virtualBurners->plugBurner();
        QCOMPARE(ioPaths(*combined), (QStringList{"pci-0000:00:1f.2-ata-2", "stdio:/tmp/a.iso", "virtual:2", "virtual:3"}));
        // It owns the services it presents.
        combined.reset();
        QVERIFY(virtualBurners.isNull());
    }

    void notificationsPassOn()
    {
        const struct { QString change; int devicesChanged; int statusChanged; } rows[] = {
            {"plug first", 1, 0}, // plug into the first
            {"plug second", 1, 0}, // plug into the second
            {"eject second", 0, 1}, // eject in the second
            {"medium first", 0, 1}, // medium in the first
        };
        for (auto [change, devicesChanged, statusChanged] : rows) {
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
    }

    void jobsGoToTheOwner()
    {
        // device: "first:i", "second:i" or "gone"
        const struct { QString device; QStringList firstCalls, secondCalls; } rows[] = {
            {"first:1", {"burn b", "erase b"}, {}}, // first service's burner
            {"second:0", {}, {"burn c", "erase c"}}, // second service's burner
            {"gone", {}, {}}, // a burner no service lists
        };
        for (const auto &r : rows) {
            auto *first = new ScriptedDiscService;
            auto *second = new ScriptedDiscService;
            first->plug("a", "a");
            first->plug("b", "b");
            second->plug("c", "c");
            CombinedDiscService combined({first, second});

            DiscDeviceRef target = std::make_shared<ScriptedDevice>("b", "b"); // same path, other device
            if (r.device.startsWith("first"))
                target = first->devices().at(r.device.mid(6).toInt());
            else if (r.device.startsWith("second"))
                target = second->devices().at(r.device.mid(7).toInt());

            const bool owned = r.device != QLatin1String("gone");
            QCOMPARE(combined.burn(target, {}, {}) != nullptr, owned);
            QCOMPARE(combined.erase(target, EraseType::quick) != nullptr, owned);
            QCOMPARE(calls(*first), r.firstCalls);
            QCOMPARE(calls(*second), r.secondCalls);
        }
    }

    void layoutFromTheFirstThatCan()
    {
        // empty: that service makes no layout; expected empty: no layout
        const struct { QString firstCue, secondCue, expected; } rows[] = {
            {"", "", ""}, // neither
            {"", "/b.cue", "/b.cue"}, // only the second
            {"/a.cue", "/b.cue", "/a.cue"}, // both: the first wins
        };
        for (const auto &r : rows) {
            CombinedDiscService combined({new SheetService(r.firstCue), new SheetService(r.secondCue)});
            const std::optional<BurnLayout> layout = combined.layoutForImageFile("/disc.cue");
            QCOMPARE(layout.has_value(), !r.expected.isEmpty());
            if (layout)
                QCOMPARE(layout->cueSheet, r.expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestCombinedDiscService)
#include "tst_combineddiscservice.moc"
