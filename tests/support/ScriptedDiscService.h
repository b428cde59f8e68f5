#pragma once
// A burner service whose devices a test sets by hand, for testing the logic
// that reacts to burners (deck assignment, media reports) without hardware.
// Notifications are emitted only when the test calls notify*().

#include "drives/DiscService.h"

class ScriptedDevice : public DiscDevice
{
public:
    ScriptedDevice(QString name, QString ioPath, QString bus = QStringLiteral("USB"));
    DeviceInfo info() const override { return m_info; }
    QString displayName() const override { return m_name; }
    std::optional<DeviceStatus> status() const override { return m_status; }
    void ejectMedia() override { ++ejects; m_status = emptyTray(); }

    // A blank 80-minute CD-R in a drive that writes everything.
    static DeviceStatus blankCDR();
    static DeviceStatus emptyTray();
    static QMap<QString, bool> allCaps();

    DeviceInfo m_info;
    QString m_name;
    std::optional<DeviceStatus> m_status;
    int ejects = 0;
};

class ScriptedDiscService : public DiscService
{
    Q_OBJECT
public:
    QList<DiscDeviceRef> devices() const override { return list; }
    std::unique_ptr<DiscJob> burn(const DiscDeviceRef &, const BurnProperties &, const BurnLayout &) override
    {
        return nullptr;
    }
    std::unique_ptr<DiscJob> erase(const DiscDeviceRef &, EraseType) override { return nullptr; }
    std::optional<BurnLayout> layoutForImageFile(const QString &) override { return std::nullopt; }

    // Adds a burner with a blank CD-R; returns it so the test can change it.
    std::shared_ptr<ScriptedDevice> plug(const QString &name, const QString &ioPath);
    void unplug(const QString &ioPath);
    void notifyDevices() { Q_EMIT devicesChanged(); }
    void notifyStatus() { Q_EMIT deviceStatusChanged(); }

    QList<DiscDeviceRef> list;
};
