#include "drives/Deck.h"

#include "audio/DiscProject.h"
#include "base/CancelToken.h"
#include "base/Format.h"

#include <QFileInfo>

namespace {
template<typename T, typename Signal>
bool assign(Deck *deck, T &field, const T &value, Signal changed)
{
    if (field == value)
        return false;
    field = value;
    Q_EMIT (deck->*changed)();
    return true;
}
} // namespace

Deck::Deck(int index, QObject *parent)
    : QObject(parent)
    , m_index(index)
    , m_cancel(std::make_shared<CancelToken>())
{
    Q_ASSERT(index >= 0 && index < maxDecks);
}

Deck::~Deck()
{
    // Work still running (a preparation, say) stops at the token; let it end
    // first so nothing it writes is left behind.
    m_cancel->cancel();
    m_workers.waitForDone();
}

QString Deck::letter() const
{
    return deckLetters[size_t(m_index)];
}

QString Deck::driveName() const
{
    const QString name = m_device ? m_device->displayName() : QString();
    return name.isEmpty() ? QStringLiteral("No burner connected") : name;
}

QString Deck::interconnect() const
{
    return m_snapshot ? m_snapshot->bus : QString();
}

void Deck::setSpeedX(int x)
{
    assign(this, m_speedX, x, &Deck::speedXChanged);
}

bool Deck::busy() const
{
    return m_state == State::preparing || m_state == State::burning || m_state == State::working;
}

QString Deck::etaText() const
{
    if (m_state != State::burning || m_actualX <= 0.5 || !m_burnProject || m_op != Op::audio)
        return QStringLiteral("—");
    const double total = m_burnProject->totalSeconds();
    return fmt(total * (1 - m_progress) / m_actualX);
}

MediaReport Deck::dataReport(std::optional<qint64> imageBytes) const
{
    if (!m_device)
        return {TDMessages::noBurnerShort, false};
    return TDDetect::dataMedia(m_snapshot, imageBytes);
}

MediaReport Deck::eraseReport() const
{
    if (!m_device)
        return {TDMessages::noBurnerShort, false};
    return TDDetect::eraseMedia(m_snapshot);
}

MediaReport Deck::readReport() const
{
    if (!m_device)
        return {QStringLiteral("No drive connected"), false};
    return TDDetect::readMedia(m_snapshot);
}

QString Deck::keyFor(const DiscDevice &device)
{
    return TDDetect::key(DriveSnapshot::read(device));
}

void Deck::attach(const DiscDeviceRef &device)
{
    const bool changed = device != m_device;
    m_device = device;
    m_deviceKey = device ? keyFor(*device) : QString();
    if (changed)
        Q_EMIT deviceChanged();
    refreshStatus();
}

void Deck::refreshStatus()
{
    const bool hadBlank = m_blankLoaded;
    readTray();
    if (m_state == State::waiting && m_blankLoaded) {
        Q_EMIT blankReady();
    } else if (!hadBlank && m_blankLoaded
               && (m_state == State::done || m_state == State::failed || m_state == State::stopped)) {
        // A blank in place of the disc the last job left: that job's news is
        // over and the deck is ready, as after an eject.
        setState(State::idle);
        setProgress(0);
        setPhase(QStringLiteral("Ready"));
    }
}

void Deck::readTray()
{
    std::optional<DriveSnapshot> snapshot;
    if (m_device)
        snapshot = DriveSnapshot::read(*m_device);
    assign(this, m_snapshot, snapshot, &Deck::snapshotChanged);
    assign(this, m_caps, snapshot ? DriveCaps::from(*snapshot) : DriveCaps{}, &Deck::capsChanged);
    assign(this, m_maxSpeedX, snapshot ? snapshot->topSpeedX : 0, &Deck::maxSpeedXChanged);
    const MediaReport report = m_device ? TDDetect::media(snapshot)
                                        : MediaReport{QStringLiteral("No burner connected"), false};
    assign(this, m_mediaText, report.text, &Deck::mediaTextChanged);
    assign(this, m_blankLoaded, report.ready, &Deck::blankLoadedChanged);
    // Said once, not on every re-read; again only when it changes or comes back.
    const QString problem = snapshot ? snapshot->problem : QString();
    if (problem != m_problemSaid) {
        m_problemSaid = problem;
        if (!problem.isEmpty())
            logLine(QStringLiteral(": ") + problem);
    }
}

std::shared_ptr<CancelToken> Deck::beginRead(const QString &job)
{
    m_cancel = std::make_shared<CancelToken>();
    setJobName(job);
    setOp(Op::read);
    setProgress(0);
    setActualX(0);
    setState(State::working);
    setPhase(QStringLiteral("Reading the disc"));
    m_startedAt = QDateTime::currentDateTime();
    return m_cancel;
}

void Deck::readProgress(double fraction)
{
    if (m_op == Op::read)
        setProgress(fraction);
}

void Deck::endRead(bool ok, const QString &message)
{
    setOp(Op::none);
    setState(ok ? State::done : m_cancel->isCancelled() ? State::stopped : State::failed);
    if (ok) {
        setPhase(QStringLiteral("Image saved"));
        setProgress(1);
    } else {
        setPhase(message);
    }
}

void Deck::eject()
{
    if (busy())
        return;
    if (m_device)
        m_device->ejectMedia();
    setState(State::idle);
    setProgress(0);
    setPhase(QStringLiteral("Ready"));
    logLine(QStringLiteral(": eject."));
}

QStringList Deck::trayMedia() const
{
    return m_service && m_device ? m_service->trayMedia(m_device) : QStringList();
}

void Deck::insertMedium(const QString &medium)
{
    const QString refusal = m_service ? m_service->insertMedium(m_device, medium) : TDMessages::noBurner;
    logLine(QStringLiteral(": ") + (refusal.isEmpty() ? QStringLiteral("blank ") + medium + QStringLiteral(" inserted.") : refusal));
}

void Deck::insertImage(const QString &path)
{
    const QString refusal = m_service ? m_service->insertImage(m_device, path) : TDMessages::noBurner;
    logLine(QStringLiteral(": ")
            + (refusal.isEmpty() ? QStringLiteral("“") + QFileInfo(path).fileName() + QStringLiteral("” inserted.") : refusal));
}

void Deck::waitForBlank(const QString &phase)
{
    setState(State::waiting);
    setPhase(phase);
}

void Deck::endAudioBurn()
{
    setOp(Op::none);
    Q_EMIT audioBurnEnded();
}

void Deck::stopWaiting()
{
    if (m_state != State::waiting)
        return;
    setJobName({});
    setPhase(QStringLiteral("Ready"));
    setState(State::idle);
}

void Deck::setState(State s)
{
    if (s == m_state)
        return;
    m_state = s;
    // A burn that ends has usually ejected or changed its disc: whoever
    // reacts to the new state (the queue starting the next job) must not
    // see the tray as it was before.
    if ((s == State::done || s == State::failed || s == State::stopped) && m_device)
        readTray();
    Q_EMIT stateChanged();
    Q_EMIT etaTextChanged();
    Q_EMIT stateSettled();
}

void Deck::setOp(Op op)
{
    if (op != Op::none)
        m_lastOp = op;
    if (assign(this, m_op, op, &Deck::opChanged))
        Q_EMIT etaTextChanged();
}

void Deck::setProgress(double p)
{
    if (assign(this, m_progress, p, &Deck::progressChanged))
        Q_EMIT etaTextChanged();
}

void Deck::setActualX(double x)
{
    if (assign(this, m_actualX, x, &Deck::actualXChanged))
        Q_EMIT etaTextChanged();
}

void Deck::setPhase(const QString &phase) { assign(this, m_phase, phase, &Deck::phaseChanged); }
void Deck::setCurrentTrack(int track) { assign(this, m_currentTrack, track, &Deck::currentTrackChanged); }
void Deck::setBuffer(double fill) { assign(this, m_buffer, fill, &Deck::bufferChanged); }
void Deck::setJobName(const QString &job) { assign(this, m_jobName, job, &Deck::jobNameChanged); }

void Deck::logLine(const QString &text, const QString &detail) const
{
    Q_EMIT logged(QStringLiteral("Deck ") + letter() + text, detail);
}

std::unique_ptr<CdReader> Deck::openCd() const
{
    return m_service && m_device ? m_service->openCd(m_device) : nullptr;
}
