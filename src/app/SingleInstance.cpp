#include "app/SingleInstance.h"

#include "app/AppModel.h"

#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QScopeGuard>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QString socketName = QStringLiteral("klvo-tandor.socket");

// The name is free for our socket, or holds a socket (live or left behind).
bool usableSocketPath(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (size_t(name.size()) >= sizeof(sockaddr_un::sun_path))
        return false;
    struct stat st;
    if (::lstat(name.constData(), &st) != 0)
        return errno == ENOENT;
    return S_ISSOCK(st.st_mode);
}

// No one else can rename or replace what is in `folder`: only we or root may
// write there, or it is sticky like /tmp.
bool guardedFolder(const QString &folder)
{
    struct stat st;
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if (st.st_mode & S_ISVTX)
        return true;
    return (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 && (st.st_uid == ::getuid() || st.st_uid == 0);
}

// A folder the program keeps for itself: made with mode 0700 when missing,
// refused when something else already holds the name.
bool ownFolder(const QString &folder)
{
    if (!guardedFolder(QFileInfo(folder).path()))
        return false;
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
        return false;
    return SingleInstance::isPrivateFolder(folder);
}

// Something listens on `path` and takes connections.
bool answers(const QString &path)
{
    QLocalSocket probe;
    probe.connectToServer(path);
    const bool connected = probe.waitForConnected(1000);
    probe.abort();
    return connected;
}

} // namespace

bool SingleInstance::isPrivateFolder(const QString &folder)
{
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        return false;
    // Cleaned so that a trailing slash can't make lstat follow a symlink.
    struct stat st;
    return ::lstat(QFile::encodeName(QDir::cleanPath(folder)).constData(), &st) == 0 && S_ISDIR(st.st_mode)
           && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

QString SingleInstance::defaultSocketPath()
{
    const QString runtime = QDir::cleanPath(qEnvironmentVariable("XDG_RUNTIME_DIR"));
    if (isPrivateFolder(runtime) && usableSocketPath(runtime + QLatin1Char('/') + socketName))
        return runtime + QLatin1Char('/') + socketName;

    const QString temp = QDir::tempPath() + QStringLiteral("/klvo-tandor-%1").arg(::getuid());
    if (ownFolder(temp) && usableSocketPath(temp + QLatin1Char('/') + socketName))
        return temp + QLatin1Char('/') + socketName;

    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
                          + QStringLiteral("/KLVO Tandor");
    QDir().mkpath(cache);
    const QString run = cache + QStringLiteral("/run");
    if (ownFolder(run) && usableSocketPath(run + QLatin1Char('/') + socketName))
        return run + QLatin1Char('/') + socketName;
    return {};
}

SingleInstance::SingleInstance(const QString &socketPath, QObject *parent)
    : QObject(parent)
    , m_path(socketPath)
{
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                QDataStream in(socket);
                in.startTransaction();
                QStringList paths;
                QString screen;
                in >> paths >> screen;
                if (!in.commitTransaction())
                    return; // wait for the rest
                Q_EMIT filesReceived(paths, screen);
                socket->disconnectFromServer();
            });
        }
    });
}

bool SingleInstance::handOver(const QStringList &paths, const QString &screen, int timeoutMs)
{
    if (m_path.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(m_path);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QStringList absolute;
    for (const QString &p : paths)
        absolute.append(QFileInfo(p).absoluteFilePath());
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << absolute << screen;
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
    if (m_path.isEmpty())
        return false;
    if (m_server.isListening())
        return true;
    // Copies started together take turns here, so none removes a socket
    // another has only just made.
    const int lock = ::open(QFile::encodeName(m_path + QStringLiteral(".lock")).constData(),
                            O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock >= 0)
        ::flock(lock, LOCK_EX);
    const auto unlock = qScopeGuard([lock] {
        if (lock >= 0)
            ::close(lock);
    });

    // Without socket options the server binds the path itself, which fails
    // on anything already there instead of renaming over it.
    if (m_server.listen(m_path))
        return true;
    if (m_server.serverError() != QAbstractSocket::AddressInUseError)
        return false;
    const QByteArray name = QFile::encodeName(m_path);
    struct stat st;
    if (::lstat(name.constData(), &st) != 0 || !S_ISSOCK(st.st_mode) || answers(m_path))
        return false;
    // A socket nothing answers on: its copy is gone.
    if (::unlink(name.constData()) != 0 && errno != ENOENT)
        return false;
    return m_server.listen(m_path);
}

SingleInstance::Role SingleInstance::start(const QStringList &files, const QString &screen)
{
    if (m_path.isEmpty())
        return Role::alone;
    if (handOver(files, screen))
        return Role::handedOver;
    if (listen())
        return Role::first;
    // Another copy may have begun listening between the two.
    return handOver(files, screen) ? Role::handedOver : Role::alone;
}

QString SingleInstance::handedOverLine(qsizetype count)
{
    if (count == 0)
        return QStringLiteral("KLVO Tandor is already running; brought its window to the front.");
    return QStringLiteral("KLVO Tandor is already running; handed it %1 %2.")
        .arg(count)
        .arg(count == 1 ? QStringLiteral("file") : QStringLiteral("files"));
}

void SingleInstance::serve(AppModel &model)
{
    connect(this, &SingleInstance::filesReceived, &model, [&model](const QStringList &paths, const QString &screen) {
        model.openFiles(paths);
        if (const auto tab = Tandor::mainTabFromKey(screen))
            model.setTab(*tab);
        Q_EMIT model.activationRequested();
    });
}
