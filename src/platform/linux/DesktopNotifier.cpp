#include "platform/linux/DesktopNotifier.h"

#include "base/OffMain.h"

#include <QAtomicInteger>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QVariantMap>

#include <optional>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString objectPath = QStringLiteral("/org/freedesktop/Notifications");

// Each notifier has a connection of its own, so tearing it down never
// touches a connection someone else shares.
QString nextConnectionName()
{
    static QAtomicInteger<int> counter;
    return QStringLiteral("tandor-notes-%1").arg(counter.fetchAndAddRelaxed(1));
}

QDBusMessage notifyCall(const DesktopNote &note)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, objectPath, service, QStringLiteral("Notify"));
    const QVariantMap hints{
        {QStringLiteral("desktop-entry"), DesktopNotifier::appId},
        // Urgency is a byte: 1 normal, 2 critical.
        {QStringLiteral("urgency"), QVariant::fromValue(uchar(note.critical ? 2 : 1))},
    };
    call << DesktopNotifier::appName << uint(0) << DesktopNotifier::appId << note.summary << note.body
         << QStringList() << hints << int(-1);
    return call;
}

} // namespace

class DesktopNotifier::Link : public QObject
{
public:
    explicit Link(std::optional<QString> address)
        : m_address(std::move(address))
        , m_name(nextConnectionName())
    {
    }
    ~Link() override
    {
        if (m_bus)
            QDBusConnection::disconnectFromBus(m_name);
    }

    void send(const DesktopNote &note)
    {
        switch (m_state) {
        case State::connected: m_bus->send(notifyCall(note)); return;
        case State::absent: return;
        case State::connecting: m_waiting.append(note); return;
        case State::unknown: break;
        }
        m_state = State::connecting;
        m_waiting.append(note);
        offMain(
            this,
            [address = m_address, name = m_name]() -> std::optional<QDBusConnection> {
                QDBusConnection bus = address ? QDBusConnection::connectToBus(*address, name)
                                              : QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
                if (bus.isConnected())
                    return bus;
                QDBusConnection::disconnectFromBus(name);
                return std::nullopt;
            },
            [this](std::optional<QDBusConnection> bus) {
                m_bus = std::move(bus);
                m_state = m_bus ? State::connected : State::absent;
                for (const DesktopNote &note : std::exchange(m_waiting, {}))
                    send(note);
            });
    }

private:
    enum class State { unknown, connecting, connected, absent };
    const std::optional<QString> m_address; // none: the session bus
    const QString m_name;
    State m_state = State::unknown;
    std::optional<QDBusConnection> m_bus;
    QList<DesktopNote> m_waiting;
};

DesktopNotifier::DesktopNotifier()
    : m_link(std::make_unique<Link>(std::nullopt))
{
}

DesktopNotifier::DesktopNotifier(const QString &busAddress)
    : m_link(std::make_unique<Link>(busAddress))
{
}

DesktopNotifier::~DesktopNotifier() = default;

void DesktopNotifier::send(const DesktopNote &note)
{
    m_link->send(note);
}
