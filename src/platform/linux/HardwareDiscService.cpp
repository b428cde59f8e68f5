#include "platform/linux/HardwareDiscService.h"
#include "platform/udif/UdifTrack.h"

#include "base/TDError.h"
#include "platform/linux/DriveAccess.h"
#include "platform/linux/DriveFacts.h"
#include "platform/linux/LibburnJob.h"
#include "platform/linux/LibburnWorker.h"
#include "platform/linux/OpticalDiscs.h"
#include "platform/linux/ScsiCdReader.h"
#include "base/OffMain.h"
#include "platform/sheets/DiscSheet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>

#include <libudev.h>

Q_LOGGING_CATEGORY(lcHardwareDiscs, "tandor.drives", QtWarningMsg)

namespace {

// Drives udev doesn't know are asked about their tray this often, as the
// kernel asks the drives it knows.
constexpr int trayPollMs = 2000;

// A drive still settling its disc is asked again this often, a few times.
constexpr int settleRetryMs = 1000;
constexpr int settleRetries = 10;

QMap<QString, QString> udevProperties(udev_device *device)
{
    QMap<QString, QString> properties;
    for (udev_list_entry *e = udev_device_get_properties_list_entry(device); e; e = udev_list_entry_get_next(e))
        properties.insert(QString::fromUtf8(udev_list_entry_get_name(e)), QString::fromUtf8(udev_list_entry_get_value(e)));
    return properties;
}

} // namespace

struct HardwareDiscService::Udev
{
    udev *context = nullptr;
    udev_monitor *monitor = nullptr;
    ~Udev()
    {
        if (monitor)
            udev_monitor_unref(monitor);
        if (context)
            udev_unref(context);
    }
};

class HardwareDiscService::Drive final : public DiscDevice, public std::enable_shared_from_this<Drive>
{
public:
    DeviceInfo info() const override { return infoValue; }
    QString displayName() const override { return name; }
    std::optional<DeviceStatus> status() const override
    {
        if (!reading)
            return std::nullopt;
        DeviceStatus s = *reading;
        if (s.mediaState == MediaState::present) {
            // A drive udev doesn't know is read by its path as soon as
            // libburn sees the disc.
            if (syspath.isEmpty())
                s.bsdName = DriveAccess::nodeOf(address);
            else if (medium.systemHasDisc)
                s.bsdName = devnodeName;
        }
        return s;
    }
    void ejectMedia() override
    {
        if (service && plugged)
            service->request(shared_from_this(), true);
    }
    QString accessProblem() const override { return problem; }

    QString address;     // libburn's
    QString syspath;     // udev's; empty for an extra address
    QString devnodeName; // "sr0"; empty for an extra address
    DeviceInfo infoValue;
    QString name;
    std::optional<DeviceStatus> reading;
    QString problem; // from the last reading
    DriveFacts::UdevMedium medium; // as udev last described it
    QPointer<HardwareDiscService> service;
    bool plugged = true;
    bool busy = false; // a request is with the libburn thread
    bool inJob = false; // a burn or erase holds the drive
    bool readAgain = false;
    bool ejectAgain = false;
    // The first reading after a job is told even when it looks the same: a
    // blank swapped in at once for the disc just burnt reads like the last.
    bool afterJob = false;
    int unsettled = 0;
    std::optional<OpticalDiscs::Tray> tray; // an extra drive's, as last polled
};

HardwareDiscService::HardwareDiscService(const QStringList &extraAddresses, QObject *parent)
    : DiscService(parent), m_worker(LibburnWorker::shared()), m_udev(std::make_unique<Udev>())
{
    m_udev->context = udev_new();
    if (m_udev->context) {
        // Listen before listing, so a drive plugged in between is not missed;
        // its "add" for a drive already listed is ignored.
        m_udev->monitor = udev_monitor_new_from_netlink(m_udev->context, "udev");
        if (m_udev->monitor
            && (udev_monitor_filter_add_match_subsystem_devtype(m_udev->monitor, "block", "disk") < 0
                || udev_monitor_enable_receiving(m_udev->monitor) < 0)) {
            udev_monitor_unref(m_udev->monitor);
            m_udev->monitor = nullptr;
        }
        if (m_udev->monitor) {
            m_notifier = new QSocketNotifier(udev_monitor_get_fd(m_udev->monitor), QSocketNotifier::Read, this);
            connect(m_notifier, &QSocketNotifier::activated, this, &HardwareDiscService::readUdevEvents);
        } else {
            qCWarning(lcHardwareDiscs) << "udev monitor unavailable: burners plugged in later won't be seen";
        }
        enumerateUdev();
    } else {
        qCWarning(lcHardwareDiscs) << "udev unavailable: only extra drive addresses are listed";
    }

    QStringList seen;
    for (const QString &raw : extraAddresses) {
        const QString address = raw.trimmed();
        if (address.isEmpty() || seen.contains(address))
            continue;
        seen.append(address);
        auto drive = std::make_shared<Drive>();
        drive->service = this;
        drive->address = address;
        drive->infoValue.ioPath = address;
        if (address.startsWith(QLatin1String("stdio:"))) {
            const QString file = QFileInfo(address.mid(6)).fileName();
            drive->name = (QStringLiteral("Image file ") + file).trimmed();
            drive->infoValue.bus = QStringLiteral("File");
        } else {
            drive->name = address;
        }
        m_extraDrives.append(drive);
    }

    for (const DriveRef &drive : m_udevDrives)
        request(drive, false);
    for (const DriveRef &drive : m_extraDrives)
        request(drive, false);

    if (std::any_of(m_extraDrives.begin(), m_extraDrives.end(),
                    [](const DriveRef &d) { return !DriveAccess::nodeOf(d->address).isEmpty(); })) {
        auto *poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, &HardwareDiscService::pollTrays);
        poll->start(trayPollMs);
    }
}

void HardwareDiscService::pollTrays()
{
    QList<DriveRef> idle;
    for (const DriveRef &drive : std::as_const(m_extraDrives))
        if (!drive->busy && !drive->inJob && !DriveAccess::nodeOf(drive->address).isEmpty())
            idle.append(drive);
    if (idle.isEmpty() || m_polling)
        return;
    m_polling = true;
    QStringList nodes;
    for (const DriveRef &drive : idle)
        nodes.append(drive->address);
    offMain(this, [nodes] {
        QList<std::optional<OpticalDiscs::Tray>> trays;
        for (const QString &node : nodes)
            trays.append(OpticalDiscs::tray(node));
        return trays;
    }, [this, idle](const QList<std::optional<OpticalDiscs::Tray>> &trays) {
        m_polling = false;
        for (int i = 0; i < idle.size(); ++i) {
            const DriveRef &drive = idle[i];
            const std::optional<OpticalDiscs::Tray> &now = trays[i];
            // Against the last poll (if one ran while the drive was idle), and
            // against the last reading: libburn asks for the drive's events
            // too, and may take one first.
            const bool seen = drive->reading && drive->reading->mediaState == MediaState::present;
            const bool moved = now
                               && (now->changed || now->present != seen
                                   || (drive->tray && (now->present != drive->tray->present || now->open != drive->tray->open)));
            if (now)
                drive->tray = now;
            // A disc went in or out while nothing of ours held the drive.
            if (moved && drive->plugged && !drive->inJob)
                request(drive, false);
        }
    });
}

HardwareDiscService::~HardwareDiscService()
{
    for (const DriveRef &drive : std::as_const(m_udevDrives))
        drive->plugged = false;
    for (const DriveRef &drive : std::as_const(m_extraDrives))
        drive->plugged = false;
}

QList<DiscDeviceRef> HardwareDiscService::devices() const
{
    QList<DiscDeviceRef> list;
    list.reserve(m_udevDrives.size() + m_extraDrives.size());
    for (const DriveRef &drive : m_udevDrives)
        list.append(drive);
    for (const DriveRef &drive : m_extraDrives)
        list.append(drive);
    return list;
}

HardwareDiscService::DriveRef HardwareDiscService::jobDrive(const DiscDeviceRef &device) const
{
    for (const QList<DriveRef> *list : {&m_udevDrives, &m_extraDrives}) {
        for (const DriveRef &drive : *list) {
            if (drive == device)
                return drive->plugged && !drive->inJob ? drive : DriveRef();
        }
    }
    return {};
}

void HardwareDiscService::jobEnded(const DriveRef &drive)
{
    drive->inJob = false;
    drive->afterJob = true;
    // The disc has changed (or left): read it again, after any eject asked
    // for meanwhile.
    if (drive->ejectAgain) {
        drive->ejectAgain = false;
        drive->readAgain = false;
        request(drive, true);
    } else {
        drive->readAgain = false;
        request(drive, false);
    }
}

std::unique_ptr<DiscJob> HardwareDiscService::burn(const DiscDeviceRef &device, const BurnProperties &properties,
                                                   const BurnLayout &layout)
{
    const DriveRef drive = jobDrive(device);
    if (!drive)
        return nullptr;
    if (layout.cueSheet.isEmpty()) {
        if (layout.tracks.isEmpty())
            return nullptr;
        for (const BurnTrack &track : layout.tracks) {
            if (!track.producer)
                return nullptr;
        }
    }
    drive->inJob = true;
    std::weak_ptr<Drive> weak = drive;
    QPointer<HardwareDiscService> self(this);
    return LibburnJob::startBurn(m_worker, drive->address, properties, layout, [self, weak] {
        if (DriveRef d = weak.lock(); d && self)
            self->jobEnded(d);
    });
}

std::unique_ptr<DiscJob> HardwareDiscService::erase(const DiscDeviceRef &device, EraseType type)
{
    const DriveRef drive = jobDrive(device);
    if (!drive)
        return nullptr;
    drive->inJob = true;
    std::weak_ptr<Drive> weak = drive;
    QPointer<HardwareDiscService> self(this);
    return LibburnJob::startErase(m_worker, drive->address, type, [self, weak] {
        if (DriveRef d = weak.lock(); d && self)
            self->jobEnded(d);
    });
}

std::optional<BurnLayout> HardwareDiscService::layoutForImageFile(const QString &path)
{
    if (!DiscSheet::isSheetName(path))
        return UdifTrack::layout(path);
    const QFileInfo info(path);
    if (!info.isFile())
        return std::nullopt;
    QString text;
    try {
        text = DiscSheet::cueTextFor(info.absoluteFilePath());
    } catch (const TDError &) {
        return std::nullopt;
    }
    const std::optional<QStringList> files = DriveFacts::cueSheetFiles(text);
    if (!files)
        return std::nullopt;
    for (const QString &name : *files) {
        if (!QFileInfo(info.absoluteDir(), name).isFile())
            return std::nullopt;
    }
    BurnLayout layout;
    layout.cueSheet = info.absoluteFilePath();
    // libburn reads some cue sheets our reader turns down; those burn with
    // their size unknown here.
    try {
        layout.sheetSectors = DiscSheet::read(layout.cueSheet).discSectors();
    } catch (const TDError &) {
    }
    return layout;
}

std::unique_ptr<CdReader> HardwareDiscService::openCd(const DiscDeviceRef &device)
{
    const DriveRef drive = jobDrive(device);
    if (!drive)
        return nullptr;
    const QString node = DriveAccess::nodeOf(drive->address);
    const std::optional<DeviceStatus> s = drive->status();
    if (node.isEmpty() || !s || s->mediaState != MediaState::present || s->blank
        || !s->mediaType.startsWith(QLatin1String("CD")))
        return nullptr;
    return std::make_unique<ScsiCdReader>(node);
}

void HardwareDiscService::refresh()
{
    for (const QList<DriveRef> *list : {&m_udevDrives, &m_extraDrives}) {
        for (const DriveRef &drive : *list)
            request(drive, false);
    }
}

bool HardwareDiscService::watchesHotPlug() const
{
    return m_notifier != nullptr;
}

void HardwareDiscService::enumerateUdev()
{
    udev_enumerate *en = udev_enumerate_new(m_udev->context);
    if (!en)
        return;
    udev_enumerate_add_match_subsystem(en, "block");
    udev_enumerate_add_match_property(en, "ID_CDROM", "1");
    udev_enumerate_scan_devices(en);
    for (udev_list_entry *e = udev_enumerate_get_list_entry(en); e; e = udev_list_entry_get_next(e)) {
        udev_device *device = udev_device_new_from_syspath(m_udev->context, udev_list_entry_get_name(e));
        if (!device)
            continue;
        if (!driveFor(device)) {
            if (DriveRef drive = makeDrive(device))
                addUdevDrive(drive);
        }
        udev_device_unref(device);
    }
    udev_enumerate_unref(en);
}

HardwareDiscService::DriveRef HardwareDiscService::makeDrive(udev_device *device)
{
    const char *devnode = udev_device_get_devnode(device);
    if (!devnode)
        return {};
    auto drive = std::make_shared<Drive>();
    drive->service = this;
    drive->address = QString::fromLocal8Bit(devnode);
    drive->syspath = QString::fromLocal8Bit(udev_device_get_syspath(device));
    drive->devnodeName = QString::fromLocal8Bit(udev_device_get_sysname(device));
    const QMap<QString, QString> p = udevProperties(device);
    drive->infoValue.ioPath = p.value(QStringLiteral("ID_PATH"));
    drive->infoValue.bus = DriveFacts::busName(p.value(QStringLiteral("ID_BUS")),
                                               p.value(QStringLiteral("ID_ATA_SATA")) == QLatin1String("1"));
    drive->name = DriveFacts::driveName(p.value(QStringLiteral("ID_VENDOR")), p.value(QStringLiteral("ID_MODEL")));
    drive->medium = DriveFacts::udevMedium(p);
    return drive;
}

HardwareDiscService::DriveRef HardwareDiscService::driveFor(udev_device *device) const
{
    const QString syspath = QString::fromLocal8Bit(udev_device_get_syspath(device));
    for (const DriveRef &drive : m_udevDrives) {
        if (drive->syspath == syspath)
            return drive;
    }
    return {};
}

void HardwareDiscService::addUdevDrive(const DriveRef &drive)
{
    // "sr2" before "sr10": shorter names first, then by name.
    const auto before = [](const DriveRef &a, const DriveRef &b) {
        if (a->devnodeName.size() != b->devnodeName.size())
            return a->devnodeName.size() < b->devnodeName.size();
        return a->devnodeName < b->devnodeName;
    };
    m_udevDrives.insert(std::upper_bound(m_udevDrives.begin(), m_udevDrives.end(), drive, before), drive);
}

void HardwareDiscService::readUdevEvents()
{
    while (udev_device *device = udev_monitor_receive_device(m_udev->monitor)) {
        const QString action = QString::fromUtf8(udev_device_get_action(device));
        const QMap<QString, QString> properties = udevProperties(device);
        const DriveRef known = driveFor(device);
        const DriveFacts::UdevPlan plan =
            DriveFacts::planUdevEvent(action, properties, bool(known), known ? known->medium : DriveFacts::UdevMedium{});

        if (plan.remove) {
            known->plugged = false;
            m_udevDrives.removeOne(known);
            Q_EMIT devicesChanged();
        } else if (plan.add) {
            if (DriveRef drive = makeDrive(device)) {
                addUdevDrive(drive);
                Q_EMIT devicesChanged();
                request(drive, false);
            }
        } else if (known) {
            known->medium = DriveFacts::udevMedium(properties);
            if (plan.systemReadChanged && known->reading)
                Q_EMIT deviceStatusChanged(); // bsdName came or went
            if (plan.reread)
                request(known, false);
        }
        udev_device_unref(device);
    }
}

void HardwareDiscService::request(const DriveRef &drive, bool eject)
{
    if (!drive->plugged)
        return;
    if (drive->busy || drive->inJob) {
        // One request per drive at a time; a second one runs after it.
        (eject ? drive->ejectAgain : drive->readAgain) = true;
        return;
    }
    drive->busy = true;
    std::weak_ptr<Drive> weak = drive;
    m_worker->submit(drive->address, eject ? LibburnWorker::Action::ejectThenRead : LibburnWorker::Action::read,
                     this, [this, weak, eject](const DriveReading &reading) {
                         if (DriveRef drive = weak.lock())
                             received(drive, eject, reading);
                     });
}

void HardwareDiscService::received(const DriveRef &drive, bool wasEject, const DriveReading &reading)
{
    drive->busy = false;
    if (!drive->plugged)
        return;

    const DeviceInfo infoBefore = drive->info();
    const std::optional<DeviceStatus> statusBefore = drive->status();
    const QString problemBefore = drive->problem;
    drive->problem = reading.grabbed ? QString() : reading.problem;
    if (reading.grabbed) {
        if (!reading.writeCaps.isEmpty()) // empty: not asked of a drive still spinning up
            drive->infoValue.writeCaps = reading.writeCaps;
        drive->reading = reading.status;
    } else {
        // Capabilities stay as last read: they don't change while plugged in.
        drive->reading.reset();
        qCInfo(lcHardwareDiscs) << "could not read" << drive->address << reading.error;
    }

    if (reading.grabbed && !reading.settled && drive->unsettled < settleRetries) {
        ++drive->unsettled;
        std::weak_ptr<Drive> weak = drive;
        QTimer::singleShot(settleRetryMs, this, [this, weak] {
            if (DriveRef d = weak.lock())
                request(d, false);
        });
    } else if (reading.settled) {
        drive->unsettled = 0;
    }

    if (std::exchange(drive->afterJob, false) || wasEject || drive->info() != infoBefore
        || drive->status() != statusBefore || drive->problem != problemBefore)
        Q_EMIT deviceStatusChanged();

    if (drive->ejectAgain) {
        drive->ejectAgain = false;
        drive->readAgain = false;
        request(drive, true);
    } else if (drive->readAgain) {
        drive->readAgain = false;
        request(drive, false);
    }
}
