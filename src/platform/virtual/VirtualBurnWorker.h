#pragma once
// What runs on a virtual burner's worker thread: a burn, which produces the
// tracks into the burner's disc files (VirtualDiscService.h says which), or
// an erase, which only takes its time. Private to the virtual burners.
//
// Threading: a worker is made on the main thread and then used only on its
// own thread. It reports through a VirtualSend, which posts to the main
// thread; VirtualControl is the only state both threads touch.
//
// Ownership: the worker keeps its plan, and with it the producers, until it
// is destroyed; it borrows the control, which must outlive it.
//
// Cancelling: VirtualControl::requestStop(); the worker stops at its next
// block (or wakes from a paced wait), removes its files and ends with
// `failed`.

#include "platform/api/DiscService.h"
#include "platform/sheets/DiscSheet.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <sys/types.h>
#include <vector>

// What a worker and the main thread share: the request to stop, and a sleep
// that such a request cuts short. Any thread.
class VirtualControl
{
public:
    using Clock = std::chrono::steady_clock;
    enum Stop { running, aborted, unplugged };

    // The first request wins.
    void requestStop(Stop why);
    Stop stop() const { return Stop(m_stop.load()); }
    // The image a finished burn wrote: its .cue or .iso. Set by the worker
    // before its last post and read after the join, so it needs no lock.
    QString written;
    // False when a stop was asked for before `until`.
    bool sleepUntil(Clock::time_point until);

private:
    std::atomic<int> m_stop{running};
    std::mutex m_mutex;
    std::condition_variable m_wake;
};

// Posts a status to the main thread; `final` for the last one.
using VirtualSend = std::function<void(const JobStatus &status, bool final)>;

// Sends statuses for a worker: every state change, progress at most every
// 100 ms, with the speed achieved since the previous report. Worker thread.
class VirtualReporter
{
public:
    using Clock = VirtualControl::Clock;

    // `unitBytes`: what one sector counts for in a speed.
    VirtualReporter(VirtualSend send, double unitBytes) : m_send(std::move(send)), m_unitBytes(unitBytes) {}

    // The pace kept, in kB/s, or 0 when the work runs as fast as it can.
    double pacedSpeed = 0;
    int track = 0;

    void state(DiscJobState state, double percent, bool moving = false);
    void progress(quint64 sectors, double percent);
    void end(JobStatus status);

private:
    void post(double percent, double speed);

    VirtualSend m_send;
    double m_unitBytes;
    DiscJobState m_state = DiscJobState::none;
    bool m_moving = false;
    Clock::time_point m_lastPost = Clock::now();
    quint64 m_sectors = 0;
    double m_lastSpeed = 0;
};

// Everything a burn needs to know, fixed before the worker starts.
struct VirtualBurnPlan
{
    static constexpr quint32 cdSectorBytes = 2352;

    QList<BurnTrack> tracks;
    bool audio = false; // a BIN/CUE pair, pre-gaps in the BIN; else one ISO
    std::optional<DiscSheet> sheet; // the disc is this sheet's: its cue sheet is written
    bool test = false;
    bool verify = false;
    std::optional<CDText> cdText;
    QString catalog; // an audio burn's MCN, for its cue sheet
    QString folder;
    double writeSpeed = 0;  // kB/s to keep to; 0: unthrottled
    double verifySpeed = 0; // kB/s to keep to while reading back; 0: unthrottled
    double unitBytes = cdSectorBytes; // bytes a sector counts for in a speed
    std::optional<double> failAt;
};

class VirtualBurnWorker
{
public:
    using Clock = VirtualControl::Clock;

    VirtualBurnWorker(VirtualBurnPlan plan, VirtualControl &control, VirtualSend send);

    VirtualBurnWorker(const VirtualBurnWorker &) = delete;
    VirtualBurnWorker &operator=(const VirtualBurnWorker &) = delete;

    // The whole burn, ending with the final status. Worker thread.
    void run();

    // An erase takes `seconds` (0: at once) and can only be cut short by a
    // stop (an unplug, or the service going away). Worker thread.
    static void erase(double seconds, VirtualControl &control, const VirtualSend &send);

private:
    // One output file, written under its ".partial" name until the burn
    // succeeds.
    struct Output
    {
        QByteArray partial;
        QByteArray final;
        int fd = -1;
        bool renamed = false;
    };

    JobStatus burn();
    // The phases of a burn; each false when the burn has to end, m_error
    // saying why.
    bool prepare();
    bool writeTracks();
    bool closeSession();
    bool verify();
    bool verifyTrack(int index, quint64 total, off_t &offset, quint64 &done);
    bool commit();

    quint32 chunkBlocks(quint32 blockSize, double pace) const;
    void growBuffer(double pace);
    double percent() const { return m_total ? double(m_done) / double(m_total) : 1.0; }
    bool checkpoint();
    void pace(double speed, quint64 sectors);
    bool pump(const BurnTrack &t, bool gap, int fd);
    bool writeAll(int fd, const char *data, std::size_t length);
    bool readAll(int fd, char *data, std::size_t length, off_t offset);
    bool openOutput();
    void discard();
    JobStatus failed(const QString &text);

    VirtualBurnPlan m_plan;
    VirtualControl &m_control;
    VirtualReporter m_report;
    quint64 m_total = 0;
    quint64 m_done = 0;
    std::optional<quint64> m_failSector;
    Clock::time_point m_paceStart;
    std::vector<char> m_buffer;
    std::vector<Output> m_outputs;
    QString m_error;
    ReadBack m_readBack;
};
