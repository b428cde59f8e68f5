#include "platform/linux/LibburnJob.h"

#include "platform/linux/DriveFacts.h"
#include "platform/linux/LibburnWorker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QTemporaryFile>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include <libburn/libburn.h>

using namespace burn;

Q_LOGGING_CATEGORY(lcLibburnJob, "tandor.burn", QtWarningMsg)

namespace {

constexpr auto pollInterval = std::chrono::milliseconds(200);
// Blocks the read-back compares in one go.
constexpr int verifyChunkBlocks = 32;
// libburn's fifo between a producer and the writer. A small one starves the
// writer (it sleeps whenever the fifo runs dry); 4 MiB keeps it busy.
constexpr int fifoBytes = 4 * 1024 * 1024;
// The first track of a CD always has this lead-in gap, written by libburn.
constexpr quint32 firstGap = 150;

const QString stoppedText = QStringLiteral("The burn was stopped.");

// One track's data as libburn reads it: the pre-gap, then the track, both
// from the producer. libburn's fifo thread calls read(); the job thread
// closes the feed before it cleans the producer up, so the two never meet.
struct Feed
{
    std::shared_ptr<TrackProducer> producer;
    quint32 blockSize = 2048;
    quint64 gapBlocks = 0;
    quint64 dataBlocks = 0;

    std::mutex lock;
    bool closed = false;
    quint64 position = 0;          // bytes handed out
    QByteArray staging;            // one block, for reads that split a block
    quint64 stagedBlock = ~quint64(0);

    quint64 totalBytes() const { return (gapBlocks + dataBlocks) * blockSize; }

    // Fills `count` blocks from `block` on, all in the gap or all in the data.
    void produce(quint64 block, quint64 count, char *out)
    {
        const quint32 length = quint32(count * blockSize);
        quint32 made = block < gapBlocks ? producer->producePreGap(out, length, block, blockSize)
                                         : producer->produceData(out, length, block - gapBlocks, blockSize);
        if (made < length)
            std::memset(out + made, 0, length - made);
    }

    int read(unsigned char *buffer, int size)
    {
        std::lock_guard guard(lock);
        if (closed)
            return -1;
        const quint64 total = totalBytes();
        if (position >= total || size <= 0)
            return 0;
        const quint64 wanted = std::min<quint64>(quint64(size), total - position);
        quint64 done = 0;
        while (done < wanted) {
            const quint64 block = position / blockSize;
            const quint64 offset = position % blockSize;
            if (offset == 0 && wanted - done >= blockSize) {
                const quint64 regionEnd = block < gapBlocks ? gapBlocks : gapBlocks + dataBlocks;
                const quint64 count = std::min<quint64>((wanted - done) / blockSize, regionEnd - block);
                produce(block, count, reinterpret_cast<char *>(buffer + done));
                done += count * blockSize;
                position += count * blockSize;
            } else {
                if (stagedBlock != block) {
                    staging.resize(blockSize);
                    produce(block, 1, staging.data());
                    stagedBlock = block;
                }
                const quint64 part = std::min<quint64>(blockSize - offset, wanted - done);
                std::memcpy(buffer + done, staging.constData() + offset, part);
                done += part;
                position += part;
            }
        }
        return int(done);
    }

    void close()
    {
        std::lock_guard guard(lock);
        closed = true;
    }
};

Feed *feedOf(burn_source *source)
{
    return static_cast<std::shared_ptr<Feed> *>(source->data)->get();
}

int feedRead(burn_source *source, unsigned char *buffer, int size)
{
    return feedOf(source)->read(buffer, size);
}

off_t feedSize(burn_source *source)
{
    return off_t(feedOf(source)->totalBytes());
}

int feedSetSize(burn_source *, off_t)
{
    // The size is fixed by the layout; libburn pads or trims by itself.
    return 1;
}

void feedFree(burn_source *source)
{
    delete static_cast<std::shared_ptr<Feed> *>(source->data);
}

// A fifo source over `feed`, owning one reference; nullptr on failure.
burn_source *fifoFor(const std::shared_ptr<Feed> &feed)
{
    auto *source = static_cast<burn_source *>(calloc(1, sizeof(burn_source)));
    if (!source)
        return nullptr;
    source->refcount = 1;
    source->read = feedRead;
    source->get_size = feedSize;
    source->set_size = feedSetSize;
    source->free_data = feedFree;
    source->data = new std::shared_ptr<Feed>(feed);
    const int chunk = int(feed->blockSize);
    burn_source *fifo = burn_fifo_source_new(source, chunk, std::max(2, fifoBytes / chunk), 1);
    burn_source_free(source);
    return fifo;
}

DiscJobState stateFor(burn_drive_status status)
{
    switch (status) {
    case BURN_DRIVE_IDLE:
    case BURN_DRIVE_SPAWNING:
    case BURN_DRIVE_GRABBING:
        return DiscJobState::preparing;
    case BURN_DRIVE_WRITING_LEADIN:
        return DiscJobState::sessionOpen;
    case BURN_DRIVE_WRITING_PREGAP:
        return DiscJobState::trackOpen;
    case BURN_DRIVE_WRITING:
    case BURN_DRIVE_WRITING_SYNC:
        return DiscJobState::trackWrite;
    case BURN_DRIVE_CLOSING_TRACK:
        return DiscJobState::trackClose;
    case BURN_DRIVE_WRITING_LEADOUT:
    case BURN_DRIVE_CLOSING_SESSION:
        return DiscJobState::sessionClose;
    case BURN_DRIVE_ERASING:
    case BURN_DRIVE_FORMATTING:
        return DiscJobState::erasing;
    case BURN_DRIVE_READING:
    case BURN_DRIVE_READING_SYNC:
        return DiscJobState::verifying;
    }
    return DiscJobState::preparing;
}

QString reasonsText(const char *reasons)
{
    QString text = QString::fromLocal8Bit(reasons).trimmed();
    while (text.endsWith(QLatin1Char(',')))
        text.chop(1);
    return text.trimmed();
}

QByteArray cdText(const QString &text)
{
    QByteArray bytes = text.toLatin1(); // characters outside Latin-1 become '?'
    bytes.append('\0');
    return bytes;
}

} // namespace

struct LibburnJob::Run : std::enable_shared_from_this<LibburnJob::Run>
{
    // Fixed before the thread starts.
    LibburnWorker *worker = nullptr;
    QByteArray address;
    bool isErase = false;
    EraseType eraseType = EraseType::quick;
    BurnProperties properties;
    BurnLayout layout;

    // Main thread only.
    QPointer<LibburnJob> job;
    std::function<void()> ended;

    // Between threads.
    std::atomic<bool> abortRequested{false};
    std::mutex wakeLock;
    std::condition_variable wake;

    // Job thread only.
    burn_drive_info *infos = nullptr;
    burn_drive *drive = nullptr;
    quint64 mark = 0;
    JobStatus last;
    bool posted = false;

    void execute();
    QString burn();
    QString erase();

    void post(const JobStatus &status);
    void finish(const QString &error);
    bool grab();
    void release(bool eject);
    // Waits one poll interval, or less when an abort comes.
    void pause();
    // Waits until libburn's thread for the write or erase begun after
    // `mark` has let go of the drive.
    void waitForThread(quint64 mark);
    QString complaint(const QString &fallback) const;
};

void LibburnJob::Run::post(const JobStatus &status)
{
    if (posted && status.state == last.state && status.currentTrack == last.currentTrack
        && qAbs(status.percent - last.percent) < 0.001 && qAbs(status.speed - last.speed) < 1)
        return;
    posted = true;
    last = status;
    QMetaObject::invokeMethod(
        worker->home(),
        [self = shared_from_this(), status] {
            if (self->job)
                self->job->deliver(status);
        },
        Qt::QueuedConnection);
}

void LibburnJob::Run::finish(const QString &error)
{
    JobStatus status;
    status.state = error.isEmpty() ? DiscJobState::done : DiscJobState::failed;
    status.errorText = error;
    if (status.state == DiscJobState::done)
        status.percent = 1;
    posted = false; // the final status always goes out
    post(status);
}

QString LibburnJob::Run::complaint(const QString &fallback) const
{
    const QString text = LibburnWorker::lastMessageSince(mark);
    return text.isEmpty() ? fallback : text;
}

void LibburnJob::Run::pause()
{
    std::unique_lock guard(wakeLock);
    wake.wait_for(guard, pollInterval, [this] { return abortRequested.load(); });
}

void LibburnJob::Run::waitForThread(quint64 mark)
{
    // libburn reports the drive idle a little before its write thread lets
    // go of it (after a cancel, once the fifo has wound down: up to about a
    // second). Releasing the drive in between would pull it from under that
    // thread, and the next write on it would be refused, so wait for the
    // thread's farewell.
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + seconds(10);
    while (!LibburnWorker::messageSince(mark, QStringLiteral("thread on drive"), QStringLiteral("ended"))) {
        if (steady_clock::now() > deadline) {
            qCWarning(lcLibburnJob) << "libburn's write thread did not say it ended";
            return;
        }
        std::this_thread::sleep_for(milliseconds(20));
    }
    // The message comes just before the thread leaves libburn's list.
    std::this_thread::sleep_for(milliseconds(50));
}

bool LibburnJob::Run::grab()
{
    const bool started = worker->call([this] {
        if (address.size() >= BURN_DRIVE_ADR_LEN)
            return;
        char adr[BURN_DRIVE_ADR_LEN];
        qstrncpy(adr, address.constData(), sizeof adr);
        // load = 1: a burn needs the tray closed.
        if (burn_drive_scan_and_grab(&infos, adr, 1) == 1 && infos)
            drive = infos[0].drive;
    });
    return started && drive;
}

void LibburnJob::Run::release(bool eject)
{
    if (!drive && !infos)
        return;
    worker->call([this, eject] {
        if (drive)
            burn_drive_release(drive, eject ? 1 : 0);
        if (infos)
            burn_drive_info_free(infos);
    });
    drive = nullptr;
    infos = nullptr;
}

void LibburnJob::Run::execute()
{
    mark = LibburnWorker::messageMark();
    JobStatus preparing;
    preparing.state = isErase ? DiscJobState::erasing : DiscJobState::preparing;
    post(preparing);
    const QString error = isErase ? erase() : burn();
    // The producers go now, not when the job object does.
    layout = BurnLayout();
    finish(error);
}

QString LibburnJob::Run::erase()
{
    if (!grab()) {
        release(false);
        return complaint(QStringLiteral("The burner could not be opened."));
    }
    if (burn_disc_get_status(drive) == BURN_DISC_EMPTY) {
        release(false);
        return QStringLiteral("There is no disc in the burner.");
    }
    const quint64 eraseMark = LibburnWorker::messageMark();
    burn_disc_erase(drive, eraseType == EraseType::quick ? 1 : 0);
    burn_progress progress{};
    burn_drive_status status;
    // libburn may still be starting the erase when the call returns.
    while ((status = burn_drive_get_status(drive, &progress)) != BURN_DRIVE_IDLE) {
        JobStatus s;
        s.state = DiscJobState::erasing;
        if (status == BURN_DRIVE_ERASING && progress.sectors > 0)
            s.percent = std::clamp(double(progress.sector) / double(progress.sectors), 0.0, 1.0);
        post(s);
        std::this_thread::sleep_for(pollInterval);
    }
    // A refused erase leaves the drive idle without touching the outcome of
    // the previous job on it; libburn's complaint tells.
    QString said = LibburnWorker::lastMessageSince(eraseMark);
    if (said.isEmpty()) {
        waitForThread(eraseMark);
        said = LibburnWorker::lastMessageSince(eraseMark);
    }
    const bool ok = burn_drive_wrote_well(drive) == 1 && said.isEmpty();
    release(false);
    return ok ? QString() : (said.isEmpty() ? QStringLiteral("The erase failed.") : said);
}

QString LibburnJob::Run::burn()
{
    const QList<BurnTrack> &tracks = layout.tracks;
    const bool fromCue = !layout.cueSheet.isEmpty();
    QList<std::shared_ptr<Feed>> feeds;
    QList<bool> verified;

    // Producers are set up before the drive is taken: a missing file must not
    // cost a grab.
    for (int i = 0; i < tracks.size(); ++i) {
        const BurnTrack &track = tracks[i];
        auto feed = std::make_shared<Feed>();
        feed->producer = track.producer;
        feed->blockSize = track.blockSize > 0 ? track.blockSize : 2048;
        feed->dataBlocks = track.lengthBlocks > 0 ? track.lengthBlocks : track.producer->estimateLength();
        feed->gapBlocks = i > 0 ? track.preGapFrames : 0;
        if (!track.producer->prepareTrack()) {
            for (const auto &f : std::as_const(feeds))
                f->producer->cleanupTrackAfterVerification();
            return QStringLiteral("The data for track %1 couldn't be opened.").arg(i + 1);
        }
        feeds.append(feed);
        verified.append(false);
    }
    // Everything the producers hold is closed on the way out, however the
    // burn ends.
    bool burnCleaned = false;
    const auto afterBurn = [&] {
        if (burnCleaned)
            return;
        burnCleaned = true;
        for (const auto &feed : std::as_const(feeds)) {
            feed->close();
            feed->producer->cleanupTrackAfterBurn();
        }
    };
    const auto closeProducers = [&] {
        afterBurn();
        for (int i = 0; i < feeds.size(); ++i) {
            if (!verified[i])
                feeds[i]->producer->cleanupTrackAfterVerification();
        }
        feeds.clear();
    };

    if (!grab()) {
        release(false);
        closeProducers();
        return complaint(QStringLiteral("The burner could not be opened."));
    }

    QString error;
    burn_disc *disc = burn_disc_create();
    burn_session *session = burn_session_create();
    burn_disc_add_session(disc, session, BURN_POS_END);
    burn_write_opts *opts = burn_write_opts_new(drive);
    unsigned char *textPacks = nullptr;
    int packCount = 0;
    QList<qint64> trackBlocks;
    const bool audio = !tracks.isEmpty() && tracks.first().kind == BurnTrack::Kind::audio;

    switch (burn_disc_get_status(drive)) {
    case BURN_DISC_BLANK:
    case BURN_DISC_APPENDABLE:
        break;
    case BURN_DISC_EMPTY:
        error = QStringLiteral("There is no disc in the burner.");
        break;
    case BURN_DISC_FULL:
        error = QStringLiteral("The disc in the burner is full: it can't be written.");
        break;
    default:
        error = QStringLiteral("The disc in the burner can't be written.");
        break;
    }

    // libburn opens a cue sheet's files relative to the working directory:
    // it gets a copy that names them by absolute path.
    QTemporaryFile cueCopy(QDir::temp().filePath(QStringLiteral("tandor-XXXXXX.cue")));
    if (error.isEmpty() && fromCue) {
        QFile original(layout.cueSheet);
        if (!original.open(QIODevice::ReadOnly) || !cueCopy.open()) {
            error = QStringLiteral("The cue sheet couldn't be read.");
        } else {
            cueCopy.write(DriveFacts::cueSheetWithFilesIn(QString::fromUtf8(original.readAll()),
                                                          QFileInfo(layout.cueSheet).absolutePath())
                              .toUtf8());
            cueCopy.flush();
        }
    }
    if (error.isEmpty() && fromCue) {
        QByteArray path = cueCopy.fileName().toLocal8Bit();
        if (burn_session_by_cue_file(session, path.data(), fifoBytes, nullptr, &textPacks, &packCount, 0) <= 0)
            error = complaint(QStringLiteral("The cue sheet couldn't be read."));
    } else if (error.isEmpty()) {
        for (int i = 0; i < feeds.size() && error.isEmpty(); ++i) {
            const BurnTrack &track = tracks[i];
            burn_track *t = burn_track_create();
            burn_track_define_data(t, 0, 0, 1, track.kind == BurnTrack::Kind::audio ? BURN_AUDIO : BURN_MODE1);
            if (i == 0 && track.preGapFrames > firstGap)
                burn_track_set_pregap_size(t, int(track.preGapFrames), 0);
            if (feeds[i]->gapBlocks > 0) {
                // The gap comes from the producer; at once it lies before the
                // track's start, track at once keeps it inside the track.
                burn_track_set_index(t, 0, 0, 0);
                burn_track_set_index(t, 1, unsigned(feeds[i]->gapBlocks), 0);
            }
            burn_source *fifo = fifoFor(feeds[i]);
            if (!fifo || burn_track_set_source(t, fifo) != BURN_SOURCE_OK)
                error = QStringLiteral("The burn couldn't be set up.");
            if (fifo)
                burn_source_free(fifo);
            burn_session_add_track(session, t, BURN_POS_END);
            burn_track_free(t);
        }
    }

    int tcount = 0;
    burn_track **built = burn_session_get_tracks(session, &tcount);
    for (int i = 0; i < tcount; ++i)
        trackBlocks.append(burn_track_get_sectors(built[i]));

    bool atOnce = false;
    if (error.isEmpty()) {
        burn_write_opts_set_simulate(opts, properties.test ? 1 : 0);
        burn_write_opts_set_underrun_proof(opts, properties.underrunProtection ? 1 : 0);
        burn_write_opts_set_multi(opts, properties.appendable ? 1 : 0);
        burn_write_opts_set_perform_opc(opts, 1);
        if (textPacks && packCount > 0)
            burn_write_opts_set_leadin_text(opts, textPacks, packCount, 0);
        burn_drive_set_speed(drive, 0, properties.requestedSpeed > 0 ? int(std::ceil(properties.requestedSpeed)) : 0);

        char reasons[BURN_REASONS_LEN] = {};
        const auto accepts = [&](burn_write_types type, int block) {
            reasons[0] = 0;
            return burn_write_opts_set_write_type(opts, type, block) == 1
                && burn_write_opts_auto_write_type(opts, disc, reasons, 1) != BURN_WRITE_NONE;
        };
        // A cue sheet carries its gaps and text for a disc-at-once write.
        const bool wantAtOnce = properties.sao || fromCue;
        atOnce = wantAtOnce && accepts(BURN_WRITE_SAO, BURN_BLOCK_SAO);
        if (wantAtOnce && !atOnce && properties.strategyRequired) {
            error = reasonsText(reasons);
            if (error.isEmpty())
                error = QStringLiteral("The burner can't write this disc at once.");
        } else if (!atOnce && !accepts(BURN_WRITE_TAO, BURN_BLOCK_MODE1)) {
            reasons[0] = 0;
            const burn_write_types chosen = burn_write_opts_auto_write_type(opts, disc, reasons, 0);
            if (chosen == BURN_WRITE_NONE) {
                error = reasonsText(reasons);
                if (error.isEmpty())
                    error = complaint(QStringLiteral("The burner can't write this disc."));
            }
            atOnce = chosen == BURN_WRITE_SAO;
        }
    }

    if (error.isEmpty() && audio && atOnce && properties.cdText && !fromCue) {
        // CD-Text goes into the lead-in, which only a disc-at-once write has.
        const CDText &text = *properties.cdText;
        int codes[8] = {}, copyrights[8] = {}, languages[8] = {};
        languages[0] = DriveFacts::cdTextLanguage(text.language);
        burn_session_set_cdtext_par(session, codes, copyrights, languages, 0);
        const auto setDisc = [&](const char *kind, const QString &value) {
            QByteArray bytes = cdText(value);
            QByteArray name(kind);
            burn_session_set_cdtext(session, 0, 0, name.data(), reinterpret_cast<unsigned char *>(bytes.data()),
                                    int(bytes.size()), 0);
        };
        if (!text.discTitle.isEmpty())
            setDisc("TITLE", text.discTitle);
        if (!text.discPerformer.isEmpty())
            setDisc("PERFORMER", text.discPerformer);
        for (int i = 0; i < tcount; ++i) {
            const auto setTrack = [&](const char *kind, const QString &value) {
                QByteArray bytes = cdText(value);
                QByteArray name(kind);
                burn_track_set_cdtext(built[i], 0, 0, name.data(), reinterpret_cast<unsigned char *>(bytes.data()),
                                      int(bytes.size()), 0);
            };
            setTrack("TITLE", text.trackTitles.value(i));
            if (!text.trackPerformers.value(i).isEmpty())
                setTrack("PERFORMER", text.trackPerformers.value(i));
        }
    }

    if (error.isEmpty()) {
        char reasons[BURN_REASONS_LEN] = {};
        if (burn_precheck_write(opts, disc, reasons, 1) != 1)
            error = reasonsText(reasons).isEmpty() ? complaint(QStringLiteral("The burner can't write this disc."))
                                                   : reasonsText(reasons);
    }

    bool wrote = false;
    if (error.isEmpty() && abortRequested)
        error = stoppedText;
    if (error.isEmpty()) {
            const quint64 writeMark = LibburnWorker::messageMark();
        burn_disc_write(opts, disc);
        // An accepted write leaves the drive busy before the call returns.
        const bool refused = burn_drive_get_status(drive, nullptr) == BURN_DRIVE_IDLE;
        off_t lastBytes = 0;
        auto lastTime = std::chrono::steady_clock::now();
        double speed = 0;
        burn_progress progress{};
        while (!refused) {
            const burn_drive_status status = burn_drive_get_status(drive, &progress);
            if (abortRequested) {
                // Harmless to repeat; a closed feed also stops the fifo.
                burn_drive_cancel(drive);
                for (const auto &f : std::as_const(feeds))
                    f->close();
            }
            if (status == BURN_DRIVE_IDLE)
                break;
            JobStatus s;
            s.state = stateFor(status);
            if (s.state == DiscJobState::trackOpen || s.state == DiscJobState::trackWrite || s.state == DiscJobState::trackClose)
                s.currentTrack = progress.track + 1;
            if (s.state == DiscJobState::trackWrite)
                s.percent = DriveFacts::writePercent(trackBlocks, progress.track, progress.sector);
            const auto now = std::chrono::steady_clock::now();
            const double seconds = std::chrono::duration<double>(now - lastTime).count();
            if (seconds > 0.05 && progress.buffered_bytes >= lastBytes) {
                const double current = double(progress.buffered_bytes - lastBytes) / 1000.0 / seconds;
                speed = speed > 0 ? 0.6 * speed + 0.4 * current : current;
                lastBytes = progress.buffered_bytes;
                lastTime = now;
            }
            s.speed = s.state == DiscJobState::trackWrite ? speed : 0;
            post(s);
            pause();
        }
        if (!refused)
            waitForThread(writeMark);
        wrote = !refused && burn_drive_wrote_well(drive) == 1;
        if (abortRequested)
            error = stoppedText;
        else if (!wrote)
            error = complaint(QStringLiteral("The burn failed."));
    }

    afterBurn();

    // Start addresses of the written tracks, for the read-back.
    QList<qint64> starts;
    if (error.isEmpty() && properties.verify && !properties.test && !fromCue) {
        JobStatus s;
        s.state = DiscJobState::finishing;
        post(s);
        burn_write_opts_free(opts);
        opts = nullptr;
        // libburn learns the new table of contents only from a fresh grab.
        release(false);
        if (!grab()) {
            release(false);
            error = complaint(QStringLiteral("The burner could not be opened again to check the disc."));
        } else if (burn_drive_get_drive_role(drive) == 1) {
            if (burn_disc *written = burn_drive_get_disc(drive)) {
                int sessionCount = 0;
                burn_session **sessions = burn_disc_get_sessions(written, &sessionCount);
                if (sessionCount > 0) {
                    int count = 0;
                    burn_track **list = burn_session_get_tracks(sessions[sessionCount - 1], &count);
                    for (int i = 0; i < count; ++i) {
                        burn_toc_entry entry{};
                        burn_track_get_entry(list[i], &entry);
                        starts.append((entry.extensions_valid & 1)
                                          ? entry.start_lba
                                          : burn_msf_to_lba(entry.pmin, entry.psec, entry.pframe));
                    }
                }
                burn_disc_free(written);
            }
            if (starts.size() != feeds.size())
                error = QStringLiteral("The burner couldn't tell where the tracks were written.");
        } else {
            // A file has no table of contents: the tracks lie one after the
            // other from its start.
            qint64 at = 0;
            for (const auto &feed : std::as_const(feeds)) {
                starts.append(at);
                at += qint64(feed->gapBlocks + feed->dataBlocks);
            }
        }
    }

    if (error.isEmpty() && !starts.isEmpty()) {
        JobStatus s;
        s.state = DiscJobState::verifying;
        s.percent = 0;
        post(s);
        qint64 totalBlocks = 0, doneBlocks = 0;
        for (const auto &feed : std::as_const(feeds))
            totalBlocks += qint64(feed->gapBlocks + feed->dataBlocks);
        const bool mmc = burn_drive_get_drive_role(drive) == 1;
        for (int i = 0; i < feeds.size() && error.isEmpty(); ++i) {
            Feed &feed = *feeds[i];
            const QString mismatch = QStringLiteral("The disc didn't match what was written (track %1).").arg(i + 1);
            if (!feed.producer->prepareTrackForVerification()) {
                error = QStringLiteral("Track %1 couldn't be opened again to check the disc.").arg(i + 1);
                break;
            }
            const bool isAudio = tracks[i].kind == BurnTrack::Kind::audio;
            // Disc-at-once puts the gap before the start in the table of
            // contents; otherwise the gap opens the track.
            const qint64 gapStart = atOnce && mmc ? starts[i] - qint64(feed.gapBlocks) : starts[i];
            QByteArray buffer(verifyChunkBlocks * int(feed.blockSize), Qt::Uninitialized);
            const quint64 blocks = feed.gapBlocks + feed.dataBlocks;
            for (quint64 block = 0; block < blocks && error.isEmpty();) {
                if (abortRequested) {
                    error = stoppedText;
                    break;
                }
                const quint64 regionEnd = block < feed.gapBlocks ? feed.gapBlocks : blocks;
                const quint64 count = std::min<quint64>(verifyChunkBlocks, regionEnd - block);
                const off_t bytes = off_t(count * feed.blockSize);
                off_t got = 0;
                const qint64 lba = gapStart + qint64(block);
                int ok = 0;
                if (isAudio)
                    ok = mmc ? burn_read_audio(drive, int(lba), buffer.data(), bytes, &got, 0) : 0;
                else
                    ok = burn_read_data(drive, off_t(lba) * 2048, buffer.data(), bytes, &got, 0);
                if (ok != 1 || got != bytes) {
                    error = complaint(QStringLiteral("The disc couldn't be read back (track %1).").arg(i + 1));
                    break;
                }
                const bool same = block < feed.gapBlocks
                                      ? feed.producer->verifyPreGap(buffer.constData(), quint32(bytes), block,
                                                                    feed.blockSize)
                                      : feed.producer->verifyData(buffer.constData(), quint32(bytes),
                                                                  block - feed.gapBlocks, feed.blockSize);
                if (!same)
                    error = mismatch;
                block += count;
                doneBlocks += qint64(count);
                JobStatus v;
                v.state = DiscJobState::verifying;
                v.currentTrack = i + 1;
                v.percent = totalBlocks > 0 ? double(doneBlocks) / double(totalBlocks) : -1;
                post(v);
            }
            feed.producer->cleanupTrackAfterVerification();
            verified[i] = true;
        }
    }

    if (opts)
        burn_write_opts_free(opts);
    burn_session_free(session);
    burn_disc_free(disc);
    free(textPacks);
    closeProducers();
    if (error.isEmpty() && wrote) {
        JobStatus s;
        s.state = DiscJobState::finishing;
        post(s);
    }
    release(error.isEmpty() && properties.completion == CompletionAction::eject);
    return error;
}

LibburnJob::LibburnJob(const std::shared_ptr<LibburnWorker> &worker, std::shared_ptr<Run> run)
    : m_worker(worker), m_run(std::move(run))
{
}

LibburnJob::~LibburnJob()
{
    if (!m_ended)
        abort();
}

void LibburnJob::abort()
{
    if (m_ended || m_run->isErase)
        return;
    {
        std::lock_guard guard(m_run->wakeLock);
        m_run->abortRequested = true;
    }
    m_run->wake.notify_all();
}

void LibburnJob::deliver(const JobStatus &status)
{
    if (m_ended)
        return;
    m_ended = status.state == DiscJobState::done || status.state == DiscJobState::failed;
    Q_EMIT statusChanged(status);
}

std::unique_ptr<LibburnJob> LibburnJob::start(const std::shared_ptr<LibburnWorker> &worker, std::shared_ptr<Run> run)
{
    run->worker = worker.get();
    std::unique_ptr<LibburnJob> job(new LibburnJob(worker, run));
    run->job = job.get();
    worker->startJob([run] {
        run->execute();
        // `ended` and the last reference go back to the main thread, after
        // the final status posted just before.
        QMetaObject::invokeMethod(
            run->worker->home(),
            [run] {
                if (run->ended)
                    run->ended();
            },
            Qt::QueuedConnection);
    });
    return job;
}

std::unique_ptr<LibburnJob> LibburnJob::startBurn(const std::shared_ptr<LibburnWorker> &worker,
                                                  const QString &address, const BurnProperties &properties,
                                                  const BurnLayout &layout, std::function<void()> ended)
{
    auto run = std::make_shared<Run>();
    run->address = address.toLocal8Bit();
    run->properties = properties;
    run->layout = layout;
    run->ended = std::move(ended);
    return start(worker, std::move(run));
}

std::unique_ptr<LibburnJob> LibburnJob::startErase(const std::shared_ptr<LibburnWorker> &worker,
                                                   const QString &address, EraseType type,
                                                   std::function<void()> ended)
{
    auto run = std::make_shared<Run>();
    run->address = address.toLocal8Bit();
    run->isErase = true;
    run->eraseType = type;
    run->ended = std::move(ended);
    return start(worker, std::move(run));
}
