#pragma once
// One running copy per user: a second copy hands its files to the first over
// a local socket and quits. Main thread only.

#include <QLocalServer>
#include <QObject>
#include <QStringList>

class SingleInstance : public QObject
{
    Q_OBJECT
public:
    // The socket name is per user, so two users on one machine each get a copy.
    static QString defaultName();

    explicit SingleInstance(const QString &name = defaultName(), QObject *parent = nullptr);

    // Sends `paths` (made absolute) to a copy that is already running. True
    // when one took them: this copy should quit. Waits at most `timeoutMs`
    // for the local connection (start-up only, before any window exists).
    bool handOver(const QStringList &paths, int timeoutMs = 1000);

    // Becomes the running copy: later copies' files arrive as filesReceived.
    // Replaces a socket left behind by a copy that crashed.
    bool listen();

Q_SIGNALS:
    void filesReceived(const QStringList &paths);

private:
    QString m_name;
    QLocalServer m_server;
};
