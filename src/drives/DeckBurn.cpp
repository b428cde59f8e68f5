// A deck's audio burns, erases, the service's status, stop and their endings.

#include "drives/Deck.h"

#include "audio/AudioPrep.h"
#include "audio/CDAudioProducer.h"
#include "base/CancelToken.h"
#include "base/Format.h"
#include "base/OffMain.h"
#include "base/TDError.h"

#include <QFileInfo>
#include <QLocale>

namespace {
double unitFor(const std::optional<DriveSnapshot> &snapshot)
{
    switch (TDDetect::family(snapshot ? snapshot->mediaType : std::nullopt)) {
    case DiscFamily::dvd: return DRUnits::dvd1x;
    case DiscFamily::bd: return DRUnits::bd1x;
    default: return DRUnits::cd1x;
    }
}
} // namespace

void Deck::start(DiscProject *project, bool test, bool verify, bool matchLoudness, bool demo, const QString &job)
{
    if (busy())
        return;
    if (project->count() == 0) {
        logLine(QStringLiteral(": add some tracks first."));
        return;
    }
    if (project->totalSeconds() > DiscProject::cdSeconds) {
        logLine(QStringLiteral(": the tracks run over 80 minutes. Remove a track."));
        return;
    }
    if (!demo && !m_device) {
        logLine(QStringLiteral(": ") + TDMessages::noBurner);
        return;
    }
    if (!demo && m_snapshot && !m_snapshot->problem.isEmpty()) {
        logLine(QStringLiteral(": ") + m_snapshot->problem);
        return;
    }
    if (!demo && !m_blankLoaded) {
        logLine(QStringLiteral(": insert a blank CD-R first."));
        return;
    }
    setJobName(job);
    m_burnProject = project;
    setOp(Op::audio);
    setProgress(0);
    setCurrentTrack(0);
    setActualX(0);
    setBuffer(1.0);
    m_startedAt = QDateTime::currentDateTime();

    if (demo) {
        setState(State::burning);
        setPhase(QStringLiteral("Demo: writing lead-in"));
        QList<double> lengths;
        for (const TrackItem &t : project->tracks())
            lengths.append(t.seconds);
        const double seconds = demoOverride() > 0 ? demoOverride()
                                                  : demoAudioSeconds(project->totalSeconds(), demoSpeed(true));
        logLine(QStringLiteral(": demo burn at ")
                + (m_speedX == 0 ? QStringLiteral("max") : QString::number(m_speedX) + QStringLiteral("x"))
                + QStringLiteral(". No disc is used."));
        startDemo([this, seconds, lengths, verify, test] { demoAudioTick(seconds, lengths, verify, test); });
        return;
    }

    setState(State::preparing);
    setPhase(QStringLiteral("Preparing audio on the internal drive"));
    // The burn works on a copy: later edits of the project never reach it.
    const AudioBurn burn{project->tracks(), project->album(), project->artist(), project->catalog(),
                         project->gapSeconds(), test, verify};
    m_cancel = std::make_shared<CancelToken>();
    const auto token = m_cancel;
    const QPointer<QObject> self(this);
    QPointer<DiscProject> source(project);
    struct Prepared
    {
        QStringList files;
        QList<double> seconds;
        QList<qint64> clipped;
        QString error;
    };
    offMain(
        this,
        [this, self, token, burn, matchLoudness] {
            Prepared out;
            try {
                out.files = AudioPrep::prepare(
                    burn.tracks, matchLoudness,
                    [this, self](double f) {
                        postToMain(self, [this, f] {
                            if (m_state == State::preparing)
                                setProgress(0.02 * f);
                        });
                    },
                    token.get(), &out.seconds, &out.clipped);
            } catch (const PrepError &e) {
                out.error = e.text();
            } catch (const TDError &e) {
                out.error = e.text();
            }
            // Stopped (or the deck going) just as the audio got ready: no one
            // will burn these files.
            if (token->isCancelled()) {
                AudioPrep::cleanup(out.files);
                out.files.clear();
            }
            return out;
        },
        [this, source, token, burn, matchLoudness](const Prepared &prepared) {
            reportEarlyEnds(source, burn.tracks, prepared.seconds);
            // Stopped meanwhile: the stop has been reported, and a burn
            // started since has a preparation of its own.
            if (token->isCancelled())
                return;
            if (!prepared.error.isEmpty()) {
                if (m_state != State::preparing)
                    return; // stopped meanwhile; the stop has been reported
                setState(State::failed);
                setPhase(prepared.error);
                logLine(QStringLiteral(": ") + prepared.error);
                endAudioBurn();
                return;
            }
            reportClipping(burn.tracks, prepared.clipped, matchLoudness);
            m_prepared = prepared.files;
            beginBurn(prepared.files, burn);
        },
        &m_workers);
}

void Deck::reportEarlyEnds(DiscProject *project, const QList<TrackItem> &tracks, const QList<double> &seconds)
{
    for (qsizetype i = 0; i < tracks.size() && i < seconds.size(); ++i) {
        const TrackItem &t = tracks[i];
        const double real = seconds[i];
        if (real >= t.seconds - AudioPrep::earlyEndSeconds)
            continue;
        std::optional<double> listed;
        for (const TrackItem &now : project ? project->tracks() : QList<TrackItem>()) {
            if (now.id == t.id)
                listed = now.seconds;
        }
        // Decks burning the same list all find out; the first one says it.
        if (listed && *listed < real + AudioPrep::earlyEndSeconds)
            continue;
        logLine(QStringLiteral(": track ") + QString::number(i + 1) + QStringLiteral(", “")
                + QFileInfo(t.path).fileName() + QStringLiteral("”, ends early — only ") + fmt(real)
                + QStringLiteral(" of ") + fmt(t.seconds) + QStringLiteral(" could be read, so the disc gets ")
                + fmt(real) + QStringLiteral("."));
        if (listed)
            project->setTrackSeconds(t.id, real);
    }
}

void Deck::reportClipping(const QList<TrackItem> &tracks, const QList<qint64> &clipped, bool matchLoudness)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    for (qsizetype i = 0; i < tracks.size() && i < clipped.size(); ++i) {
        const qint64 n = clipped[i];
        if (n <= 0)
            continue;
        // Matching keeps every peak under full scale, which is worth knowing when it is off.
        logLine(QStringLiteral(": track ") + QString::number(i + 1) + QStringLiteral(", “")
                + QFileInfo(tracks[i].path).fileName() + QStringLiteral("” — ") + english.toString(n)
                + (n == 1 ? QStringLiteral(" sample was") : QStringLiteral(" samples were"))
                + QStringLiteral(" clipped to fit the CD's range.")
                + (matchLoudness ? QString() : QStringLiteral(" Match loudness would lower the track instead.")));
    }
}

void Deck::beginBurn(const QStringList &files, const AudioBurn &burn)
{
    if (m_state != State::preparing || !m_device) {
        removeLater(std::exchange(m_prepared, {}));
        return;
    }
    if (burn.test && !m_caps.testBurn) {
        logLine(QStringLiteral(": this burner can't do test burns. Stopped so no disc is used."));
        setState(State::stopped);
        setPhase(QStringLiteral("This burner can't do test burns"));
        removeLater(std::exchange(m_prepared, {}));
        return;
    }

    BurnLayout layout;
    auto producers = std::make_shared<QList<std::shared_ptr<CDAudioProducer>>>();
    for (int i = 0; i < files.size(); ++i) {
        auto producer = std::make_shared<CDAudioProducer>(files[i]);
        producers->append(producer);
        layout.tracks.append({BurnTrack::Kind::audio, producer, producer->frames(), CDAudioProducer::blockBytes,
                              CDAudioProducer::preGapFrames(i, burn.gap), burn.tracks.value(i).isrc});
    }
    m_keepAlive = producers;

    BurnProperties properties;
    properties.test = burn.test;
    properties.verify = burn.verify && !burn.test;
    properties.underrunProtection = true;
    properties.completion = CompletionAction::eject;
    properties.appendable = false;
    properties.sao = m_caps.sao;
    properties.strategyRequired = false;
    properties.requestedSpeed = m_speedX == 0 ? 0 : DRUnits::cd1x * m_speedX;
    // The codes travel in the subchannel, so a burner without CD-Text writes them too.
    properties.catalog = burn.catalog;
    if (m_caps.cdText && m_caps.sao) {
        CDText text;
        text.discTitle = burn.album;
        text.discPerformer = burn.artist;
        for (const TrackItem &t : burn.tracks) {
            text.trackTitles.append(t.title);
            text.trackPerformers.append(t.performer.isEmpty() ? burn.artist : t.performer);
        }
        properties.cdText = text;
        // Said before the burn: afterwards the disc can't be changed.
        QStringList where;
        QString all;
        const auto check = [&](const QString &place, const QString &value) {
            if (TDDetect::cdTextUnwritable(value).isEmpty())
                return;
            where.append(place);
            all += value;
        };
        check(QStringLiteral("album"), burn.album);
        check(QStringLiteral("artist"), burn.artist);
        for (qsizetype i = 0; i < burn.tracks.size(); ++i)
            check(QStringLiteral("track ") + QString::number(i + 1), burn.tracks[i].title + burn.tracks[i].performer);
        if (!where.isEmpty())
            logLine(QStringLiteral(": ") + TDDetect::cdTextWarning(all).chopped(1) + QStringLiteral(" (")
                    + where.join(QStringLiteral(", ")) + QStringLiteral(")."));
    }
    if (properties.verify)
        m_readBack = producers;

    DiscService *service = m_service;
    std::unique_ptr<DiscJob> job = service ? service->burn(m_device, properties, layout) : nullptr;
    m_burnIsTest = burn.test;
    setState(State::burning);
    setPhase(burn.test ? QStringLiteral("Test burn: starting") : QStringLiteral("Starting"));
    logLine(QStringLiteral(": ") + (burn.test ? QStringLiteral("test burn") : QStringLiteral("burning"))
            + QStringLiteral(" at ")
            + (m_speedX == 0 ? QStringLiteral("max speed") : QString::number(m_speedX) + QStringLiteral("x"))
            + (m_caps.cdText ? QString() : QStringLiteral(" (this burner has no CD-Text)")) + QStringLiteral("."));
    if (!job) {
        // Nothing was written: the burner refused the job outright.
        failed(QStringLiteral("The burner couldn't start the burn."));
        return;
    }
    watch(std::move(job), false);
}

void Deck::removeLater(const QStringList &files)
{
    // Off the main thread; a handle the burner still holds keeps its data
    // until it is closed.
    if (!files.isEmpty())
        offMain(this, [files] { AudioPrep::cleanup(files); }, [] {}, &m_workers);
}

void Deck::watch(std::unique_ptr<DiscJob> job, bool erase)
{
    connect(job.get(), &DiscJob::statusChanged, this, &Deck::apply);
    (erase ? m_erase : m_burn) = std::move(job);
}

void Deck::logReadBack(bool finished) const
{
    if (!m_readBack)
        return;
    quint64 compared = 0, total = 0;
    for (qsizetype i = 0; i < m_readBack->size(); ++i) {
        const CDAudioProducer &track = *m_readBack->at(i);
        if (const auto at = track.firstDifference()) {
            logLine(QStringLiteral(": read back — NO MATCH — first difference in track ") + QString::number(i + 1)
                    + QStringLiteral(" at ") + fmt(double(*at) / (AudioPrep::sampleRate * 4.0))
                    + QStringLiteral(" (byte ") + QString::number(*at)
                    + QStringLiteral(" of the track). The disc is not the same as what was written."));
            return;
        }
        compared += std::min(track.bytesCompared(), track.frames() * CDAudioProducer::blockBytes);
        total += track.frames() * CDAudioProducer::blockBytes;
    }
    if (!finished)
        return;
    if (compared == total)
        logLine(QStringLiteral(": read back — Match — every track is the same on the disc as written (")
                + fmtBytes(qint64(total)) + QStringLiteral(" checked)."));
    else if (compared == 0)
        logLine(QStringLiteral(": read back — nothing was compared, so the disc is unchecked."));
    else
        logLine(QStringLiteral(": read back — only ") + fmtBytes(qint64(compared)) + QStringLiteral(" of ")
                + fmtBytes(qint64(total)) + QStringLiteral(" was compared; the rest of the disc is unchecked."));
}

void Deck::failed(const QString &message, const QString &detail)
{
    if (m_op == Op::audio)
        logReadBack(false);
    setState(State::failed);
    setActualX(0);
    setPhase(message);
    logLine(QStringLiteral(": failed. ") + message, detail);
    finishDR();
    if (m_op == Op::audio) {
        endAudioBurn();
    } else {
        finishOp(false, message);
    }
}

void Deck::eraseDisc(bool complete, bool demo, const QString &job, DoneFn done)
{
    if (busy()) {
        if (done)
            done(false, QStringLiteral("Deck ") + letter() + QStringLiteral(" is busy."));
        return;
    }
    setJobName(job);
    setOp(Op::erase);
    m_onDone = std::move(done);
    setProgress(0);
    setActualX(0);
    m_startedAt = QDateTime::currentDateTime();

    if (demo) {
        setState(State::working);
        setPhase(QStringLiteral("Demo: quick erase"));
        const double seconds = demoOverride() > 0 ? demoOverride() : 8.0;
        startDemo([this, seconds] {
            setProgress(std::min(m_progress + demoTickMs / 1000.0 / seconds, 1.0));
            if (m_progress < 1)
                return;
            stopDemo();
            setState(State::done);
            setPhase(QStringLiteral("Demo: erased."));
            const QString line = QStringLiteral(": demo erase finished.");
            logLine(line);
            finishOp(true, QStringLiteral("Deck ") + letter() + line);
        });
        return;
    }
    if (!m_device) {
        finishOp(false, TDMessages::noBurner);
        return;
    }
    if (const MediaReport report = eraseReport(); !report.ready) {
        finishOp(false, QStringLiteral("Deck ") + letter() + QStringLiteral(": ") + report.text);
        return;
    }
    DiscService *service = m_service;
    std::unique_ptr<DiscJob> eraseJob =
        service ? service->erase(m_device, complete ? EraseType::complete : EraseType::quick) : nullptr;
    if (!eraseJob) {
        finishOp(false, QStringLiteral("Deck ") + letter() + QStringLiteral(": The erase failed."));
        return;
    }
    watch(std::move(eraseJob), true);
    setState(State::working);
    setPhase(complete ? QStringLiteral("Erasing the whole disc") : QStringLiteral("Quick erase"));
    logLine(QStringLiteral(": ") + (complete ? QStringLiteral("complete") : QStringLiteral("quick"))
            + QStringLiteral(" erase started."));
}

void Deck::apply(const JobStatus &status)
{
    if (!m_burn && !m_erase)
        return;
    if (status.percent >= 0) {
        const double p = std::min(status.percent, 1.0);
        setProgress(m_op == Op::audio ? 0.02 + 0.98 * p : m_imageToCheck ? 0.85 * p : p);
    }
    setActualX(status.speed / unitFor(m_snapshot));
    if (status.currentTrack > 0)
        setCurrentTrack(status.currentTrack);

    const QString prefix = m_burnIsTest ? QStringLiteral("Test burn: ") : QString();
    const QString writing = m_op == Op::audio ? QStringLiteral("Writing track ") + QString::number(m_currentTrack)
                                              : QStringLiteral("Writing data");
    switch (status.state) {
    case DiscJobState::preparing: setPhase(prefix + QStringLiteral("Preparing the burner")); return;
    case DiscJobState::sessionOpen: setPhase(prefix + QStringLiteral("Writing lead-in")); return;
    case DiscJobState::trackOpen:
    case DiscJobState::trackWrite: setPhase(prefix + writing); return;
    case DiscJobState::trackClose:
    case DiscJobState::sessionClose: setPhase(prefix + QStringLiteral("Closing the disc")); return;
    case DiscJobState::finishing: setPhase(prefix + QStringLiteral("Finishing")); return;
    case DiscJobState::verifying: setPhase(QStringLiteral("Verifying the disc (read back)")); return;
    case DiscJobState::erasing: setPhase(QStringLiteral("Erasing")); return;
    case DiscJobState::none: return;
    case DiscJobState::done: break;
    case DiscJobState::failed:
        failed(!status.errorText.isEmpty() ? status.errorText
               : m_erase                   ? QStringLiteral("The erase failed.")
                                           : QStringLiteral("The burn failed."),
               status.errorDetail);
        return;
    }

    // Done.
    setActualX(0);
    const QString elapsed = fmt(double(m_startedAt.msecsTo(QDateTime::currentDateTime())) / 1000.0);
    if (m_erase) {
        setProgress(1);
        setState(State::done);
        setPhase(QStringLiteral("Erased. The disc is blank."));
        const QString line = QStringLiteral(": disc erased in ") + elapsed + QStringLiteral(".");
        logLine(line);
        finishDR();
        finishOp(true, QStringLiteral("Deck ") + letter() + line);
        return;
    }
    const QString readBack = m_op == Op::image && m_imageVerify ? imageReadBack(status.readBack) : QString();
    if (!readBack.isEmpty())
        logLine(QStringLiteral(": ") + readBack);
    if (m_imageToCheck) {
        m_readBackSaid = readBack;
        finishDR();
        checkDisc(*m_imageToCheck);
        return;
    }
    const bool matched = status.readBack && status.readBack->skipped.isEmpty() && status.readBack->comparedBytes > 0
        && status.readBack->comparedBytes >= status.readBack->totalBytes;
    setProgress(1);
    setState(State::done);
    setPhase(m_burnIsTest   ? QStringLiteral("Test passed. The disc was not written.")
             : readBack.isEmpty() ? QStringLiteral("Done. Disc ejecting.")
             : matched            ? QStringLiteral("Done and read back: the disc matches. Disc ejecting.")
                                  : QStringLiteral("Done, but the disc is unchecked. Disc ejecting."));
    const QString line = QStringLiteral(": ")
        + (m_burnIsTest ? QStringLiteral("test burn passed") : QStringLiteral("disc finished")) + QStringLiteral(" in ")
        + elapsed + QStringLiteral(".");
    if (m_op == Op::audio)
        logReadBack(true);
    logLine(line);
    finishDR();
    if (m_op == Op::audio) {
        endAudioBurn();
    } else {
        finishOp(true, withReadBack(QStringLiteral("Deck ") + letter() + line, readBack));
    }
}

void Deck::finishDR()
{
    // The job may be the sender of the status being handled: release it
    // after the signal has returned.
    for (auto *job : {m_burn.release(), m_erase.release()}) {
        if (job) {
            disconnect(job, nullptr, this, nullptr);
            job->deleteLater();
        }
    }
    m_keepAlive.reset();
    m_readBack.reset();
    removeLater(std::exchange(m_prepared, {}));
}

void Deck::finishOp(bool ok, const QString &message)
{
    if (!ok) {
        if (m_state != State::stopped) {
            setState(State::failed);
            if (m_phase == QStringLiteral("Ready") || m_phase.isEmpty())
                setPhase(message);
        }
        if (!busy() && (m_phase == QStringLiteral("Starting") || m_phase.isEmpty()))
            setPhase(message);
    }
    setOp(Op::none);
    if (DoneFn done = std::exchange(m_onDone, {}))
        done(ok, message);
}

void Deck::stop()
{
    if (m_burn) {
        m_burn->abort();
        logLine(m_burnIsTest ? QStringLiteral(": test stopped. Disc untouched.")
                             : QStringLiteral(": burn stopped. That disc can't be used."));
        finishDR();
    } else if (m_erase) {
        logLine(QStringLiteral(": the erase can't be stopped part-way; it will finish on its own."));
        return;
    } else if (m_demoTimer) {
        stopDemo();
        logLine(QStringLiteral(": demo stopped."));
    } else if (m_op == Op::read || m_imageToCheck || m_state == State::preparing) {
        // A disc copy or an audio preparation notices the token and cleans up.
        m_cancel->cancel();
    }
    setState(State::stopped);
    setActualX(0);
    setPhase(QStringLiteral("Stopped"));
    switch (m_op) {
    case Op::none:
    case Op::audio:
        setOp(Op::none);
        Q_EMIT audioBurnStopped();
        break;
    case Op::read: break;
    case Op::image:
    case Op::erase: finishOp(false, QStringLiteral("Deck ") + letter() + QStringLiteral(": stopped.")); break;
    }
}
