#include "platform/linux/FileManager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace FileManager {

void openFolder(const QString &folder, const std::function<void(const QString &words)> &failed)
{
    // Not detached: only its exit says whether any program took the folder.
    auto *process = new QProcess;
    process->setProcessChannelMode(QProcess::MergedChannels);
    const auto fail = [process, failed](const QString &words) {
        if (failed)
            failed(words);
        process->deleteLater();
    };
    QObject::connect(process, &QProcess::errorOccurred, process, [process, fail](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            fail(QStringLiteral("xdg-open: ") + process->errorString());
    });
    QObject::connect(process, &QProcess::finished, process, [process, fail](int code, QProcess::ExitStatus status) {
        if (status == QProcess::NormalExit && code == 0) {
            process->deleteLater();
            return;
        }
        const QStringList lines = QString::fromLocal8Bit(process->readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        fail(lines.isEmpty() ? QString() : lines.last().trimmed());
    });
    process->start(QStringLiteral("xdg-open"), {folder});
}

void reveal(const QString &path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(QFileInfo(path).absolutePath());
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [path](QDBusPendingCallWatcher *w) {
        if (QDBusPendingReply<> reply = *w; reply.isError())
            openFolder(QFileInfo(path).absolutePath());
        w->deleteLater();
    });
}

} // namespace FileManager
