#pragma once
// Desktop notifications: org.freedesktop.Notifications on a D-Bus session bus.
//
// Threading: made, used and destroyed on the main thread, which it never
// blocks. The bus is connected on a worker the first time a note is sent
// (connecting waits for the bus daemon); every Notify is sent without waiting
// for its reply.
//
// Failures are quiet: without a bus, or without a notification service on it,
// notes are dropped and nothing is said. A service that starts later gets the
// notes sent after it.
//
// Ownership: owns its bus connection (not the shared session connection).

#include <QString>

#include <memory>

struct DesktopNote
{
    QString summary; // what ended, and how
    QString body;    // the detail
    bool critical = false; // a failure: the desktop may keep it shown until read

    bool operator==(const DesktopNote &) const = default;
};

class DesktopNotifier
{
public:
    // How the notes name the program, and the desktop entry the package installs.
    static inline const QString appName = QStringLiteral("KLVO Tandor");
    static inline const QString appId = QStringLiteral("app.klvo.Tandor");

    // Notes go to the user's session bus.
    DesktopNotifier();
    // Notes go to the bus at `busAddress` ("unix:path=…"), e.g. a private one.
    explicit DesktopNotifier(const QString &busAddress);
    ~DesktopNotifier();
    DesktopNotifier(const DesktopNotifier &) = delete;
    DesktopNotifier &operator=(const DesktopNotifier &) = delete;

    // Hands `note` to the notification service. Returns at once.
    void send(const DesktopNote &note);

private:
    class Link;
    std::unique_ptr<Link> m_link;
};
