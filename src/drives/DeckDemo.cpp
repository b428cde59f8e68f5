// Demo runs: a deck plays a burn or an erase on screen, with no burner or disc.

#include "drives/Deck.h"


#include <QRandomGenerator>
#include <QTimer>

int Deck::demoFallbackSpeed(int index, bool audio)
{
    static constexpr int audioSpeeds[maxDecks] = {48, 24, 40, 16, 32, 24};
    static constexpr int imageSpeeds[maxDecks] = {16, 8, 24, 16, 8, 24};
    const int i = index < 0 ? 0 : index >= maxDecks ? maxDecks - 1 : index;
    return (audio ? audioSpeeds : imageSpeeds)[i];
}

double Deck::demoAudioSeconds(double totalSeconds, int speed)
{
    const double total = std::max(totalSeconds, 1.0);
    return std::clamp(total / (std::max(speed, 1) * 0.8) / 20.0, 25.0, 90.0);
}

int Deck::demoSpeed(bool audio) const
{
    const int top = m_maxSpeedX >= 1 ? m_maxSpeedX : demoFallbackSpeed(m_index, audio);
    return m_speedX == 0 ? top : std::min(m_speedX, top);
}

double Deck::demoOverride() const
{
    return m_demoSeconds;
}

void Deck::startDemo(std::function<void()> tick)
{
    stopDemo();
    m_demoTimer = new QTimer(this);
    m_demoTimer->setInterval(demoTickMs);
    connect(m_demoTimer, &QTimer::timeout, this, std::move(tick));
    m_demoTimer->start();
}

void Deck::stopDemo()
{
    if (!m_demoTimer)
        return;
    m_demoTimer->stop();
    m_demoTimer->deleteLater();
    m_demoTimer = nullptr;
}

void Deck::demoAudioTick(double seconds, QList<double> lengths, bool verify, bool test)
{
    const double p = m_progress;
    const double speed = demoSpeed(true);
    const double ramp = std::min(p / 0.6, 1.0) * 0.55 + 0.45;
    setActualX(speed * ramp);
    setBuffer(0.88 + QRandomGenerator::global()->generateDouble() * 0.12);
    setProgress(std::min(p + (demoTickMs / 1000.0 / seconds) * ramp / 0.8, 1.0));

    double sum = 0;
    for (double l : lengths)
        sum += l;
    sum = std::max(sum, 1.0);
    const double x = std::clamp((m_progress - 0.02) / 0.88, 0.0, 1.0);
    int track = int(lengths.size());
    double covered = 0;
    for (int i = 0; i < lengths.size(); ++i) {
        covered += lengths[i] / sum;
        if (covered > x) {
            track = i + 1;
            break;
        }
    }
    setCurrentTrack(track);

    if (m_progress < 0.02)
        setPhase(QStringLiteral("Demo: writing lead-in"));
    else if (m_progress < 0.9)
        setPhase(QStringLiteral("Demo: writing track %1 of %2").arg(track).arg(lengths.size()));
    else if (m_progress >= 0.95 && verify && !test)
        setPhase(QStringLiteral("Demo: verifying"));
    else
        setPhase(QStringLiteral("Demo: closing the disc"));

    if (m_progress < 1)
        return;
    stopDemo();
    setState(State::done);
    setActualX(0);
    setPhase(QStringLiteral("Demo finished."));
    logLine(QStringLiteral(": demo burn finished."));
    endAudioBurn();
}
