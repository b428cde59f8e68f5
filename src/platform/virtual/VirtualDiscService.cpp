#include "platform/virtual/VirtualDiscService.h"

#include "base/TDError.h"
#include "platform/sheets/SheetProducer.h"
#include "platform/udif/UdifTrack.h"
#include "platform/virtual/VirtualBurnWorker.h"
#include "platform/virtual/VirtualCdReader.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace {

constexpr double quickEraseSeconds = 2.0;

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

// The media a tray takes by name, in menu order.
struct MediumName
{
    VirtualDiscService::Medium medium;
    const char *name;
};
constexpr MediumName mediumNames[] = {
    {VirtualDiscService::CDR, "CD-R"},   {VirtualDiscService::CDRW, "CD-RW"}, {VirtualDiscService::DVDR, "DVD-R"},
    {VirtualDiscService::DVDPlusRW, "DVD+RW"}, {VirtualDiscService::BDR, "BD-R"}, {VirtualDiscService::BDRE, "BD-RE"},
};

const QString notConnected = QStringLiteral("The burner isn't connected any more.");

int audioTracks(const DiscSheet &sheet)
{
    return int(std::count_if(sheet.tracks.cbegin(), sheet.tracks.cend(),
                             [](const SheetTrack &t) { return t.mode == SheetTrack::Mode::audio; }));
}

bool isCD(VirtualDiscService::Medium medium)
{
    return medium == VirtualDiscService::CDR || medium == VirtualDiscService::CDRW;
}

// Sectors still free on the disc in the tray, in the unit the medium counts.
qint64 freeSectors(const DeviceStatus &s)
{
    return s.freeFrames.value_or(s.blocksFree.value_or(0));
}

// The write speed a drive settles on: the fastest it offers up to the one
// asked for (the top one for 0), or its slowest when all are faster.
double pickSpeed(const QList<double> &offered, double requested)
{
    if (offered.isEmpty())
        return requested > 0 ? requested : DRUnits::cd1x;
    if (requested <= 0)
        return offered.last();
    double best = offered.first();
    for (double s : offered) {
        if (s <= requested + 1e-6)
            best = std::max(best, s);
    }
    return best;
}

// Where burner `number` puts its discs; empty when there is no data folder.
QString folderFor(int number)
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return {};
    return QDir(data).filePath(QStringLiteral("KLVO Tandor/Virtual Burners/Burner %1").arg(number));
}

// What a layout asks of the disc: whether it is audio, and its sectors.
struct LayoutNeeds
{
    bool audio = false;
    quint64 sectors = 0;
};

// nullopt for a track layout no virtual burner writes: empty, a track
// without producer or block size, or more than one image file's worth.
std::optional<LayoutNeeds> needsOf(const BurnLayout &layout)
{
    if (layout.tracks.isEmpty())
        return std::nullopt;
    int audio = 0;
    quint64 sectors = 0;
    for (const BurnTrack &t : layout.tracks) {
        if (!t.producer || t.blockSize == 0)
            return std::nullopt;
        audio += t.kind == BurnTrack::Kind::audio;
        sectors += t.preGapFrames + t.lengthBlocks;
    }
    // One image file per disc: all audio (BIN/CUE) or a single data track.
    if (audio != layout.tracks.size() && layout.tracks.size() != 1)
        return std::nullopt;
    return LayoutNeeds{audio > 0, sectors};
}

// The tracks of a sheet as a burner writes them. Track 1's PREGAP lies in
// the lead-in, before LBA 0, so disc addresses (which Mode 1 headers carry)
// count from the sector after it; the lead-in's own wrap below zero.
QList<BurnTrack> burnTracks(const DiscSheet &sheet)
{
    QList<BurnTrack> tracks = SheetProducer::tracksOf(sheet);
    qint64 at = sheet.tracks.isEmpty() ? 0 : -qint64(sheet.tracks.first().preGap);
    for (int i = 0; i < tracks.size(); ++i) {
        tracks[i].producer = std::make_shared<SheetProducer>(sheet.tracks[i], quint32(at));
        at += qint64(sheet.tracks[i].discSectors());
    }
    return tracks;
}

// Why a burn of `sectors` can't go on the disc in `tray`; empty when it can.
// `needsCd` says why the burn needs a CD, when it does.
QString burnRefusal(const DeviceStatus &tray, bool cd, const QString &needsCd, quint64 sectors)
{
    const qint64 free = freeSectors(tray);
    if (tray.mediaState != MediaState::present)
        return QStringLiteral("There's no disc in the burner.");
    if (!needsCd.isEmpty() && !cd)
        return needsCd;
    if (!tray.blank && free <= 0)
        return tray.erasable ? QStringLiteral("The disc in the burner isn't blank. Erase it first.")
                             : QStringLiteral("The disc in the burner isn't blank.");
    if (sectors > quint64(free))
        return QStringLiteral("The disc is too small: this burn needs %1 blocks and the disc has %2 free.")
            .arg(sectors)
            .arg(free);
    return {};
}

// The disc a real burn of `sectors` leaves of `tray`: no longer blank, and
// full unless it was left appendable.
DeviceStatus writtenDisc(DeviceStatus tray, bool appendable, quint64 sectors)
{
    tray.blank = false;
    const auto left = [&](std::optional<qint64> free) -> std::optional<qint64> {
        if (!free)
            return free;
        return appendable ? std::max<qint64>(0, *free - qint64(sectors)) : 0;
    };
    tray.freeFrames = left(tray.freeFrames);
    tray.blocksFree = left(tray.blocksFree);
    return tray;
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
    Medium loaded = CDR; // the kind of disc in the tray
    DeviceStatus tray = blankStatus(CDR);
    QPointer<VirtualDiscService> service;
    bool busy = false;
    std::optional<double> failAt;
    int ejects = 0; // tells an auto-insert whether another eject came since
    std::optional<DiscSheet> sheet; // the CD in the tray, when a sheet describes it
    std::shared_ptr<VirtualTrayStamp> stamp = std::make_shared<VirtualTrayStamp>();
};

// One burn or erase. The worker touches only the VirtualControl part; the
// rest is the main thread's.
struct VirtualDiscService::Run : VirtualControl
{
    ~Run()
    {
        // finish() or the service's destructor has joined it; this is a last
        // guard, never reached from the worker itself.
        if (thread.joinable() && thread.get_id() != std::this_thread::get_id())
            thread.join();
    }

    std::shared_ptr<Burner> burner;
    bool erase = false;
    bool test = false;
    bool eject = false;
    bool appendable = false;
    quint64 sectors = 0; // what the burn takes of the disc
    // Track 1's pre-gap sectors a drive writes into the lead-in, before LBA
    // 0: the BIN holds them, a read of the disc doesn't give them.
    quint32 leadIn = 0;
    Medium kind = NoDisc;
    std::thread thread;
    // Set by the worker thread once it has nothing left to do but exit.
    std::shared_ptr<std::atomic<bool>> exited = std::make_shared<std::atomic<bool>>(false);
    QPointer<DiscJob> job;
    bool ended = false;
};

class VirtualDiscService::Job final : public DiscJob
{
public:
    explicit Job(std::shared_ptr<Run> run) : m_run(std::move(run)) {}
    // The worker stops at its next block and cleans up; nothing more is
    // emitted to a destroyed job.
    ~Job() override
    {
        if (!m_run->ended && !m_run->erase)
            m_run->requestStop(VirtualControl::aborted);
    }
    void abort() override
    {
        if (m_run->erase || m_run->ended)
            return;
        m_run->requestStop(VirtualControl::aborted);
        // A real burn stopped part-way leaves a disc that is no longer
        // blank; the tray says so at once, so nothing queued tries it.
        VirtualDiscService *service = m_run->burner->service;
        if (!m_run->test && service && service->m_burners.contains(m_run->burner)) {
            DeviceStatus ruined = m_run->burner->tray;
            ruined.blank = false;
            ruined.freeFrames = 0;
            ruined.blocksFree = 0;
            service->setTray(*m_run->burner, m_run->kind, ruined);
            service->post(&DiscService::deviceStatusChanged);
        }
    }
    void report(const JobStatus &status) { Q_EMIT statusChanged(status); }

private:
    std::shared_ptr<Run> m_run;
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

VirtualDiscService::~VirtualDiscService()
{
    for (const auto &run : m_runs)
        run->requestStop(VirtualControl::aborted);
    for (const auto &run : m_runs) {
        if (run->thread.joinable())
            run->thread.join();
    }
    for (Ending &ending : m_ending)
        ending.thread.join();
}

QList<DiscDeviceRef> VirtualDiscService::devices() const
{
    QList<DiscDeviceRef> list;
    for (const auto &burner : m_burners)
        list.append(burner);
    return list;
}

std::shared_ptr<VirtualDiscService::Burner> VirtualDiscService::ours(const DiscDeviceRef &device) const
{
    for (const auto &burner : m_burners) {
        if (burner == device)
            return burner;
    }
    return {};
}

std::unique_ptr<DiscJob> VirtualDiscService::burn(const DiscDeviceRef &device, const BurnProperties &properties,
                                                  const BurnLayout &layout)
{
    const auto burner = ours(device);
    if (!burner || burner->busy)
        return nullptr;
    // A sheet is read again here, as it may have changed since it was
    // chosen; one that no longer reads gives a failed job saying why.
    std::optional<DiscSheet> sheet;
    QString sheetError;
    std::optional<LayoutNeeds> needs;
    if (!layout.cueSheet.isEmpty()) {
        if (!layout.tracks.isEmpty())
            return nullptr;
        try {
            sheet = DiscSheet::read(layout.cueSheet);
            needs = LayoutNeeds{true, sheet->discSectors()};
        } catch (const TDError &e) {
            sheetError = e.text();
            needs = LayoutNeeds{true, 0};
        }
    } else {
        needs = needsOf(layout);
    }
    if (!needs)
        return nullptr;

    auto run = std::make_shared<Run>();
    run->burner = burner;
    run->test = properties.test;
    run->eject = properties.completion == CompletionAction::eject;
    run->appendable = properties.appendable;
    run->sectors = needs->sectors;
    if (sheet && !sheet->tracks.isEmpty())
        run->leadIn = sheet->tracks.first().preGap;
    else if (!layout.tracks.isEmpty() && needs->audio)
        run->leadIn = layout.tracks.first().preGapFrames;
    run->kind = burner->loaded;

    const DeviceStatus &tray = burner->tray;
    const QString needsCd = sheet || !sheetError.isEmpty()
                                ? QStringLiteral("A cue or toc sheet burns a CD. Insert a blank CD-R.")
                            : needs->audio ? QStringLiteral("Audio tracks need a CD. Insert a blank CD-R.")
                                           : QString();
    const QString refusal =
        !sheetError.isEmpty() ? sheetError : burnRefusal(tray, isCD(burner->loaded), needsCd, needs->sectors);

    VirtualBurnPlan plan;
    plan.tracks = sheet ? burnTracks(*sheet) : layout.tracks;
    plan.audio = needs->audio;
    plan.sheet = sheet;
    plan.test = properties.test;
    plan.verify = properties.verify;
    // A sheet carries its own CD-Text, as it does for a real burner.
    plan.cdText = sheet ? std::nullopt : properties.cdText;
    plan.catalog = properties.catalog;
    plan.folder = folderFor(burner->number);
    plan.unitBytes = isCD(burner->loaded) ? VirtualBurnPlan::cdSectorBytes : 2048;
    if (!m_unthrottled) {
        plan.writeSpeed = pickSpeed(tray.burnSpeeds, properties.requestedSpeed);
        plan.verifySpeed = pickSpeed(tray.burnSpeeds, 0);
    }
    plan.failAt = std::exchange(burner->failAt, std::nullopt);

    auto job = start(run, refusal);
    if (refusal.isEmpty()) {
        const VirtualSend send = [this, run](const JobStatus &status, bool final) {
            QMetaObject::invokeMethod(
                this, [this, run, status, final] { final ? finish(run, status) : deliver(run, status); },
                Qt::QueuedConnection);
        };
        run->thread = std::thread([worker = std::make_unique<VirtualBurnWorker>(std::move(plan), *run, send),
                                   exited = run->exited]() mutable {
            worker->run();
            worker.reset();
            exited->store(true, std::memory_order_release);
        });
    }
    return job;
}

std::unique_ptr<DiscJob> VirtualDiscService::erase(const DiscDeviceRef &device, EraseType type)
{
    const auto burner = ours(device);
    if (!burner || burner->busy)
        return nullptr;
    auto run = std::make_shared<Run>();
    run->burner = burner;
    run->erase = true;
    run->kind = burner->loaded;
    QString refusal;
    if (burner->tray.mediaState != MediaState::present)
        refusal = QStringLiteral("There's no disc in the burner.");
    else if (!burner->tray.erasable)
        refusal = QStringLiteral("This disc can't be erased.");

    // A complete erase writes the whole disc at the top speed.
    const DeviceStatus blank = blankStatus(burner->loaded);
    const double unit = isCD(burner->loaded) ? VirtualBurnPlan::cdSectorBytes : 2048;
    const double top = pickSpeed(blank.burnSpeeds, 0);
    const double seconds = m_unthrottled               ? 0
                           : type == EraseType::quick ? quickEraseSeconds
                                                       : double(freeSectors(blank)) * unit / (top * 1000.0);
    auto job = start(run, refusal);
    if (refusal.isEmpty()) {
        const VirtualSend send = [this, run](const JobStatus &status, bool final) {
            QMetaObject::invokeMethod(
                this, [this, run, status, final] { final ? finish(run, status) : deliver(run, status); },
                Qt::QueuedConnection);
        };
        run->thread = std::thread([seconds, send, control = run.get(), exited = run->exited] {
            VirtualBurnWorker::erase(seconds, *control, send);
            exited->store(true, std::memory_order_release);
        });
    }
    return job;
}

std::unique_ptr<DiscJob> VirtualDiscService::start(const std::shared_ptr<Run> &run, const QString &refusal)
{
    reap();
    auto job = std::make_unique<Job>(run);
    run->job = job.get();
    run->burner->busy = true;
    m_runs.append(run);
    // A reader of the disc must not go on as if nothing was happening to it.
    if (refusal.isEmpty())
        ++run->burner->stamp->changes;
    if (!refusal.isEmpty()) {
        // Reported later: a job emits nothing before it is handed out.
        const JobStatus status{DiscJobState::failed, -1, 0, 0, refusal, {}, {}};
        QMetaObject::invokeMethod(this, [this, run, status] { finish(run, status); }, Qt::QueuedConnection);
    }
    return job;
}

void VirtualDiscService::deliver(const std::shared_ptr<Run> &run, const JobStatus &status)
{
    if (run->ended)
        return;
    if (auto *job = static_cast<Job *>(run->job.data()))
        job->report(status);
}

void VirtualDiscService::finish(const std::shared_ptr<Run> &run, const JobStatus &status)
{
    if (run->ended)
        return;
    run->ended = true;
    // The worker may still be freeing its buffer and closing files; joining
    // here would hold the main thread until it gets a CPU again.
    if (run->thread.joinable())
        m_ending.push_back({std::move(run->thread), run->exited});
    reap();
    m_runs.removeOne(run);
    const auto burner = run->burner;
    burner->busy = false;

    if (status.state == DiscJobState::done && (run->erase || !run->test) && m_burners.contains(burner)) {
        if (run->erase) {
            setTray(*burner, run->kind, blankStatus(run->kind));
        } else if (run->eject) {
            setTray(*burner, NoDisc, blankStatus(NoDisc));
            scheduleAutoInsert(burner);
        } else {
            // The disc stays in and the system "reads" it: its file stands
            // where a real disc's block device would.
            DeviceStatus written = writtenDisc(burner->tray, run->appendable, run->sectors);
            written.bsdName = run->written;
            std::optional<DiscSheet> sheet;
            if (DiscSheet::isSheetName(run->written)) {
                try {
                    sheet = DiscSheet::read(run->written);
                    written.audioTracks = audioTracks(*sheet);
                    if (!sheet->tracks.isEmpty()) {
                        SheetTrack &first = sheet->tracks.first();
                        const quint32 hidden = std::min(first.fileGap, run->leadIn);
                        first.fileGap -= hidden;
                        first.preGap += hidden;
                    }
                } catch (const TDError &) {
                    // Gone already: the disc reads as data, like one a drive can't make out.
                }
            }
            setTray(*burner, run->kind, written, std::move(sheet));
        }
        post(&DiscService::deviceStatusChanged);
    }
    if (auto *job = static_cast<Job *>(run->job.data()))
        job->report(status);
}

void VirtualDiscService::reap()
{
    std::erase_if(m_ending, [](Ending &ending) {
        if (!ending.exited->load(std::memory_order_acquire))
            return false;
        ending.thread.join(); // past its last statement: returns at once
        return true;
    });
}

std::optional<BurnLayout> VirtualDiscService::layoutForImageFile(const QString &path)
{
    if (DiscSheet::isSheetName(path))
        return sheetLayout(path);
    return UdifTrack::layout(path);
}

std::optional<BurnLayout> VirtualDiscService::sheetLayout(const QString &path)
{
    BurnLayout layout;
    try {
        layout.sheetSectors = DiscSheet::read(path).discSectors();
    } catch (const TDError &) {
        return std::nullopt;
    }
    layout.cueSheet = QFileInfo(path).absoluteFilePath();
    return layout;
}

std::unique_ptr<CdReader> VirtualDiscService::openCd(const DiscDeviceRef &device)
{
    const auto burner = ours(device);
    if (!burner || burner->busy || !burner->sheet)
        return nullptr;
    return std::make_unique<VirtualCdReader>(*burner->sheet, burner->displayName(), burner->stamp);
}

QStringList VirtualDiscService::trayMedia(const DiscDeviceRef &device) const
{
    QStringList names;
    if (ours(device)) {
        for (const MediumName &m : mediumNames)
            names.append(QLatin1String(m.name));
    }
    return names;
}

QString VirtualDiscService::insertMedium(const DiscDeviceRef &device, const QString &medium)
{
    const auto burner = ours(device);
    return burner ? insertMedium(burner->number, medium) : notConnected;
}

QString VirtualDiscService::insertMedium(int number, const QString &medium)
{
    const auto burner = find(number);
    if (!burner)
        return notConnected;
    for (const MediumName &m : mediumNames) {
        if (medium.compare(QLatin1String(m.name), Qt::CaseInsensitive) != 0)
            continue;
        return setMedium(number, m.medium) ? QString()
                                           : QStringLiteral("The burner is busy: change its disc once its job has ended.");
    }
    return QStringLiteral("A virtual burner takes no medium called “%1”: choose CD-R, CD-RW, DVD-R, DVD+RW, BD-R or BD-RE.")
        .arg(medium);
}

QString VirtualDiscService::insertImage(const DiscDeviceRef &device, const QString &path)
{
    const auto burner = ours(device);
    return burner ? insertImage(burner->number, path) : notConnected;
}

QString VirtualDiscService::insertImage(int number, const QString &path)
{
    const auto burner = find(number);
    if (!burner)
        return notConnected;
    if (burner->busy)
        return QStringLiteral("The burner is busy: change its disc once its job has ended.");
    const QFileInfo info(path);
    const QString file = info.absoluteFilePath();
    const QString quoted = QStringLiteral("“") + info.fileName() + QStringLiteral("”");

    Medium kind = CDR;
    std::optional<DiscSheet> sheet;
    if (DiscSheet::isSheetName(file)) {
        try {
            sheet = DiscSheet::read(file);
        } catch (const TDError &e) {
            return e.text();
        }
    } else if (info.suffix().compare(QLatin1String("iso"), Qt::CaseInsensitive) == 0) {
        QFile iso(file);
        errno = 0;
        if (info.isDir() || !iso.open(QIODevice::ReadOnly))
            return TDError::cantOpen(file, info.isDir() ? EISDIR : errno ? errno : EIO).text();
        const qint64 bytes = iso.size();
        if (bytes <= 0 || bytes % 2048 != 0)
            return quoted + QStringLiteral(" isn't an ISO image: its size isn't a whole number of 2048-byte blocks.");
        const auto fits = [bytes](Medium m) { return bytes / 2048 <= *blankStatus(m).blocksFree; };
        kind = fits(CDR) ? CDR : fits(DVDR) ? DVDR : BDR;
        if (!fits(kind))
            return quoted + QStringLiteral(" is larger than a BD-R, the largest disc a virtual burner takes.");
    } else {
        return quoted + QStringLiteral(" isn't an image a virtual burner takes: choose a .cue, .toc or .iso file.");
    }

    DeviceStatus status = blankStatus(kind);
    status.blank = false;
    if (status.freeFrames)
        status.freeFrames = 0;
    status.blocksFree = 0;
    status.bsdName = file;
    status.audioTracks = sheet ? audioTracks(*sheet) : 0;
    setTray(*burner, kind, status, std::move(sheet));
    post(&DiscService::deviceStatusChanged);
    return {};
}

void VirtualDiscService::setUnthrottled(bool unthrottled)
{
    m_unthrottled = unthrottled;
}

void VirtualDiscService::setAutoInsertSeconds(int seconds)
{
    // A day at most: the timer counts milliseconds in an int, and a value
    // hand-edited into the settings file must not wrap into a negative wait.
    m_autoInsertSeconds = std::clamp(seconds, 0, 24 * 60 * 60);
}

QStringList VirtualDiscService::readSettings(const QSettings &settings)
{
    setUnthrottled(settings.value(QStringLiteral("klvo.td.virtualUnthrottled"), false).toBool());
    setAutoInsertSeconds(settings.value(QStringLiteral("klvo.td.virtualAutoInsert"), 0).toInt());

    // An INI file gives a comma-separated value back as a list already.
    const QVariant discs = settings.value(QStringLiteral("klvo.td.virtualDiscs"));
    const QStringList entries = discs.typeId() == QMetaType::QString ? discs.toString().split(u',') : discs.toStringList();
    QStringList problems;
    for (const QString &raw : entries) {
        const QString entry = raw.trimmed();
        if (entry.isEmpty())
            continue;
        const qsizetype equals = entry.indexOf(u'=');
        bool numbered = false;
        const int number = entry.left(equals).trimmed().toInt(&numbered);
        QString what = entry.mid(equals + 1).trimmed();
        if (what.startsWith(QLatin1String("~/")))
            what = QDir::homePath() + what.mid(1);
        QString problem;
        if (equals < 0 || !numbered || what.isEmpty())
            problem = QStringLiteral("Write each as “1=/path/disc.cue” or “1=blank:CD-R”.");
        else if (!find(number))
            problem = QStringLiteral("There is no virtual burner %1.").arg(number);
        else if (what.startsWith(QLatin1String("blank:"), Qt::CaseInsensitive))
            problem = insertMedium(number, what.mid(6).trimmed());
        else
            problem = insertImage(number, what);
        if (!problem.isEmpty())
            problems.append(QStringLiteral("The virtual disc “%1” wasn't loaded. %2").arg(entry, problem));
    }
    return problems;
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
    case BDRE:
        s.mediaType = medium == BDR ? QStringLiteral("BDR") : QStringLiteral("BDRE");
        s.blocksFree = 12'219'392;
        s.burnSpeeds = bd;
        s.erasable = medium == BDRE;
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

void VirtualDiscService::setTray(Burner &burner, Medium kind, const DeviceStatus &status,
                                 std::optional<DiscSheet> sheet)
{
    burner.loaded = kind;
    burner.tray = status;
    burner.sheet = std::move(sheet);
    ++burner.stamp->changes;
}

void VirtualDiscService::scheduleAutoInsert(const std::shared_ptr<Burner> &burner)
{
    if (m_autoInsertSeconds <= 0)
        return;
    const int eject = ++burner->ejects;
    const std::weak_ptr<Burner> weak = burner;
    QTimer::singleShot(m_autoInsertSeconds * 1000, this, [this, weak, eject] {
        const auto b = weak.lock();
        // Not if it was unplugged, loaded by hand or ejected again meanwhile.
        if (!b || !m_burners.contains(b) || b->ejects != eject || b->busy || b->tray.mediaState == MediaState::present)
            return;
        setTray(*b, b->chosen, blankStatus(b->chosen));
        post(&DiscService::deviceStatusChanged);
    });
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
    burner->stamp->unplugged = true;
    m_burners.removeOne(burner);
    for (const auto &run : m_runs) {
        if (run->burner == burner)
            run->requestStop(VirtualControl::unplugged);
    }
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

bool VirtualDiscService::loadTray(int number, std::optional<Medium> chosen, bool eject)
{
    const auto burner = find(number);
    if (!burner || burner->busy)
        return false;
    if (chosen)
        burner->chosen = *chosen;
    const Medium medium = eject ? NoDisc : burner->chosen;
    setTray(*burner, medium, blankStatus(medium));
    post(&DiscService::deviceStatusChanged);
    if (eject)
        scheduleAutoInsert(burner);
    return true;
}

bool VirtualDiscService::setMedium(int number, Medium medium)
{
    return loadTray(number, medium, false);
}

bool VirtualDiscService::insertBlank(int number)
{
    return loadTray(number, std::nullopt, false);
}

bool VirtualDiscService::eject(int number)
{
    return loadTray(number, std::nullopt, true);
}

bool VirtualDiscService::failNextBurnAt(int number, double percent)
{
    const auto burner = find(number);
    if (!burner)
        return false;
    burner->failAt = percent;
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

bool VirtualDiscService::isBusy(int number) const
{
    const auto burner = find(number);
    return burner && burner->busy;
}

QString VirtualDiscService::outputFolder(int number) const
{
    if (!find(number))
        return {};
    const QString folder = folderFor(number);
    return !folder.isEmpty() && QDir().mkpath(folder) ? folder : QString();
}
