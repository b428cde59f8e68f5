#include "platform/virtual/VirtualDiscService.h"

#include <QDir>
#include <QPointer>
#include <QStandardPaths>

namespace {

QList<double> speeds(std::initializer_list<double> multiples, double oneX)
{
    QList<double> list;
    for (double m : multiples)
        list.append(m * oneX);
    return list;
}

QMap<QString, bool> everyCapability()
{
    QMap<QString, bool> caps;
    for (const QString &key :
         {DRCaps::canWriteCD, DRCaps::canWriteCDR, DRCaps::canWriteCDRW, DRCaps::canWriteCDText,
          DRCaps::canWriteCDSAO, DRCaps::canWriteCDTAO, DRCaps::canTestWriteCD, DRCaps::canTestWriteDVD,
          DRCaps::canUnderrunProtectCD, DRCaps::canUnderrunProtectDVD, DRCaps::canWriteDVDR,
          DRCaps::canWriteDVDRW, DRCaps::canWriteDVDPlusR, DRCaps::canWriteDVDPlusRW, DRCaps::canWriteBDR,
          DRCaps::canWriteBDRE})
        caps.insert(key, true);
    // No virtual medium needs these.
    caps.insert(DRCaps::canWriteDVDRAM, false);
    caps.insert(DRCaps::canWriteDVDPlusRDoubleLayer, false);
    caps.insert(DRCaps::canWriteDVDRDualLayer, false);
    return caps;
}

} // namespace

class VirtualDiscService::Burner final : public DiscDevice
{
public:
    DeviceInfo info() const override
    {
        return {QStringLiteral("virtual:%1").arg(number), QStringLiteral("Virtual"), everyCapability()};
    }
    QString displayName() const override { return QStringLiteral("KLVO Virtual Burner %1").arg(number); }
    std::optional<DeviceStatus> status() const override { return tray; }
    void ejectMedia() override
    {
        if (service)
            service->eject(number);
    }

    int number = 0;
    Medium chosen = CDR;
    DeviceStatus tray = blankStatus(CDR);
    QPointer<VirtualDiscService> service;
};

VirtualDiscService::VirtualDiscService(int count, QObject *parent) : DiscService(parent)
{
    for (int i = 0; i < count; ++i) {
        auto burner = std::make_shared<Burner>();
        burner->number = ++m_lastNumber;
        burner->service = this;
        m_burners.append(burner);
    }
}

VirtualDiscService::~VirtualDiscService() = default;

QList<DiscDeviceRef> VirtualDiscService::devices() const
{
    QList<DiscDeviceRef> list;
    for (const auto &burner : m_burners)
        list.append(burner);
    return list;
}

std::unique_ptr<DiscJob> VirtualDiscService::burn(const DiscDeviceRef &, const BurnProperties &, const BurnLayout &)
{
    return nullptr;
}

std::unique_ptr<DiscJob> VirtualDiscService::erase(const DiscDeviceRef &, EraseType)
{
    return nullptr;
}

std::optional<BurnLayout> VirtualDiscService::layoutForImageFile(const QString &)
{
    return std::nullopt;
}

DeviceStatus VirtualDiscService::blankStatus(Medium medium)
{
    DeviceStatus s;
    if (medium == NoDisc) {
        s.mediaState = MediaState::none;
        return s;
    }
    s.mediaState = MediaState::present;
    s.blank = true;
    const QList<double> cd = speeds({4, 8, 16, 24, 48}, DRUnits::cd1x);
    const QList<double> dvd = speeds({4, 8, 16}, DRUnits::dvd1x);
    const QList<double> bd = speeds({2, 4, 6}, DRUnits::bd1x);
    switch (medium) {
    case NoDisc:
        break;
    case CDR:
    case CDRW:
        s.mediaType = medium == CDR ? QStringLiteral("CDR") : QStringLiteral("CDRW");
        s.freeFrames = 80 * 60 * 75; // 80 minutes
        s.blocksFree = s.freeFrames;
        s.burnSpeeds = cd;
        s.erasable = medium == CDRW;
        break;
    case DVDR:
        s.mediaType = QStringLiteral("DVDR");
        s.blocksFree = 2'298'496;
        s.burnSpeeds = dvd;
        break;
    case DVDPlusRW:
        s.mediaType = QStringLiteral("DVDPlusRW");
        s.blocksFree = 2'295'104;
        s.burnSpeeds = dvd;
        s.erasable = true;
        break;
    case BDR:
        s.mediaType = QStringLiteral("BDR");
        s.blocksFree = 12'219'392;
        s.burnSpeeds = bd;
        break;
    }
    return s;
}

std::shared_ptr<VirtualDiscService::Burner> VirtualDiscService::find(int number) const
{
    for (const auto &burner : m_burners) {
        if (burner->number == number)
            return burner;
    }
    return {};
}

void VirtualDiscService::post(void (DiscService::*signal)())
{
    QMetaObject::invokeMethod(this, [this, signal] { (this->*signal)(); }, Qt::QueuedConnection);
}

int VirtualDiscService::plugBurner()
{
    auto burner = std::make_shared<Burner>();
    burner->number = ++m_lastNumber;
    burner->service = this;
    m_burners.append(burner);
    post(&DiscService::devicesChanged);
    return burner->number;
}

bool VirtualDiscService::unplugBurner(int number)
{
    const auto burner = find(number);
    if (!burner)
        return false;
    burner->service = nullptr;
    m_burners.removeOne(burner);
    post(&DiscService::devicesChanged);
    return true;
}

QList<int> VirtualDiscService::burnerNumbers() const
{
    QList<int> numbers;
    for (const auto &burner : m_burners)
        numbers.append(burner->number);
    return numbers;
}

bool VirtualDiscService::setMedium(int number, Medium medium)
{
    const auto burner = find(number);
    if (!burner)
        return false;
    burner->chosen = medium;
    burner->tray = blankStatus(medium);
    post(&DiscService::deviceStatusChanged);
    return true;
}

bool VirtualDiscService::insertBlank(int number)
{
    const auto burner = find(number);
    if (!burner)
        return false;
    burner->tray = blankStatus(burner->chosen);
    post(&DiscService::deviceStatusChanged);
    return true;
}

bool VirtualDiscService::eject(int number)
{
    const auto burner = find(number);
    if (!burner)
        return false;
    burner->tray = blankStatus(NoDisc);
    post(&DiscService::deviceStatusChanged);
    return true;
}

VirtualDiscService::Medium VirtualDiscService::medium(int number) const
{
    const auto burner = find(number);
    return burner ? burner->chosen : NoDisc;
}

bool VirtualDiscService::hasDisc(int number) const
{
    const auto burner = find(number);
    return burner && burner->tray.mediaState == MediaState::present;
}

QString VirtualDiscService::outputFolder(int number) const
{
    if (!find(number))
        return {};
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return {};
    const QString folder =
        QDir(data).filePath(QStringLiteral("KLVO Tandor/Virtual Burners/Burner %1").arg(number));
    return QDir().mkpath(folder) ? folder : QString();
}
