#include "app/SingleInstance.h"

#include <QDataStream>
#include <QFileInfo>
#include <QLocalSocket>
#include <unistd.h>

QString SingleInstance::defaultName()
{
    return QStringLiteral("klvo-tandor-%1").arg(::getuid());
}

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent)
    , m_name(name)
{
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                QDataStream in(socket);
                in.startTransaction();
                QStringList paths;
                in >> paths;
                if (!in.commitTransaction())
                    return; // wait for the rest
                Q_EMIT filesReceived(paths);
                socket->disconnectFromServer();
            });
        }
    });
}

bool SingleInstance::handOver(const QStringList &paths, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QStringList absolute;
    for (const QString &p : paths)
        absolute.append(QFileInfo(p).absoluteFilePath());
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << absolute;
    socket.write(bytes);
    socket.flush();
    socket.waitForBytesWritten(timeoutMs);
    // The running copy closes the connection once it has read the list.
    if (socket.state() == QLocalSocket::ConnectedState)
        socket.waitForDisconnected(timeoutMs);
    return true;
}

bool SingleInstance::listen()
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server.listen(m_name))
        return true;
    QLocalServer::removeServer(m_name);
    return m_server.listen(m_name);
}
