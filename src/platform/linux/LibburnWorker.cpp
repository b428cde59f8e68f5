#include "platform/linux/LibburnWorker.h"

#include "platform/linux/DriveAccess.h"
#include "platform/linux/DriveFacts.h"
#include "platform/linux/DriveTrouble.h"
#include "platform/linux/OpticalDiscs.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutex>
#include <QThread>
#include <algorithm>
#include <future>
#include <thread>

#include <libburn/libburn.h>

Q_LOGGING_CATEGORY(lcLibburnWorker, "tandor.libburn", QtWarningMsg)

using namespace burn;

class LibburnWorker::Thread : public QThread
{
public:
    bool ready = false; // worker thread only

protected:
    void run() override
    {
        ready = burn_initialize() != 0;
        if (ready) {
            // Queue complaints instead of printing them: a reading reports
            // the last one, and the rest go to the debug log.
            // DEBUG too: a job learns from it when libburn's own write
            // thread has ended.
            char queue[] = "DEBUG", print[] = "NEVER", prefix[] = "libburn: ";
            burn_msgs_set_severities(queue, print, prefix);
        }
        exec();
        if (ready) {
            // A write thread that failed still has half a second to go and
            // posts to libburn's queue on its way out: finishing libburn
            // under it would crash.
            LibburnWorker::awaitWriteThreads(std::chrono::seconds(5));
            burn_finish();
        }
    }
};

namespace {

// libburn's "Write thread on drive N ended". N is libburn's own index of the
// drive, which its API doesn't tell.
constexpr int farewellCode = 0x00020178;

// burn_disc_write's reasons to start no thread at all.
constexpr int writeRefusals[] = {
    0x00020102, // a drive operation is still going on
    0x0002017c, // no valid write type
    0x00020146, // null drive
    0x00020181, // read-only pseudo-drive
    0x00020113, // capabilities not inquired yet
    0x00020139, // job parameters unsuitable
    0x00020168, // unformatted BD-RE
};

// libburn's queue is global: every taker goes through this log, so a job
// can still find its complaint after a reading took it off the queue.
struct MessageLog
{
    QMutex lock;
    quint64 taken = 0;                 // complaints taken so far
    quint64 writeThreads = 0;          // started by our jobs
    quint64 farewells = 0;             // said by libburn's write threads
    struct Entry
    {
        quint64 number;
        bool complaint; // SORRY or worse
        QString text;
        int code = 0;
        bool farewell = false; // a write thread ended
        bool claimed = false;  // by a job, for its own thread
    };
    QList<Entry> recent;

    void drain() // with `lock` held
    {
        char text[BURN_MSGS_MESSAGE_LEN];
        char severity[80];
        char all[] = "ALL";
        int code = 0, osErrno = 0;
        while (burn_msgs_obtain(all, &code, text, &osErrno, severity) == 1) {
            qCDebug(lcLibburnWorker) << severity << text;
            const QByteArray sev(severity);
            const bool complaint = sev == "SORRY" || sev == "FAILURE" || sev == "FATAL" || sev == "ABORT";
            const QString said = QString::fromLocal8Bit(text).trimmed();
            const bool farewell = code == farewellCode;
            farewells += farewell ? 1 : 0;
            // The system error behind a complaint often tells which fault it is.
            recent.append({++taken, complaint, complaint ? DriveTrouble::withSystemError(said, osErrno) : said, code,
                           farewell});
            if (recent.size() > 256)
                recent.removeFirst();
        }
    }
};
MessageLog messageLog;

// A grabbed drive, released (and its libburn record freed) when it goes.
class Grab
{
public:
    explicit Grab(const QByteArray &address)
    {
        if (address.size() >= BURN_DRIVE_ADR_LEN)
            return;
        char adr[BURN_DRIVE_ADR_LEN];
        qstrncpy(adr, address.constData(), sizeof adr);
        // load = 0: an open tray stays open; reading must not move it.
        if (burn_drive_scan_and_grab(&m_infos, adr, 0) == 1 && m_infos)
            m_drive = m_infos[0].drive;
    }
    ~Grab() { release(false); }
    Grab(const Grab &) = delete;
    Grab &operator=(const Grab &) = delete;

    burn_drive *drive() const { return m_drive; }
    const burn_drive_info &info() const { return m_infos[0]; }

    void release(bool eject)
    {
        if (m_drive)
            burn_drive_release(m_drive, eject ? 1 : 0);
        m_drive = nullptr;
        if (m_infos)
            burn_drive_info_free(m_infos);
        m_infos = nullptr;
    }

private:
    burn_drive_info *m_infos = nullptr;
    burn_drive *m_drive = nullptr;
};

QList<double> writeSpeeds(burn_drive *d, int profile)
{
    QList<double> matching, any;
    burn_speed_descriptor *list = nullptr;
    if (burn_drive_get_speedlist(d, &list) == 1) {
        for (burn_speed_descriptor *s = list; s; s = s->next) {
            if (s->write_speed <= 0)
                continue;
            any.append(s->write_speed);
            if (s->profile_loaded == profile)
                matching.append(s->write_speed);
        }
        burn_drive_free_speedlist(&list);
    }
    QList<double> speeds = matching.isEmpty() ? any : matching;
    if (speeds.isEmpty()) {
        const int top = burn_drive_get_write_speed(d);
        if (top > 0)
            speeds.append(top);
    }
    std::sort(speeds.begin(), speeds.end());
    speeds.erase(std::unique(speeds.begin(), speeds.end()), speeds.end());
    return speeds;
}

QMap<QString, bool> capabilities(const Grab &grab)
{
    const burn_drive_info &info = grab.info();
    DriveFacts::WriteFacts facts;
    facts.writeCdr = info.write_cdr;
    facts.writeCdrw = info.write_cdrw;
    facts.writeDvdr = info.write_dvdr;
    facts.writeDvdram = info.write_dvdram;
    facts.simulate = info.write_simulate;
    facts.saoBlocks = (info.sao_block_types & BURN_BLOCK_SAO) != 0;
    facts.taoBlocks = info.tao_block_types != 0;

    int count = 0;
    int profiles[64] = {};
    char current[64] = {};
    burn_drive_get_all_profiles(grab.drive(), &count, profiles, current);
    for (int i = 0; i < std::clamp(count, 0, 64); ++i)
        facts.profiles.append(profiles[i]);

    // The write options ask the drive whether it offers BURNFREE.
    if (burn_write_opts *opts = burn_write_opts_new(grab.drive())) {
        facts.underrunProof = burn_write_opts_set_underrun_proof(opts, 1) == 1;
        burn_write_opts_free(opts);
    }
    return DriveFacts::writeCaps(facts);
}

// The audio tracks of the table of contents libburn read at the grab.
int audioTracks(burn_drive *d)
{
    burn_disc *disc = burn_drive_get_disc(d);
    if (!disc)
        return 0;
    int found = 0, sessionCount = 0;
    burn_session **sessions = burn_disc_get_sessions(disc, &sessionCount);
    for (int i = 0; i < sessionCount; ++i) {
        int trackCount = 0;
        burn_track **tracks = burn_session_get_tracks(sessions[i], &trackCount);
        for (int j = 0; j < trackCount; ++j)
            found += (burn_track_get_mode(tracks[j]) & BURN_AUDIO) != 0;
    }
    burn_disc_free(disc);
    return found;
}

DriveReading readGrabbed(const Grab &grab, const QByteArray &address)
{
    burn_drive *d = grab.drive();
    DriveReading r;
    r.grabbed = true;
    r.writeCaps = capabilities(grab);

    const int role = burn_drive_get_drive_role(d);
    const burn_disc_status state = burn_disc_get_status(d);
    int profile = 0;
    char profileName[80] = {};
    if (burn_disc_get_profile(d, &profile, profileName) != 1)
        profile = 0;

    DeviceStatus &s = r.status;
    switch (state) {
    case BURN_DISC_EMPTY:
        s.mediaState = MediaState::none;
        return r;
    case BURN_DISC_UNREADY:
        s.mediaState = MediaState::inTransition;
        r.settled = false;
        return r;
    case BURN_DISC_UNGRABBED:
        r.grabbed = false;
        r.status = {};
        return r;
    case BURN_DISC_BLANK:
    case BURN_DISC_APPENDABLE:
    case BURN_DISC_FULL:
    case BURN_DISC_UNSUITABLE:
        break;
    }

    s.mediaState = MediaState::present;
    if (role == 1) {
        s.mediaType = profile > 0 ? DriveFacts::rawMediaType(profile) : QStringLiteral("Unknown");
        s.blank = state == BURN_DISC_BLANK;
    } else {
        // A pseudo-drive always "holds" its file. libburn calls a random
        // access file blank even when it holds an image; what counts here is
        // whether anything was written to it yet.
        s.mediaType = DriveFacts::imageFileType;
        if (role == 2) {
            const QFileInfo file(QString::fromLocal8Bit(address.mid(int(qstrlen("stdio:")))));
            s.blank = !file.exists() || file.size() == 0;
        } else {
            s.blank = state == BURN_DISC_BLANK;
        }
    }
    const qint64 blocks = qint64(burn_disc_available_space(d, nullptr)) / 2048;
    s.blocksFree = std::max<qint64>(blocks, 0);
    if (role == 1 && DriveFacts::isCdProfile(profile))
        s.freeFrames = s.blocksFree; // a CD sector is one frame
    s.erasable = burn_disc_erasable(d) != 0;
    s.burnSpeeds = writeSpeeds(d, profile);
    if (role == 1 && DriveFacts::isCdProfile(profile) && (state == BURN_DISC_FULL || state == BURN_DISC_APPENDABLE))
        s.audioTracks = audioTracks(d);
    return r;
}

DriveReading perform(const QByteArray &address, LibburnWorker::Action action)
{
    // libburn can't tell why it failed to open a drive, and some of its ways
    // of failing are slow: ask the system first.
    const QString node = DriveAccess::nodeOf(QString::fromLocal8Bit(address));
    if (!node.isEmpty()) {
        if (const QString problem = DriveAccess::check(node); !problem.isEmpty()) {
            DriveReading refused;
            refused.problem = refused.error = problem;
            return refused;
        }
    }
    // A drive spinning its disc up would keep libburn's grab waiting, here on
    // the thread every drive's reading needs, for as long as it takes: half
    // an hour for one that never gets there. It is read again shortly, as a
    // disc still being assessed is.
    if (!node.isEmpty() && action == LibburnWorker::Action::read && OpticalDiscs::becomingReady(node)) {
        DriveReading spinning;
        spinning.grabbed = true; // the drive answered; its capabilities weren't asked
        spinning.status.mediaState = MediaState::inTransition;
        spinning.settled = false;
        return spinning;
    }
    const quint64 mark = LibburnWorker::messageMark();
    if (action == LibburnWorker::Action::ejectThenRead) {
        Grab grab(address);
        grab.release(true);
    }
    DriveReading reading;
    {
        Grab grab(address);
        if (grab.drive())
            reading = readGrabbed(grab, address);
    }
    const QString complaint = LibburnWorker::lastMessageSince(mark);
    if (!reading.grabbed) {
        reading.error = complaint.isEmpty() ? QStringLiteral("The drive could not be opened.") : complaint;
        reading.problem = DriveAccess::afterGrabFailed(node, complaint);
    }
    return reading;
}

QMutex sharedLock;
std::weak_ptr<LibburnWorker> sharedWorker;

} // namespace

LibburnWorker::LibburnWorker()
    : m_thread(std::make_unique<Thread>()), m_home(std::make_unique<QObject>())
{
    m_thread->setObjectName(QStringLiteral("libburn"));
    m_onThread = new QObject;
    m_onThread->moveToThread(m_thread.get());
    m_thread->start();
}

struct LibburnWorker::JobThread
{
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished = std::make_shared<std::atomic<bool>>(false);
};

LibburnWorker::~LibburnWorker()
{
    m_stopping = true;
    // Jobs still release their drives through the libburn thread, so it
    // keeps running until they have ended.
    for (const auto &job : m_jobs)
        job->thread.join();
    m_jobs.clear();
    m_thread->quit();
    m_thread->wait();
    // The thread has ended: its object and any requests still posted to it
    // can go from here.
    delete m_onThread;
}

std::shared_ptr<LibburnWorker> LibburnWorker::shared()
{
    QMutexLocker lock(&sharedLock);
    std::shared_ptr<LibburnWorker> worker = sharedWorker.lock();
    if (!worker) {
        worker.reset(new LibburnWorker);
        sharedWorker = worker;
    }
    return worker;
}

quint64 LibburnWorker::messageMark()
{
    QMutexLocker lock(&messageLog.lock);
    messageLog.drain();
    return messageLog.taken;
}

QString LibburnWorker::lastMessageSince(quint64 mark)
{
    QMutexLocker lock(&messageLog.lock);
    messageLog.drain();
    for (auto it = messageLog.recent.crbegin(); it != messageLog.recent.crend() && it->number > mark; ++it) {
        if (it->complaint)
            return it->text;
    }
    return {};
}

QStringList LibburnWorker::complaintsSince(quint64 mark, quint64 until)
{
    QMutexLocker lock(&messageLog.lock);
    messageLog.drain();
    QStringList complaints;
    for (const MessageLog::Entry &entry : std::as_const(messageLog.recent)) {
        if (entry.number > mark && entry.number <= until && entry.complaint)
            complaints.append(entry.text);
    }
    return complaints;
}

bool LibburnWorker::writeRefusedSince(quint64 mark)
{
    QMutexLocker lock(&messageLog.lock);
    messageLog.drain();
    const bool refused = std::any_of(messageLog.recent.cbegin(), messageLog.recent.cend(), [mark](const auto &e) {
        return e.number > mark && std::find(std::begin(writeRefusals), std::end(writeRefusals), e.code) != std::end(writeRefusals);
    });
    messageLog.writeThreads += refused ? 0 : 1;
    return refused;
}

bool LibburnWorker::claimFarewell(quint64 mark)
{
    QMutexLocker lock(&messageLog.lock);
    messageLog.drain();
    for (MessageLog::Entry &entry : messageLog.recent) {
        if (entry.number > mark && entry.farewell && !entry.claimed) {
            entry.claimed = true;
            return true;
        }
    }
    return false;
}

void LibburnWorker::awaitWriteThreads(std::chrono::milliseconds patience)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        {
            QMutexLocker lock(&messageLog.lock);
            messageLog.drain();
            if (messageLog.farewells >= messageLog.writeThreads)
                return;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            qCWarning(lcLibburnWorker) << "libburn's write threads did not all end";
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool LibburnWorker::call(const std::function<void()> &work)
{
    std::promise<bool> ran;
    std::future<bool> done = ran.get_future();
    Thread *thread = m_thread.get();
    QMetaObject::invokeMethod(
        m_onThread,
        [&work, &ran, thread] {
            if (thread->ready)
                work();
            ran.set_value(thread->ready);
        },
        Qt::QueuedConnection);
    return done.get();
}

void LibburnWorker::startJob(std::function<void()> body)
{
    // Threads that have ended are joined here, so they don't pile up.
    std::erase_if(m_jobs, [](const std::unique_ptr<JobThread> &job) {
        if (!job->finished->load())
            return false;
        job->thread.join();
        return true;
    });
    auto job = std::make_unique<JobThread>();
    job->thread = std::thread([body = std::move(body), finished = job->finished] {
        body();
        finished->store(true);
    });
    m_jobs.push_back(std::move(job));
}

void LibburnWorker::submit(const QString &address, Action action, QObject *receiver, Reply reply)
{
    QPointer<QObject> guard(receiver);
    QObject *home = m_home.get();
    const std::atomic<bool> *stopping = &m_stopping;
    Thread *thread = m_thread.get();
    QMetaObject::invokeMethod(
        m_onThread,
        [address = address.toLocal8Bit(), action, guard = std::move(guard), reply = std::move(reply), home,
         stopping, thread]() mutable {
            if (stopping->load())
                return;
            DriveReading reading;
            if (thread->ready) {
                reading = perform(address, action);
            } else {
                reading.error = QStringLiteral("libburn could not be started.");
            }
            // `home` outlives this call: the worker waits for it before
            // deleting anything.
            QMetaObject::invokeMethod(
                home,
                [guard = std::move(guard), reply = std::move(reply), reading = std::move(reading)] {
                    if (guard)
                        reply(reading);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}
