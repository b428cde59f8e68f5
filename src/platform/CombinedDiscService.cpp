#include "platform/CombinedDiscService.h"

CombinedDiscService::CombinedDiscService(const QList<DiscService *> &services, QObject *parent)
    : DiscService(parent)
{
    for (DiscService *service : services) {
        if (!service || m_services.contains(service))
            continue;
        service->setParent(this);
        m_services.append(service);
        connect(service, &DiscService::devicesChanged, this, &DiscService::devicesChanged);
        connect(service, &DiscService::deviceStatusChanged, this, &DiscService::deviceStatusChanged);
    }
}

QList<DiscDeviceRef> CombinedDiscService::devices() const
{
    QList<DiscDeviceRef> list;
    for (DiscService *service : m_services)
        list.append(service->devices());
    return list;
}

DiscService *CombinedDiscService::owner(const DiscDeviceRef &device) const
{
    if (!device)
        return nullptr;
    for (DiscService *service : m_services) {
        if (service->devices().contains(device))
            return service;
    }
    return nullptr;
}

std::unique_ptr<DiscJob> CombinedDiscService::burn(const DiscDeviceRef &device, const BurnProperties &properties,
                                                   const BurnLayout &layout)
{
    DiscService *service = owner(device);
    return service ? service->burn(device, properties, layout) : nullptr;
}

std::unique_ptr<DiscJob> CombinedDiscService::erase(const DiscDeviceRef &device, EraseType type)
{
    DiscService *service = owner(device);
    return service ? service->erase(device, type) : nullptr;
}

std::unique_ptr<CdReader> CombinedDiscService::openCd(const DiscDeviceRef &device)
{
    DiscService *service = owner(device);
    return service ? service->openCd(device) : nullptr;
}

QStringList CombinedDiscService::trayMedia(const DiscDeviceRef &device) const
{
    DiscService *service = owner(device);
    return service ? service->trayMedia(device) : QStringList();
}

QString CombinedDiscService::insertMedium(const DiscDeviceRef &device, const QString &medium)
{
    DiscService *service = owner(device);
    return service ? service->insertMedium(device, medium) : QStringLiteral("The burner isn't connected any more.");
}

QString CombinedDiscService::insertImage(const DiscDeviceRef &device, const QString &path)
{
    DiscService *service = owner(device);
    return service ? service->insertImage(device, path) : QStringLiteral("The burner isn't connected any more.");
}

std::optional<BurnLayout> CombinedDiscService::layoutForImageFile(const QString &path)
{
    for (DiscService *service : std::as_const(m_services)) {
        if (std::optional<BurnLayout> layout = service->layoutForImageFile(path))
            return layout;
    }
    return std::nullopt;
}

void CombinedDiscService::refresh()
{
    for (DiscService *service : std::as_const(m_services))
        service->refresh();
}
