#pragma once
// Several burner services shown as one: the program builds the hardware
// service and, when asked for, the virtual burners, and the rest of the
// program sees a single service.
//
// Threading: main thread only, but for layoutForImageFile() (any thread, as
// for every service). Notifications of the inner services are
// passed on as they come (they already come from the event loop).
//
// Ownership: takes the inner services as its children. A device belongs to
// the inner service that lists it; jobs for it go there.

#include "platform/api/DiscService.h"

#include <QList>

class CombinedDiscService final : public DiscService
{
    Q_OBJECT
public:
    // Devices are listed service by service in the order given (hardware
    // first, then virtual burners). Null entries are skipped.
    explicit CombinedDiscService(const QList<DiscService *> &services, QObject *parent = nullptr);

    QList<DiscService *> services() const { return m_services; }

    QList<DiscDeviceRef> devices() const override;
    // Passed to the service that lists `device`; nullptr when none does
    // (an unplugged burner) or that service could not start the job.
    std::unique_ptr<DiscJob> burn(const DiscDeviceRef &device, const BurnProperties &properties,
                                  const BurnLayout &layout) override;
    std::unique_ptr<DiscJob> erase(const DiscDeviceRef &device, EraseType type) override;
    // Passed to the owner of `device` too; a burner no service lists has
    // no disc to read and no tray to load.
    std::unique_ptr<CdReader> openCd(const DiscDeviceRef &device) override;
    QStringList trayMedia(const DiscDeviceRef &device) const override;
    QString insertMedium(const DiscDeviceRef &device, const QString &medium) override;
    QString insertImage(const DiscDeviceRef &device, const QString &path) override;
    // The first service, in order, that can make a layout of the file.
    std::optional<BurnLayout> layoutForImageFile(const QString &path) override;
    // Every inner service reads its burners again.
    void refresh() override;

private:
    DiscService *owner(const DiscDeviceRef &device) const;

    QList<DiscService *> m_services;
};
