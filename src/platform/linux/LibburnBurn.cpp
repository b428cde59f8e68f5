#include "platform/linux/LibburnBurn.h"

#include "base/TDError.h"
#include "platform/linux/DriveFacts.h"
#include "platform/linux/LibburnWorker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include <libburn/libburn.h>

using namespace burn;

namespace {

// The first track of a CD always has this lead-in gap, written by libburn.
constexpr quint32 firstGap = 150;

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

// The write speed from the bytes libburn has taken in, smoothed over the
// polls.
struct WriteSpeed
{
    off_t lastBytes = 0;
    std::chrono::steady_clock::time_point lastTime = std::chrono::steady_clock::now();
    double speed = 0;

    double update(off_t bufferedBytes)
    {
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - lastTime).count();
        if (seconds > 0.05 && bufferedBytes >= lastBytes) {
            const double current = double(bufferedBytes - lastBytes) / 1000.0 / seconds;
            speed = speed > 0 ? 0.6 * speed + 0.4 * current : current;
            lastBytes = bufferedBytes;
            lastTime = now;
        }
        return speed;
    }
};

JobStatus writeStatus(burn_drive_status status, const burn_progress &progress, const QList<qint64> &trackBlocks,
                      WriteSpeed &speed)
{
    JobStatus s;
    s.state = stateFor(status);
    if (s.state == DiscJobState::trackOpen || s.state == DiscJobState::trackWrite || s.state == DiscJobState::trackClose)
        s.currentTrack = progress.track + 1;
    if (s.state == DiscJobState::trackWrite)
        s.percent = DriveFacts::writePercent(trackBlocks, progress.track, progress.sector);
    const double current = speed.update(progress.buffered_bytes);
    s.speed = s.state == DiscJobState::trackWrite ? current : 0;
    return s;
}

} // namespace

QString LibburnJob::Run::burn()
{
    return LibburnBurn(*this).run();
}

LibburnBurn::LibburnBurn(LibburnJob::Run &run)
    : m_run(run),
      m_tracks(run.layout.tracks),
      m_fromCue(!run.layout.cueSheet.isEmpty()),
      m_audio(!m_tracks.isEmpty() && m_tracks.first().kind == BurnTrack::Kind::audio),
      m_cueCopy(QDir::temp().filePath(QStringLiteral("tandor-XXXXXX.cue")))
{
}

QString LibburnBurn::run()
{
    // Producers are set up before the drive is taken: a missing file must not
    // cost a grab.
    if (const QString failure = openProducers(); !failure.isEmpty())
        return failure;
    if (!m_run.grab()) {
        m_run.release(false);
        closeProducers();
        return m_run.complaint(QStringLiteral("The burner could not be opened."));
    }

    createDisc();
    checkMedium();
    if (m_error.isEmpty() && m_fromCue)
        copyCueSheet();
    if (m_error.isEmpty()) {
        if (m_fromCue)
            readCueSheet();
        else
            addTracks();
    }
    countTrackBlocks();

    if (m_error.isEmpty()) {
        setWriteOptions();
        chooseWriteType();
    }
    // CD-Text goes into the lead-in, which only a disc-at-once write has.
    if (m_error.isEmpty() && m_audio && m_atOnce && m_run.properties.cdText && !m_fromCue)
        addCdText();
    if (m_error.isEmpty())
        precheck();
    if (m_error.isEmpty())
        fillFirstFifo();
    if (m_error.isEmpty() && m_run.abortRequested)
        m_error = stoppedText;
    if (m_error.isEmpty())
        write();
    endBurnPass();

    if (m_run.properties.verify && !m_run.properties.test) {
        m_run.readBack = ReadBack{};
        if (m_error.isEmpty() && m_fromCue)
            takeSheetTracks();
        if (m_error.isEmpty())
            locateTracks();
    }
    if (m_error.isEmpty() && !m_places.isEmpty())
        readBack();
    return releaseAll();
}

QString LibburnBurn::openProducers()
{
    for (int i = 0; i < m_tracks.size(); ++i) {
        const BurnTrack &track = m_tracks[i];
        auto feed = std::make_shared<LibburnFeed>();
        feed->producer = track.producer;
        feed->blockSize = track.blockSize > 0 ? track.blockSize : 2048;
        feed->dataBlocks = track.lengthBlocks > 0 ? track.lengthBlocks : track.producer->estimateLength();
        feed->gapBlocks = i > 0 ? track.preGapFrames : 0;
        if (!track.producer->prepareTrack()) {
            for (const auto &f : std::as_const(m_feeds))
                f->producer->cleanupTrackAfterVerification();
            return QStringLiteral("The data for track %1 couldn't be opened.").arg(i + 1);
        }
        m_feeds.append(feed);
        m_verified.append(false);
    }
    return {};
}

void LibburnBurn::endBurnPass()
{
    if (m_burnPassEnded)
        return;
    m_burnPassEnded = true;
    for (const auto &feed : std::as_const(m_feeds)) {
        feed->close();
        feed->producer->cleanupTrackAfterBurn();
    }
}

void LibburnBurn::closeProducers()
{
    endBurnPass();
    for (int i = 0; i < m_feeds.size(); ++i) {
        if (!m_verified[i])
            m_feeds[i]->producer->cleanupTrackAfterVerification();
    }
    m_feeds.clear();
}

void LibburnBurn::createDisc()
{
    m_disc = burn_disc_create();
    m_session = burn_session_create();
    burn_disc_add_session(m_disc, m_session, BURN_POS_END);
    m_opts = burn_write_opts_new(m_run.drive);
}

void LibburnBurn::checkMedium()
{
    switch (burn_disc_get_status(m_run.drive)) {
    case BURN_DISC_BLANK:
    case BURN_DISC_APPENDABLE:
        break;
    case BURN_DISC_EMPTY:
        m_error = QStringLiteral("There is no disc in the burner.");
        break;
    case BURN_DISC_FULL:
        m_error = QStringLiteral("The disc in the burner is full: it can't be written.");
        break;
    default:
        m_error = QStringLiteral("The disc in the burner can't be written.");
        break;
    }
}

void LibburnBurn::copyCueSheet()
{
    const QString &cueSheet = m_run.layout.cueSheet;
    QString text;
    try {
        // A .toc comes as the cue sheet it amounts to.
        text = DiscSheet::cueTextFor(cueSheet);
        // libburn's cue reader feeds the sheet's files itself: the
        // read-back compares the disc with them as the sheet describes them.
        if (m_run.properties.verify && !m_run.properties.test)
            m_sheet = DiscSheet::read(cueSheet);
    } catch (const TDError &e) {
        m_error = e.text();
        return;
    }
    if (!m_cueCopy.open()) {
        m_error = QStringLiteral("The cue sheet couldn't be read.");
        return;
    }
    m_cueCopy.write(DriveFacts::cueSheetWithFilesIn(text, QFileInfo(cueSheet).absolutePath()).toUtf8());
    m_cueCopy.flush();
}

void LibburnBurn::readCueSheet()
{
    QByteArray path = m_cueCopy.fileName().toLocal8Bit();
    if (burn_session_by_cue_file(m_session, path.data(), LibburnFeed::fifoBytes, nullptr, &m_textPacks, &m_packCount,
                                 0)
        <= 0)
        m_error = m_run.complaint(QStringLiteral("The cue sheet couldn't be read."));
}

void LibburnBurn::addTracks()
{
    for (int i = 0; i < m_feeds.size() && m_error.isEmpty(); ++i) {
        const BurnTrack &track = m_tracks[i];
        burn_track *t = burn_track_create();
        burn_track_define_data(t, 0, 0, 1, track.kind == BurnTrack::Kind::audio ? BURN_AUDIO : BURN_MODE1);
        if (!track.isrc.isEmpty()) {
            QByteArray isrc = track.isrc.toLatin1();
            if (burn_track_set_isrc_string(t, isrc.data(), 0) <= 0)
                m_error = QStringLiteral("The ISRC of track %1, %2, can't be written.").arg(i + 1).arg(track.isrc);
        }
        if (i == 0 && track.preGapFrames > firstGap)
            burn_track_set_pregap_size(t, int(track.preGapFrames), 0);
        if (m_feeds[i]->gapBlocks > 0) {
            // The gap comes from the producer; at once it lies before the
            // track's start, track at once keeps it inside the track.
            burn_track_set_index(t, 0, 0, 0);
            burn_track_set_index(t, 1, unsigned(m_feeds[i]->gapBlocks), 0);
        }
        burn_source *fifo = LibburnFeed::fifo(m_feeds[i]);
        if (!fifo || burn_track_set_source(t, fifo) != BURN_SOURCE_OK)
            m_error = QStringLiteral("The burn couldn't be set up.");
        if (fifo && i == 0 && m_error.isEmpty())
            m_firstFifo = fifo;
        else if (fifo)
            burn_source_free(fifo);
        burn_session_add_track(m_session, t, BURN_POS_END);
        burn_track_free(t);
    }
}

void LibburnBurn::countTrackBlocks()
{
    m_built = burn_session_get_tracks(m_session, &m_builtCount);
    for (int i = 0; i < m_builtCount; ++i)
        m_trackBlocks.append(burn_track_get_sectors(m_built[i]));
}

void LibburnBurn::setWriteOptions()
{
    const BurnProperties &properties = m_run.properties;
    burn_write_opts_set_simulate(m_opts, properties.test ? 1 : 0);
    burn_write_opts_set_underrun_proof(m_opts, properties.underrunProtection ? 1 : 0);
    burn_write_opts_set_multi(m_opts, properties.appendable ? 1 : 0);
    burn_write_opts_set_perform_opc(m_opts, 1);
    if (m_textPacks && m_packCount > 0)
        burn_write_opts_set_leadin_text(m_opts, m_textPacks, m_packCount, 0);
    // A cue sheet brings its own CATALOG line.
    if (!m_fromCue && properties.catalog.size() == 13) {
        QByteArray mcn = properties.catalog.toLatin1();
        burn_write_opts_set_mediacatalog(m_opts, reinterpret_cast<unsigned char *>(mcn.data()));
        burn_write_opts_set_has_mediacatalog(m_opts, 1);
    }
    burn_drive_set_speed(m_run.drive, 0,
                         properties.requestedSpeed > 0 ? int(std::ceil(properties.requestedSpeed)) : 0);
}

void LibburnBurn::chooseWriteType()
{
    char reasons[BURN_REASONS_LEN] = {};
    const auto accepts = [&](burn_write_types type, int block) {
        reasons[0] = 0;
        return burn_write_opts_set_write_type(m_opts, type, block) == 1
            && burn_write_opts_auto_write_type(m_opts, m_disc, reasons, 1) != BURN_WRITE_NONE;
    };
    // A cue sheet carries its gaps and text for a disc-at-once write.
    const bool wantAtOnce = m_run.properties.sao || m_fromCue;
    m_atOnce = wantAtOnce && accepts(BURN_WRITE_SAO, BURN_BLOCK_SAO);
    if (wantAtOnce && !m_atOnce && m_run.properties.strategyRequired) {
        m_error = reasonsText(reasons);
        if (m_error.isEmpty())
            m_error = QStringLiteral("The burner can't write this disc at once.");
    } else if (!m_atOnce && !accepts(BURN_WRITE_TAO, BURN_BLOCK_MODE1)) {
        reasons[0] = 0;
        const burn_write_types chosen = burn_write_opts_auto_write_type(m_opts, m_disc, reasons, 0);
        if (chosen == BURN_WRITE_NONE) {
            m_error = reasonsText(reasons);
            if (m_error.isEmpty())
                m_error = m_run.complaint(QStringLiteral("The burner can't write this disc."));
        }
        m_atOnce = chosen == BURN_WRITE_SAO;
    }
}

void LibburnBurn::addCdText()
{
    const CDText &text = *m_run.properties.cdText;
    int codes[8] = {}, copyrights[8] = {}, languages[8] = {};
    languages[0] = DriveFacts::cdTextLanguage(text.language);
    burn_session_set_cdtext_par(m_session, codes, copyrights, languages, 0);
    const auto setDisc = [&](const char *kind, const QString &value) {
        QByteArray bytes = cdText(value);
        QByteArray name(kind);
        burn_session_set_cdtext(m_session, 0, 0, name.data(), reinterpret_cast<unsigned char *>(bytes.data()),
                                int(bytes.size()), 0);
    };
    if (!text.discTitle.isEmpty())
        setDisc("TITLE", text.discTitle);
    if (!text.discPerformer.isEmpty())
        setDisc("PERFORMER", text.discPerformer);
    for (int i = 0; i < m_builtCount; ++i) {
        const auto setTrack = [&](const char *kind, const QString &value) {
            QByteArray bytes = cdText(value);
            QByteArray name(kind);
            burn_track_set_cdtext(m_built[i], 0, 0, name.data(), reinterpret_cast<unsigned char *>(bytes.data()),
                                  int(bytes.size()), 0);
        };
        setTrack("TITLE", text.trackTitles.value(i));
        if (!text.trackPerformers.value(i).isEmpty())
            setTrack("PERFORMER", text.trackPerformers.value(i));
    }
}

void LibburnBurn::precheck()
{
    char reasons[BURN_REASONS_LEN] = {};
    if (burn_precheck_write(m_opts, m_disc, reasons, 1) != 1)
        m_error = reasonsText(reasons).isEmpty() ? m_run.complaint(QStringLiteral("The burner can't write this disc."))
                                                 : reasonsText(reasons);
}

// A drive takes in a whole buffer's worth the moment the write starts, and
// libburn's writer sleeps 50 ms whenever it finds the fifo empty: a burner at
// 12x drains 2.7 MB meanwhile. A fifo that starts full, and is larger than
// the drive's buffer, rides out that first gulp. A source too slow to fill it
// in two seconds couldn't keep up with the burner anyway.
void LibburnBurn::fillFirstFifo()
{
    if (!m_firstFifo || burn_fifo_fill(m_firstFifo, 0, 0) != 1)
        return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    const int room = 2 * LibburnFeed::readBytes(m_feeds.first()->blockSize);
    while (!m_run.abortRequested && std::chrono::steady_clock::now() < deadline) {
        int size = 0, free = 0;
        char *state = nullptr;
        const int status = burn_fifo_inquire_status(m_firstFifo, &size, &free, &state);
        if (status < 0 || (status & 2) || free < room)
            break;
        m_run.pause(std::chrono::milliseconds(20));
    }
}

void LibburnBurn::write()
{
    const quint64 writeMark = LibburnWorker::messageMark();
    burn_disc_write(m_opts, m_disc);
    const bool refused = LibburnWorker::writeRefusedSince(writeMark);
    if (!refused) {
        followWrite();
        m_run.waitForThread(writeMark);
    }
    m_wrote = !refused && burn_drive_wrote_well(m_run.drive) == 1;
    if (m_run.abortRequested)
        m_error = stoppedText;
    else if (!m_wrote)
        m_error = m_run.complaint(QStringLiteral("The burn failed."));
}

// Polls the write until the drive is idle: posts its progress and passes an
// abort on to libburn.
void LibburnBurn::followWrite()
{
    WriteSpeed speed;
    burn_progress progress{};
    for (;;) {
        const burn_drive_status status = burn_drive_get_status(m_run.drive, &progress);
        if (m_run.abortRequested) {
            // Harmless to repeat; a closed feed also stops the fifo.
            burn_drive_cancel(m_run.drive);
            for (const auto &f : std::as_const(m_feeds))
                f->close();
        }
        if (status == BURN_DRIVE_IDLE) {
            m_run.stopped = LibburnWorker::messageMark();
            break;
        }
        m_run.post(writeStatus(status, progress, m_trackBlocks, speed));
        m_run.pause();
    }
}

QString LibburnBurn::releaseAll()
{
    if (m_firstFifo)
        burn_source_free(m_firstFifo);
    if (m_opts)
        burn_write_opts_free(m_opts);
    burn_session_free(m_session);
    burn_disc_free(m_disc);
    free(m_textPacks);
    closeProducers();
    if (m_error.isEmpty() && m_wrote) {
        JobStatus s;
        s.state = DiscJobState::finishing;
        m_run.post(s);
    }
    m_run.release(m_error.isEmpty() && m_run.properties.completion == CompletionAction::eject);
    return m_error;
}
