#pragma once
// The "Mount an image to look inside" card: the images this program has
// mounted read-only, Mount, Show and Eject. These happen at once, not as
// queued jobs.
//
// Threading: main thread only. Mounting and ejecting run on a worker and
// report back on the main thread; only unmountAll(), for the end of the
// program, waits for its work.
//
// Ownership: made and owned by the application model. What this model
// mounted stays mounted until ejected or unmountAll(); the caller of
// unmountAll() is the program's quit handler. Failures are burn-log lines.

#include "app/CardSupport.h"
#include "images/Mounter.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QtQmlIntegration/qqmlintegration.h>

#include <functional>

class MountModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The mount card's model belongs to the application model")
    // [{image, name, device, mountPoints}]
    Q_PROPERTY(QVariantList mounted READ mountedList NOTIFY mountedChanged)

public:
    MountModel(LogFn log, QObject *parent);

    const QList<MountedImage> &mounted() const { return m_mounted; }
    QVariantList mountedList() const;

    // Mounts read-only on a worker; logs and lists it when it is done, and
    // with `browse` opens its first folder in the file manager.
    Q_INVOKABLE void mount(const QString &image, bool browse = true);
    // Ejects the mounted image listed at `index`, on a worker.
    Q_INVOKABLE void unmount(int index);
    // Opens a mounted image's first folder in the file manager again.
    Q_INVOKABLE void show(int index);
    // Ejects everything this model mounted, silently, and waits for it.
    void unmountAll();

    // How a mounted folder is opened: it calls `failed` (with the opener's
    // own words) when nothing opened it. Tests record instead of opening.
    using FolderOpener = std::function<void(const QString &folder, const std::function<void(const QString &)> &failed)>;
    void setFolderOpener(FolderOpener opener) { m_openFolder = std::move(opener); }

Q_SIGNALS:
    void mountedChanged();

private:
    LogFn m_log;
    QList<MountedImage> m_mounted;
    FolderOpener m_openFolder;
    // Opens the first folder of `image`, saying so when nothing could.
    void browse(const MountedImage &image);
};
