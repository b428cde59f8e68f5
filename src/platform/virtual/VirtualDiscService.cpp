#include "platform/virtual/VirtualDiscService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Producers are asked for about this much at a time and the file gets it in
// one write: large enough to run at disk speed, small enough to stop quickly.
constexpr quint32 chunkBytes = 1 << 20;
constexpr auto statusInterval = std::chrono::milliseconds(100);
constexpr quint32 cdSectorBytes = 2352;
constexpr double quickEraseSeconds = 2.0;

const QString stoppedText = QStringLiteral("The burn was stopped.");
const QString unpluggedText = QStringLiteral("The burner was unplugged.");

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

QString msf(quint64 frames)
{
    return QString::asprintf("%02llu:%02llu:%02llu", frames / (75 * 60), (frames / 75) % 60, frames % 75);
}

// CD-Text holds ISO Latin-1 and a cue sheet has no escapes: what can't be
// said becomes '?', quotes become apostrophes, line breaks spaces.
QString cueString(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == u'"')
            c = u'\'';
        else if (c.unicode() < 0x20)
            c = u' ';
        else if (c.unicode() > 0xff)
            c = u'?';
        out.append(c);
    }
    return u'"' + out + u'"';
}

// The cue sheet of an audio burn whose sectors are all in `binName`.
QByteArray cueSheet(const QString &binName, const QList<BurnTrack> &tracks, const std::optional<CDText> &cdText)
{
    QString cue;
    auto line = [&cue](const QString &indent, const char *key, const QString &value) {
        if (!value.isEmpty())
            cue += indent + QLatin1String(key) + u' ' + cueString(value) + u'\n';
    };
    if (cdText) {
        line(QString(), "TITLE", cdText->discTitle);
        line(QString(), "PERFORMER", cdText->discPerformer);
    }
    cue += QStringLiteral("FILE %1 BINARY\n").arg(cueString(binName));
    quint64 at = 0;
    for (int i = 0; i < tracks.size(); ++i) {
        cue += QStringLiteral("  TRACK %1 AUDIO\n").arg(i + 1, 2, 10, QChar(u'0'));
        if (cdText) {
            line(QStringLiteral("    "), "TITLE", cdText->trackTitles.value(i));
            line(QStringLiteral("    "), "PERFORMER", cdText->trackPerformers.value(i));
        }
        if (tracks[i].preGapFrames > 0)
            cue += QStringLiteral("    INDEX 00 ") + msf(at) + u'\n';
        at += tracks[i].preGapFrames;
        cue += QStringLiteral("    INDEX 01 ") + msf(at) + u'\n';
        at += tracks[i].lengthBlocks;
    }
    return cue.toUtf8();
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// What a worker and the main thread share: the request to stop, and a sleep
// that such a request cuts short.
class Control
{
public:
    enum Stop { running, aborted, unplugged };

    void requestStop(Stop why)
    {
        {
            std::lock_guard lock(m_mutex);
            int expected = running;
            m_stop.compare_exchange_strong(expected, why);
        }
        m_wake.notify_all();
    }
    Stop stop() const { return Stop(m_stop.load()); }
    // The disc file a finished burn wrote. Set by the worker before its last
    // post and read after the join, so it needs no lock.
    QString written;
    // False when a stop was asked for before `until`.
    bool sleepUntil(Clock::time_point until)
    {
        std::unique_lock lock(m_mutex);
        return !m_wake.wait_until(lock, until, [this] { return m_stop.load() != running; });
    }

private:
    std::atomic<int> m_stop{running};
    std::mutex m_mutex;
    std::condition_variable m_wake;
};

// Posts a status to the main thread; `final` for the last one.
using Send = std::function<void(const JobStatus &status, bool final)>;

// Sends statuses for a worker: every state change, progress at most every
// 100 ms, with the speed achieved since the previous report.
class Reporter
{
public:
    Reporter(Send send, double unitBytes) : m_send(std::move(send)), m_unitBytes(unitBytes) {}

    // The pace kept, in kB/s, or 0 when the work runs as fast as it can.
    double pacedSpeed = 0;
    int track = 0;

    void state(DiscJobState state, double percent, bool moving = false)
    {
        m_state = state;
        m_moving = moving;
        post(percent, moving ? m_lastSpeed : 0);
    }
    void progress(quint64 sectors, double percent)
    {
        m_sectors += sectors;
        const auto now = Clock::now();
        if (now - m_lastPost < statusInterval)
            return;
        const double seconds = std::chrono::duration<double>(now - m_lastPost).count();
        m_lastSpeed = pacedSpeed > 0 ? pacedSpeed : double(m_sectors) * m_unitBytes / 1000.0 / seconds;
        post(percent, m_lastSpeed);
    }
    void end(JobStatus status)
    {
        status.currentTrack = status.currentTrack ? status.currentTrack : track;
        m_send(status, true);
    }

private:
    void post(double percent, double speed)
    {
        if (m_moving && pacedSpeed > 0)
            speed = pacedSpeed;
        m_send({m_state, percent, speed, track, {}}, false);
        m_lastPost = Clock::now();
        m_sectors = 0;
    }

    Send m_send;
    double m_unitBytes;
    DiscJobState m_state = DiscJobState::none;
    bool m_moving = false;
    Clock::time_point m_lastPost = Clock::now();
    quint64 m_sectors = 0;
    double m_lastSpeed = 0;
};

// One output file, written under its ".partial" name until the burn succeeds.
struct Output
{
    QByteArray partial;
    QByteArray final;
    int fd = -1;
    bool renamed = false;
};

struct BurnPlan
{
    QList<BurnTrack> tracks;
    bool audio = false;
    bool test = false;
    bool verify = false;
    std::optional<CDText> cdText;
    QString folder;
    double writeSpeed = 0;  // kB/s to keep to; 0: unthrottled
    double verifySpeed = 0; // kB/s to keep to while reading back; 0: unthrottled
    double unitBytes = cdSectorBytes; // bytes a sector counts for in a speed
    std::optional<double> failAt;
};

class BurnWorker
{
public:
    BurnWorker(BurnPlan plan, Control &control, Send send)
        : m_plan(std::move(plan)), m_control(control), m_report(std::move(send), m_plan.unitBytes)
    {
        for (const BurnTrack &t : m_plan.tracks)
            m_total += t.preGapFrames + t.lengthBlocks;
        if (m_plan.failAt)
            m_failSector = quint64(std::ceil(std::clamp(*m_plan.failAt, 0.0, 1.0) * double(m_total)));
    }

    void run()
    {
        JobStatus result = burn();
        if (result.state == DiscJobState::failed)
            discard();
        m_report.end(result);
    }

private:
    JobStatus burn()
    {
        m_report.state(DiscJobState::preparing, -1);
        for (int i = 0; i < m_plan.tracks.size(); ++i) {
            if (!m_plan.tracks[i].producer->prepareTrack())
                return failed(QStringLiteral("Couldn't read track %1.").arg(i + 1));
        }
        if (!m_plan.test && !openOutput())
            return failed(m_error);
        std::size_t largest = 0;
        for (const BurnTrack &t : m_plan.tracks)
            largest = std::max<std::size_t>(largest, std::size_t(chunkBlocks(t.blockSize, m_plan.writeSpeed)) * t.blockSize);
        m_buffer.resize(largest);

        m_report.state(DiscJobState::sessionOpen, 0);
        m_report.pacedSpeed = m_plan.writeSpeed;
        m_paceStart = Clock::now();
        for (int i = 0; i < m_plan.tracks.size(); ++i) {
            const BurnTrack &t = m_plan.tracks[i];
            m_report.track = i + 1;
            m_report.state(DiscJobState::trackOpen, percent());
            m_report.state(DiscJobState::trackWrite, percent(), true);
            // A data track's pre-gap goes to the disc but not into the image.
            const int gapFd = m_plan.audio && !m_outputs.empty() ? m_outputs[0].fd : -1;
            const int dataFd = m_outputs.empty() ? -1 : m_outputs[0].fd;
            if (!pump(t, true, gapFd) || !pump(t, false, dataFd))
                return failed(m_error);
            t.producer->cleanupTrackAfterBurn();
            m_report.state(DiscJobState::trackClose, percent());
        }
        if (!checkpoint())
            return failed(m_error);
        m_report.pacedSpeed = 0;
        m_report.state(DiscJobState::sessionClose, 1);
        m_report.state(DiscJobState::finishing, 1);
        if (!m_plan.test && m_plan.audio) {
            const QByteArray cue =
                cueSheet(QFileInfo(QFile::decodeName(m_outputs[0].final)).fileName(), m_plan.tracks, m_plan.cdText);
            if (!writeAll(m_outputs[1].fd, cue.constData(), cue.size()))
                return failed(m_error);
        }
        if (m_plan.verify && !m_plan.test && !verify())
            return failed(m_error);
        if (!m_plan.test && !commit())
            return failed(m_error);
        return {DiscJobState::done, 1, 0, m_report.track, {}};
    }

    // Blocks per producer call: a chunk, or about 1/20 s of a paced burn so
    // that progress and stops stay prompt.
    quint32 chunkBlocks(quint32 blockSize, double pace) const
    {
        quint32 blocks = std::max<quint32>(1, chunkBytes / blockSize);
        if (pace > 0)
            blocks = std::clamp<quint32>(quint32(pace * 1000.0 / m_plan.unitBytes / 20.0), 1, blocks);
        return blocks;
    }

    double percent() const { return m_total ? double(m_done) / double(m_total) : 1.0; }

    // False when the burn has to end here; m_error says why.
    bool checkpoint()
    {
        switch (m_control.stop()) {
        case Control::running: break;
        case Control::aborted: m_error = stoppedText; return false;
        case Control::unplugged: m_error = unpluggedText; return false;
        }
        if (m_failSector && m_done >= *m_failSector) {
            m_error = QStringLiteral("The burner reported a write error at %1 %.").arg(qRound(percent() * 100));
            return false;
        }
        return true;
    }

    // Waits until `sectors` in all would have taken at `speed` kB/s.
    void pace(double speed, quint64 sectors)
    {
        if (speed <= 0)
            return;
        const auto due = m_paceStart + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                                           double(sectors) * m_plan.unitBytes / (speed * 1000.0)));
        m_control.sleepUntil(due);
    }

    // Produces the pre-gap or the data of a track and writes it to `fd`
    // (-1: nowhere).
    bool pump(const BurnTrack &t, bool gap, int fd)
    {
        const quint64 count = gap ? t.preGapFrames : t.lengthBlocks;
        const quint32 step = chunkBlocks(t.blockSize, m_plan.writeSpeed);
        for (quint64 address = 0; address < count;) {
            if (!checkpoint())
                return false;
            quint64 blocks = std::min<quint64>(step, count - address);
            if (m_failSector && *m_failSector > m_done)
                blocks = std::min(blocks, *m_failSector - m_done);
            const quint32 length = quint32(blocks) * t.blockSize;
            char *buffer = m_buffer.data();
            const quint32 got = gap ? t.producer->producePreGap(buffer, length, address, t.blockSize)
                                    : t.producer->produceData(buffer, length, address, t.blockSize);
            if (got < length)
                std::memset(buffer + got, 0, length - got);
            if (fd >= 0 && !writeAll(fd, buffer, length))
                return false;
            address += blocks;
            m_done += blocks;
            pace(m_plan.writeSpeed, m_done);
            m_report.progress(blocks, percent());
        }
        return true;
    }

    bool writeAll(int fd, const char *data, std::size_t length)
    {
        while (length > 0) {
            const ssize_t n = ::write(fd, data, length);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_error = QStringLiteral("Couldn't write the disc image: %1.").arg(systemError(n < 0 ? errno : ENOSPC));
                return false;
            }
            data += n;
            length -= std::size_t(n);
        }
        return true;
    }

    // Reserves the lowest free "Disc NNN" of the folder by creating its
    // partial files; never opens a file that is already there.
    bool openOutput()
    {
        if (m_plan.folder.isEmpty() || !QDir().mkpath(m_plan.folder)) {
            m_error = QStringLiteral("Couldn't create the burner's output folder.");
            return false;
        }
        const QStringList suffixes = m_plan.audio ? QStringList{QStringLiteral(".bin"), QStringLiteral(".cue")}
                                                  : QStringList{QStringLiteral(".iso")};
        const QStringList taken{QStringLiteral(".bin"), QStringLiteral(".cue"), QStringLiteral(".iso")};
        const QDir dir(m_plan.folder);
        for (int number = 1; number <= 999; ++number) {
            const QString base = dir.filePath(QStringLiteral("Disc %1").arg(number, 3, 10, QChar(u'0')));
            const bool used = std::any_of(taken.begin(), taken.end(), [&base](const QString &s) {
                return QFileInfo::exists(base + s) || QFileInfo::exists(base + s + QStringLiteral(".partial"));
            });
            if (used)
                continue;
            bool raced = false;
            for (const QString &suffix : suffixes) {
                Output out{QFile::encodeName(base + suffix + QStringLiteral(".partial")),
                           QFile::encodeName(base + suffix)};
                out.fd = ::open(out.partial.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
                if (out.fd < 0) {
                    const int error = errno;
                    discard();
                    if (error == EEXIST) {
                        raced = true;
                        break;
                    }
                    m_error = QStringLiteral("Couldn't write to %1: %2.").arg(m_plan.folder, systemError(error));
                    return false;
                }
                m_outputs.push_back(out);
            }
            if (!raced)
                return true;
        }
        m_error = QStringLiteral("The burner's output folder is full: remove some discs from %1.").arg(m_plan.folder);
        return false;
    }

    // Reads the image back and hands it to the producers to compare.
    bool verify()
    {
        m_report.track = 0;
        m_report.state(DiscJobState::verifying, 0);
        m_report.pacedSpeed = m_plan.verifySpeed;
        quint64 total = 0;
        for (const BurnTrack &t : m_plan.tracks)
            total += (m_plan.audio ? t.preGapFrames : 0) + t.lengthBlocks;
        std::size_t largest = 0;
        for (const BurnTrack &t : m_plan.tracks)
            largest = std::max<std::size_t>(largest, std::size_t(chunkBlocks(t.blockSize, m_plan.verifySpeed)) * t.blockSize);
        m_buffer.resize(std::max(m_buffer.size(), largest));

        const int fd = m_outputs[0].fd;
        off_t offset = 0;
        quint64 done = 0;
        m_paceStart = Clock::now();
        for (int i = 0; i < m_plan.tracks.size(); ++i) {
            const BurnTrack &t = m_plan.tracks[i];
            TrackProducer &producer = *t.producer;
            m_report.track = i + 1;
            if (!producer.prepareTrackForVerification()) {
                m_error = QStringLiteral("Couldn't read track %1 again to verify it.").arg(i + 1);
                return false;
            }
            const quint32 step = chunkBlocks(t.blockSize, m_plan.verifySpeed);
            for (bool gap : {true, false}) {
                if (gap && !m_plan.audio)
                    continue;
                const quint64 count = gap ? t.preGapFrames : t.lengthBlocks;
                for (quint64 address = 0; address < count;) {
                    if (!checkpoint())
                        return false;
                    const quint64 blocks = std::min<quint64>(step, count - address);
                    const quint32 length = quint32(blocks) * t.blockSize;
                    if (!readAll(fd, m_buffer.data(), length, offset))
                        return false;
                    const bool same = gap ? producer.verifyPreGap(m_buffer.data(), length, address, t.blockSize)
                                          : producer.verifyData(m_buffer.data(), length, address, t.blockSize);
                    if (!same) {
                        producer.cleanupTrackAfterVerification();
                        m_error = QStringLiteral("The disc didn't match what was written (track %1).").arg(i + 1);
                        return false;
                    }
                    offset += off_t(length);
                    address += blocks;
                    done += blocks;
                    pace(m_plan.verifySpeed, done);
                    m_report.progress(blocks, total ? double(done) / double(total) : 1.0);
                }
            }
            producer.cleanupTrackAfterVerification();
        }
        m_report.pacedSpeed = 0;
        return true;
    }

    bool readAll(int fd, char *data, std::size_t length, off_t offset)
    {
        while (length > 0) {
            const ssize_t n = ::pread(fd, data, length, offset);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_error = QStringLiteral("Couldn't read the disc image back: %1.")
                              .arg(n < 0 ? systemError(errno) : QStringLiteral("it is shorter than written"));
                return false;
            }
            data += n;
            offset += n;
            length -= std::size_t(n);
        }
        return true;
    }

    // Gives the files their real names, never over a file that appeared
    // meanwhile.
    bool commit()
    {
        for (Output &out : m_outputs) {
            if (::close(std::exchange(out.fd, -1)) != 0) {
                m_error = QStringLiteral("Couldn't write the disc image: %1.").arg(systemError(errno));
                return false;
            }
        }
        for (Output &out : m_outputs) {
            if (::renameat2(AT_FDCWD, out.partial.constData(), AT_FDCWD, out.final.constData(), RENAME_NOREPLACE) != 0) {
                m_error = QStringLiteral("Couldn't save %1: %2.")
                              .arg(QFile::decodeName(out.final), systemError(errno));
                return false;
            }
            out.renamed = true;
        }
        m_control.written = QFile::decodeName(m_outputs[0].final);
        return true;
    }

    // Removes every file this burn made.
    void discard()
    {
        for (Output &out : m_outputs) {
            if (out.fd >= 0)
                ::close(std::exchange(out.fd, -1));
            ::unlink(out.renamed ? out.final.constData() : out.partial.constData());
        }
        m_outputs.clear();
    }

    JobStatus failed(const QString &text)
    {
        // A stop explains the end better than whatever it interrupted.
        QString why = text;
        if (m_control.stop() == Control::aborted)
            why = stoppedText;
        else if (m_control.stop() == Control::unplugged)
            why = unpluggedText;
        return {DiscJobState::failed, percent(), 0, m_report.track, why};
    }

    BurnPlan m_plan;
    Control &m_control;
    Reporter m_report;
    quint64 m_total = 0;
    quint64 m_done = 0;
    std::optional<quint64> m_failSector;
    Clock::time_point m_paceStart;
    std::vector<char> m_buffer;
    std::vector<Output> m_outputs;
    QString m_error;
};

// An erase takes `seconds` (0: at once) and can only be cut short by a stop
// (an unplug, or the service going away).
void eraseDisc(double seconds, Control &control, const Send &send)
{
    Reporter report(send, 0);
    report.state(DiscJobState::preparing, -1);
    report.state(DiscJobState::erasing, 0);
    const auto start = Clock::now();
    for (double done = 0; done < 1;) {
        const auto due = std::min(start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)),
                                  Clock::now() + statusInterval);
        if (seconds > 0 && !control.sleepUntil(due)) {
            report.end({DiscJobState::failed, done, 0, 0,
                        control.stop() == Control::unplugged ? unpluggedText : QStringLiteral("The erase was stopped.")});
            return;
        }
        done = seconds > 0 ? std::min(1.0, std::chrono::duration<double>(Clock::now() - start).count() / seconds) : 1.0;
        report.state(DiscJobState::erasing, done);
    }
    report.end({DiscJobState::done, 1, 0, 0, {}});
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
};

// One burn or erase. The worker touches only the Control part; the rest is
// the main thread's.
struct VirtualDiscService::Run : Control
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
    Medium kind = NoDisc;
    std::thread thread;
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
            m_run->requestStop(Control::aborted);
    }
    void abort() override
    {
        if (m_run->erase || m_run->ended)
            return;
        m_run->requestStop(Control::aborted);
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
        run->requestStop(Control::aborted);
    for (const auto &run : m_runs) {
        if (run->thread.joinable())
            run->thread.join();
    }
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
    if (!burner || burner->busy || !layout.cueSheet.isEmpty() || layout.tracks.isEmpty())
        return nullptr;
    int audio = 0;
    quint64 sectors = 0;
    for (const BurnTrack &t : layout.tracks) {
        if (!t.producer || t.blockSize == 0)
            return nullptr;
        audio += t.kind == BurnTrack::Kind::audio;
        sectors += t.preGapFrames + t.lengthBlocks;
    }
    // One image file per disc: all audio (BIN/CUE) or a single data track.
    if (audio != layout.tracks.size() && layout.tracks.size() != 1)
        return nullptr;

    auto run = std::make_shared<Run>();
    run->burner = burner;
    run->test = properties.test;
    run->eject = properties.completion == CompletionAction::eject;
    run->appendable = properties.appendable;
    run->sectors = sectors;
    run->kind = burner->loaded;

    const DeviceStatus &tray = burner->tray;
    const qint64 free = freeSectors(tray);
    QString refusal;
    if (tray.mediaState != MediaState::present)
        refusal = QStringLiteral("There's no disc in the burner.");
    else if (audio && !isCD(burner->loaded))
        refusal = QStringLiteral("Audio tracks need a CD. Insert a blank CD-R.");
    else if (!tray.blank && free <= 0)
        refusal = tray.erasable ? QStringLiteral("The disc in the burner isn't blank. Erase it first.")
                                : QStringLiteral("The disc in the burner isn't blank.");
    else if (sectors > quint64(free))
        refusal = QStringLiteral("The disc is too small: this burn needs %1 blocks and the disc has %2 free.")
                      .arg(sectors)
                      .arg(free);

    BurnPlan plan;
    plan.tracks = layout.tracks;
    plan.audio = audio > 0;
    plan.test = properties.test;
    plan.verify = properties.verify;
    plan.cdText = properties.cdText;
    plan.folder = folderFor(burner->number);
    plan.unitBytes = isCD(burner->loaded) ? cdSectorBytes : 2048;
    if (!m_unthrottled) {
        plan.writeSpeed = pickSpeed(tray.burnSpeeds, properties.requestedSpeed);
        plan.verifySpeed = pickSpeed(tray.burnSpeeds, 0);
    }
    plan.failAt = std::exchange(burner->failAt, std::nullopt);

    auto job = start(run, refusal);
    if (refusal.isEmpty()) {
        const Send send = [this, run](const JobStatus &status, bool final) {
            QMetaObject::invokeMethod(
                this, [this, run, status, final] { final ? finish(run, status) : deliver(run, status); },
                Qt::QueuedConnection);
        };
        run->thread = std::thread([worker = std::make_shared<BurnWorker>(std::move(plan), *run, send)] {
            worker->run();
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
    const double unit = isCD(burner->loaded) ? cdSectorBytes : 2048;
    const double top = pickSpeed(blank.burnSpeeds, 0);
    const double seconds = m_unthrottled               ? 0
                           : type == EraseType::quick ? quickEraseSeconds
                                                       : double(freeSectors(blank)) * unit / (top * 1000.0);
    auto job = start(run, refusal);
    if (refusal.isEmpty()) {
        const Send send = [this, run](const JobStatus &status, bool final) {
            QMetaObject::invokeMethod(
                this, [this, run, status, final] { final ? finish(run, status) : deliver(run, status); },
                Qt::QueuedConnection);
        };
        run->thread = std::thread([seconds, send, control = run.get()] { eraseDisc(seconds, *control, send); });
    }
    return job;
}

std::unique_ptr<DiscJob> VirtualDiscService::start(const std::shared_ptr<Run> &run, const QString &refusal)
{
    auto job = std::make_unique<Job>(run);
    run->job = job.get();
    run->burner->busy = true;
    m_runs.append(run);
    if (!refusal.isEmpty()) {
        // Reported later: a job emits nothing before it is handed out.
        const JobStatus status{DiscJobState::failed, -1, 0, 0, refusal};
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
    // The worker posted this as its last act: the join is immediate.
    if (run->thread.joinable())
        run->thread.join();
    m_runs.removeOne(run);
    const auto burner = run->burner;
    burner->busy = false;

    if (status.state == DiscJobState::done && (run->erase || !run->test) && m_burners.contains(burner)) {
        if (run->erase) {
            setTray(*burner, run->kind, blankStatus(run->kind));
        } else {
            DeviceStatus written = burner->tray;
            written.blank = false;
            const auto left = [&run](std::optional<qint64> free) -> std::optional<qint64> {
                if (!free)
                    return free;
                return run->appendable ? std::max<qint64>(0, *free - qint64(run->sectors)) : 0;
            };
            written.freeFrames = left(written.freeFrames);
            written.blocksFree = left(written.blocksFree);
            if (run->eject) {
                setTray(*burner, NoDisc, blankStatus(NoDisc));
                scheduleAutoInsert(burner);
            } else {
                // The disc stays in and the system "reads" it: its file
                // stands where a real disc's block device would.
                written.bsdName = run->written;
                setTray(*burner, run->kind, written);
            }
        }
        post(&DiscService::deviceStatusChanged);
    }
    if (auto *job = static_cast<Job *>(run->job.data()))
        job->report(status);
}

std::optional<BurnLayout> VirtualDiscService::layoutForImageFile(const QString &)
{
    return std::nullopt;
}

void VirtualDiscService::setUnthrottled(bool unthrottled)
{
    m_unthrottled = unthrottled;
}

void VirtualDiscService::setAutoInsertSeconds(int seconds)
{
    m_autoInsertSeconds = std::max(0, seconds);
}

void VirtualDiscService::readSettings(const QSettings &settings)
{
    setUnthrottled(settings.value(QStringLiteral("klvo.td.virtualUnthrottled"), false).toBool());
    setAutoInsertSeconds(settings.value(QStringLiteral("klvo.td.virtualAutoInsert"), 0).toInt());
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

void VirtualDiscService::setTray(Burner &burner, Medium kind, const DeviceStatus &status)
{
    burner.loaded = kind;
    burner.tray = status;
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
    m_burners.removeOne(burner);
    for (const auto &run : m_runs) {
        if (run->burner == burner)
            run->requestStop(Control::unplugged);
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
