#include "ScriptedDiscService.h"

ScriptedDevice::ScriptedDevice(QString name, QString ioPath, QString bus)
    : m_info{std::move(ioPath), std::move(bus), allCaps()}
    , m_name(std::move(name))
    , m_status(blankCDR()) {}

QMap<QString, bool> ScriptedDevice::allCaps()
{
    QMap<QString, bool> caps;
    for (const QString &k : {DRCaps::canWriteCD, DRCaps::canWriteCDR, DRCaps::canWriteCDText, DRCaps::canWriteCDSAO,
                             DRCaps::canTestWriteCD, DRCaps::canUnderrunProtectCD, DRCaps::canWriteDVDR})
        caps.insert(k, true);
    return caps;
}

DeviceStatus ScriptedDevice::blankCDR()
{
    DeviceStatus s;
    s.mediaState = MediaState::present;
    s.mediaType = QStringLiteral("CDR");
    s.blank = true;
    s.freeFrames = 80 * 60 * 75;
    s.burnSpeeds = {4 * DRUnits::cd1x, 24 * DRUnits::cd1x, 48 * DRUnits::cd1x};
    return s;
}

DeviceStatus ScriptedDevice::emptyTray()
{
    DeviceStatus s;
    s.mediaState = MediaState::none;
    return s;
}

std::shared_ptr<ScriptedDevice> ScriptedDiscService::plug(const QString &name, const QString &ioPath)
{
    auto device = std::make_shared<ScriptedDevice>(name, ioPath);
    list.append(device);
    return device;
}

void ScriptedDiscService::unplug(const QString &ioPath)
{
    list.removeIf([&](const DiscDeviceRef &d) { return d->info().ioPath == ioPath; });
}

std::unique_ptr<DiscJob> ScriptedDiscService::burn(const DiscDeviceRef &device, const BurnProperties &properties,
                                                   const BurnLayout &layout)
{
    if (std::exchange(refuse, false))
        return nullptr;
    auto job = std::make_unique<ScriptedJob>();
    jobs.append({device, properties, layout, std::nullopt, job.get()});
    return job;
}

std::unique_ptr<DiscJob> ScriptedDiscService::erase(const DiscDeviceRef &device, EraseType type)
{
    if (std::exchange(refuse, false))
        return nullptr;
    auto job = std::make_unique<ScriptedJob>();
    jobs.append({device, {}, {}, type, job.get()});
    return job;
}
