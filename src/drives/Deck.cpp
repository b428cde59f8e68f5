#include "drives/Deck.h"

#include "app/AppModel.h"
#include "drives/TDDetect.h"

Deck::Deck(int index, QObject *parent)
    : QObject(parent)
    , m_index(index)
{
    Q_ASSERT(index >= 0 && index < maxDecks);
}

QString Deck::letter() const
{
    return deckLetters[size_t(m_index)];
}

QString Deck::driveName() const
{
    return QStringLiteral("No burner connected");
}

void Deck::setSpeedX(int x)
{
    if (x == m_speedX)
        return;
    m_speedX = x;
    Q_EMIT speedXChanged();
}

bool Deck::busy() const
{
    return m_state == State::preparing || m_state == State::burning || m_state == State::working;
}

void Deck::refreshStatus()
{
    if (!hasDrive()) {
        if (m_mediaText != QStringLiteral("No burner connected")) {
            m_mediaText = QStringLiteral("No burner connected");
            Q_EMIT mediaTextChanged();
        }
        if (m_blankLoaded) {
            m_blankLoaded = false;
            Q_EMIT blankLoadedChanged();
        }
    }
}

void Deck::setState(State s)
{
    if (s == m_state)
        return;
    m_state = s;
    Q_EMIT stateChanged();
    if (m_app)
        m_app->deckStateChanged(this);
}

void Deck::setPhase(const QString &phase)
{
    if (phase == m_phase)
        return;
    m_phase = phase;
    Q_EMIT phaseChanged();
}

void Deck::setApp(AppModel *app)
{
    m_app = app;
}
