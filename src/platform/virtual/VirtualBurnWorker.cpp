#include "platform/virtual/VirtualBurnWorker.h"

#include "platform/virtual/VirtualCueSheet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

using Clock = VirtualControl::Clock;

// Producers are asked for about this much at a time and the file gets it in
// one write: large enough to run at disk speed, small enough to stop quickly.
constexpr quint32 chunkBytes = 1 << 20;
constexpr auto statusInterval = std::chrono::milliseconds(100);

const QString stoppedText = QStringLiteral("The burn was stopped.");
const QString unpluggedText = QStringLiteral("The burner was unplugged.");

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

void VirtualControl::requestStop(Stop why)
{
    {
        std::lock_guard lock(m_mutex);
        int expected = running;
        m_stop.compare_exchange_strong(expected, why);
    }
    m_wake.notify_all();
}

bool VirtualControl::sleepUntil(Clock::time_point until)
{
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_until(lock, until, [this] { return m_stop.load() != running; });
}

void VirtualReporter::state(DiscJobState state, double percent, bool moving)
{
    m_state = state;
    m_moving = moving;
    post(percent, moving ? m_lastSpeed : 0);
}

void VirtualReporter::progress(quint64 sectors, double percent)
{
    m_sectors += sectors;
    const auto now = Clock::now();
    if (now - m_lastPost < statusInterval)
        return;
    const double seconds = std::chrono::duration<double>(now - m_lastPost).count();
    m_lastSpeed = pacedSpeed > 0 ? pacedSpeed : double(m_sectors) * m_unitBytes / 1000.0 / seconds;
    post(percent, m_lastSpeed);
}

void VirtualReporter::end(JobStatus status)
{
    status.currentTrack = status.currentTrack ? status.currentTrack : track;
    m_send(status, true);
}

void VirtualReporter::post(double percent, double speed)
{
    if (m_moving && pacedSpeed > 0)
        speed = pacedSpeed;
    m_send({m_state, percent, speed, track, {}, {}, {}}, false);
    m_lastPost = Clock::now();
    m_sectors = 0;
}

VirtualBurnWorker::VirtualBurnWorker(VirtualBurnPlan plan, VirtualControl &control, VirtualSend send)
    : m_plan(std::move(plan)), m_control(control), m_report(std::move(send), m_plan.unitBytes)
{
    for (const BurnTrack &t : m_plan.tracks)
        m_total += t.preGapFrames + t.lengthBlocks;
    if (m_plan.failAt)
        m_failSector = quint64(std::ceil(std::clamp(*m_plan.failAt, 0.0, 1.0) * double(m_total)));
}

void VirtualBurnWorker::run()
{
    JobStatus result = burn();
    if (result.state == DiscJobState::failed)
        discard();
    m_report.end(result);
}

JobStatus VirtualBurnWorker::burn()
{
    if (!prepare() || !writeTracks() || !closeSession())
        return failed(m_error);
    if (m_plan.verify && !m_plan.test && !verify())
        return failed(m_error);
    if (!m_plan.test && !commit())
        return failed(m_error);
    JobStatus done{DiscJobState::done, 1, 0, m_report.track, {}, {}, {}};
    if (m_plan.verify && !m_plan.test)
        done.readBack = m_readBack;
    return done;
}

// Opens every track and, for a real burn, the disc files.
bool VirtualBurnWorker::prepare()
{
    m_report.state(DiscJobState::preparing, -1);
    for (int i = 0; i < m_plan.tracks.size(); ++i) {
        if (!m_plan.tracks[i].producer->prepareTrack()) {
            m_error = QStringLiteral("Couldn't read track %1.").arg(i + 1);
            return false;
        }
    }
    if (!m_plan.test && !openOutput())
        return false;
    growBuffer(m_plan.writeSpeed);
    return true;
}

bool VirtualBurnWorker::writeTracks()
{
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
            return false;
        t.producer->cleanupTrackAfterBurn();
        m_report.state(DiscJobState::trackClose, percent());
    }
    return true;
}

// Ends the session; an audio burn's cue sheet goes beside its image.
bool VirtualBurnWorker::closeSession()
{
    if (!checkpoint())
        return false;
    m_report.pacedSpeed = 0;
    m_report.state(DiscJobState::sessionClose, 1);
    m_report.state(DiscJobState::finishing, 1);
    if (!m_plan.test && m_plan.audio) {
        const QString bin = QFileInfo(QFile::decodeName(m_outputs[0].final)).fileName();
        const QByteArray cue = m_plan.sheet ? VirtualCueSheet::forSheet(bin, *m_plan.sheet)
                                            : VirtualCueSheet::forAudio(bin, m_plan.tracks, m_plan.cdText, m_plan.catalog);
        if (!writeAll(m_outputs[1].fd, cue.constData(), cue.size()))
            return false;
    }
    return true;
}

// Blocks per producer call: a chunk, or about 1/20 s of a paced burn so
// that progress and stops stay prompt.
quint32 VirtualBurnWorker::chunkBlocks(quint32 blockSize, double pace) const
{
    quint32 blocks = std::max<quint32>(1, chunkBytes / blockSize);
    if (pace > 0)
        blocks = std::clamp<quint32>(quint32(pace * 1000.0 / m_plan.unitBytes / 20.0), 1, blocks);
    return blocks;
}

// Makes the buffer hold the largest chunk any track takes at `pace`.
void VirtualBurnWorker::growBuffer(double pace)
{
    std::size_t largest = 0;
    for (const BurnTrack &t : m_plan.tracks)
        largest = std::max<std::size_t>(largest, std::size_t(chunkBlocks(t.blockSize, pace)) * t.blockSize);
    m_buffer.resize(std::max(m_buffer.size(), largest));
}

// False when the burn has to end here; m_error says why.
bool VirtualBurnWorker::checkpoint()
{
    switch (m_control.stop()) {
    case VirtualControl::running: break;
    case VirtualControl::aborted: m_error = stoppedText; return false;
    case VirtualControl::unplugged: m_error = unpluggedText; return false;
    }
    if (m_failSector && m_done >= *m_failSector) {
        m_error = QStringLiteral("The burner reported a write error at %1 %.").arg(qRound(percent() * 100));
        return false;
    }
    return true;
}

// Waits until `sectors` in all would have taken at `speed` kB/s.
void VirtualBurnWorker::pace(double speed, quint64 sectors)
{
    if (speed <= 0)
        return;
    const auto due = m_paceStart + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                                       double(sectors) * m_plan.unitBytes / (speed * 1000.0)));
    m_control.sleepUntil(due);
}

// Produces the pre-gap or the data of a track and writes it to `fd`
// (-1: nowhere).
bool VirtualBurnWorker::pump(const BurnTrack &t, bool gap, int fd)
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

bool VirtualBurnWorker::writeAll(int fd, const char *data, std::size_t length)
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
bool VirtualBurnWorker::openOutput()
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
            Output out{QFile::encodeName(base + suffix + QStringLiteral(".partial")), QFile::encodeName(base + suffix)};
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
bool VirtualBurnWorker::verify()
{
    m_report.track = 0;
    m_report.state(DiscJobState::verifying, 0);
    m_report.pacedSpeed = m_plan.verifySpeed;
    quint64 total = 0;
    for (const BurnTrack &t : m_plan.tracks) {
        total += (m_plan.audio ? t.preGapFrames : 0) + t.lengthBlocks;
        m_readBack.totalBytes += t.lengthBlocks * t.blockSize;
    }
    growBuffer(m_plan.verifySpeed);

    off_t offset = 0;
    quint64 done = 0;
    m_paceStart = Clock::now();
    for (int i = 0; i < m_plan.tracks.size(); ++i) {
        if (!verifyTrack(i, total, offset, done))
            return false;
    }
    m_report.pacedSpeed = 0;
    return true;
}

// Compares one track from `offset` in the image on; `done` counts the
// sectors compared of `total`.
bool VirtualBurnWorker::verifyTrack(int index, quint64 total, off_t &offset, quint64 &done)
{
    const BurnTrack &t = m_plan.tracks[index];
    TrackProducer &producer = *t.producer;
    m_report.track = index + 1;
    if (!producer.prepareTrackForVerification()) {
        m_error = QStringLiteral("Couldn't read track %1 again to verify it.").arg(index + 1);
        return false;
    }
    const int fd = m_outputs[0].fd;
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
                m_error = QStringLiteral("The disc didn't match what was written (track %1).").arg(index + 1);
                return false;
            }
            offset += off_t(length);
            address += blocks;
            done += blocks;
            if (!gap)
                m_readBack.comparedBytes += length;
            pace(m_plan.verifySpeed, done);
            m_report.progress(blocks, total ? double(done) / double(total) : 1.0);
        }
    }
    producer.cleanupTrackAfterVerification();
    return true;
}

bool VirtualBurnWorker::readAll(int fd, char *data, std::size_t length, off_t offset)
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
bool VirtualBurnWorker::commit()
{
    for (Output &out : m_outputs) {
        if (::close(std::exchange(out.fd, -1)) != 0) {
            m_error = QStringLiteral("Couldn't write the disc image: %1.").arg(systemError(errno));
            return false;
        }
    }
    for (Output &out : m_outputs) {
        if (::renameat2(AT_FDCWD, out.partial.constData(), AT_FDCWD, out.final.constData(), RENAME_NOREPLACE) != 0) {
            m_error = QStringLiteral("Couldn't save %1: %2.").arg(QFile::decodeName(out.final), systemError(errno));
            return false;
        }
        out.renamed = true;
    }
    // The cue sheet, not the BIN, is what describes a BIN/CUE disc.
    m_control.written = QFile::decodeName(m_outputs.back().final);
    return true;
}

// Removes every file this burn made.
void VirtualBurnWorker::discard()
{
    for (Output &out : m_outputs) {
        if (out.fd >= 0)
            ::close(std::exchange(out.fd, -1));
        ::unlink(out.renamed ? out.final.constData() : out.partial.constData());
    }
    m_outputs.clear();
}

JobStatus VirtualBurnWorker::failed(const QString &text)
{
    // A stop explains the end better than whatever it interrupted.
    QString why = text;
    if (m_control.stop() == VirtualControl::aborted)
        why = stoppedText;
    else if (m_control.stop() == VirtualControl::unplugged)
        why = unpluggedText;
    return {DiscJobState::failed, percent(), 0, m_report.track, why, {}, {}};
}

void VirtualBurnWorker::erase(double seconds, VirtualControl &control, const VirtualSend &send)
{
    VirtualReporter report(send, 0);
    report.state(DiscJobState::preparing, -1);
    report.state(DiscJobState::erasing, 0);
    const auto start = Clock::now();
    for (double done = 0; done < 1;) {
        const auto due = std::min(start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)),
                                  Clock::now() + statusInterval);
        if (seconds > 0 && !control.sleepUntil(due)) {
            report.end({DiscJobState::failed, done, 0, 0,
                        control.stop() == VirtualControl::unplugged ? unpluggedText
                                                                    : QStringLiteral("The erase was stopped."),
                        {}, {}});
            return;
        }
        done = seconds > 0 ? std::min(1.0, std::chrono::duration<double>(Clock::now() - start).count() / seconds) : 1.0;
        report.state(DiscJobState::erasing, done);
    }
    report.end({DiscJobState::done, 1, 0, 0, {}, {}, {}});
}
