#include "images/Mounter.h"

#include "images/ImageInfo.h"
#include "images/ImageTool.h"
#include "images/ToolMessages.h"
#include "platform/linux/MountTable.h"
#include "platform/sheets/DiscSheet.h"
#include "platform/udif/Udif.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <memory>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace Mounter {

namespace {

const QString udisksService = QStringLiteral("org.freedesktop.UDisks2");

QString noDevice()
{
    return QStringLiteral("The image was attached, but gave no device.");
}

QString noPlace()
{
    return QStringLiteral("The image was attached, but the system didn't say where.");
}

bool isLoopDevice(const QString &device)
{
    return device.startsWith(QLatin1String("/dev/"));
}

// Mount points of a block device, found by its device number (the table
// names the source as the tools passed it, which may be a symlink).
QStringList mountPointsOfDevice(const QString &device)
{
    struct stat st;
    if (::stat(QFile::encodeName(device).constData(), &st) != 0 || !S_ISBLK(st.st_mode))
        return {};
    return MountTable::mountPointsOf(MountTable::current(), major(st.st_rdev), minor(st.st_rdev));
}

// ---- udisks2 ----

MountedImage attachLoop(const QString &image, bool mount)
{
    const ImageTool &udisks = ImageTool::udisksctl();
    const QString mapped = udisks.run({QStringLiteral("loop-setup"), QStringLiteral("--no-user-interaction"),
                                       QStringLiteral("--read-only"), QStringLiteral("--file"), image});
    // "Mapped file /home/me/disc.iso as /dev/loop0."
    static const QRegularExpression asDevice(QStringLiteral(R"(\bas\s+(/dev/\S+?)\.?\s*$)"),
                                             QRegularExpression::MultilineOption);
    const QString device = asDevice.match(mapped).captured(1);
    if (device.isEmpty())
        throw TDError::tool(noDevice());
    MountedImage result{image, device, {}, {}};
    if (!mount)
        return result;

    const auto undo = [&] {
        try {
            udisks.run({QStringLiteral("loop-delete"), QStringLiteral("--no-user-interaction"),
                        QStringLiteral("--block-device"), device});
        } catch (const TDError &) {
            // the attach error below is the one worth telling
        }
    };
    try {
        udisks.run({QStringLiteral("mount"), QStringLiteral("--no-user-interaction"),
                    QStringLiteral("--block-device"), device, QStringLiteral("--options"), QStringLiteral("ro")});
    } catch (const TDError &) {
        undo();
        throw;
    }
    result.mountPoints = mountPointsOfDevice(device);
    if (result.mountPoints.isEmpty()) {
        try {
            detach(device, false);
        } catch (const TDError &) {
        }
        throw TDError::tool(ToolMessages::noFileSystem());
    }
    return result;
}

void detachLoop(const QString &device, bool force)
{
    const ImageTool &udisks = ImageTool::udisksctl();
    if (!mountPointsOfDevice(device).isEmpty()) {
        QStringList args = {QStringLiteral("unmount"), QStringLiteral("--no-user-interaction"),
                            QStringLiteral("--block-device"), device};
        if (force)
            args << QStringLiteral("--force");
        udisks.run(args);
    }
    udisks.run({QStringLiteral("loop-delete"), QStringLiteral("--no-user-interaction"),
                QStringLiteral("--block-device"), device});
}

// ---- FUSE ----

// ---- decoded copies: DMGs, and sheets whose data isn't a plain image ----

// A new, open file in the cache folder for a decoded copy of `image`; it
// removes itself unless the caller keeps it (setAutoRemove(false)).
std::unique_ptr<QTemporaryFile> newCopy(const QString &image)
{
    const QString root = Mounter::decodedCopyFolder();
    QDir().mkpath(root);
    auto file = std::make_unique<QTemporaryFile>(
        QDir(root).filePath(QFileInfo(image).completeBaseName() + QStringLiteral(".XXXXXX.img")));
    if (!file->open())
        throw TDError::writeFailed(QStringLiteral("Couldn't make a file to open the image in under ") + root
                                   + QStringLiteral(": ") + file->errorString());
    return file;
}

// The DMG's decoded image in a new file of the cache folder. Nothing is left
// behind when decoding fails.
QString decodeForMount(const QString &image)
{
    const std::unique_ptr<QTemporaryFile> file = newCopy(image);
    file->close();
    Udif::Reader::open(image)->decodeTo(file->fileName());
    file->setAutoRemove(false);
    return file->fileName();
}

// The first data track of a cue or toc sheet as a plain image of 2048-byte
// sectors: its own file when it already is one, else a copy of its user data
// in the cache folder, named in `decoded` (the caller removes it).
QString sheetImage(const QString &sheetPath, QString &decoded)
{
    const DiscSheet sheet = DiscSheet::read(sheetPath);
    const auto track = std::find_if(sheet.tracks.cbegin(), sheet.tracks.cend(),
                                    [](const SheetTrack &t) { return t.mode != SheetTrack::Mode::audio; });
    if (track == sheet.tracks.cend())
        throw TDError::tool(QStringLiteral("This sheet holds only audio tracks, so there are no files to show."));
    const quint32 sectorBytes = track->sectorBytes();
    if (track->mode == SheetTrack::Mode::mode1Cooked && track->start == 0
        && QFileInfo(track->file).size() == qint64(track->length * sectorBytes))
        return track->file;

    // Where the 2048 bytes of user data sit in a sector of the file (a Mode 2
    // data track is read as Form 1, which is what a data CD holds).
    const qint64 userAt = track->mode == SheetTrack::Mode::mode1Raw ? 16
                          : track->mode == SheetTrack::Mode::mode2Raw ? 24 : 0;
    QFile in(track->file);
    if (!in.open(QIODevice::ReadOnly) || !in.seek(track->start))
        throw TDError::cantOpen(track->file, errno ? errno : EIO);
    const std::unique_ptr<QTemporaryFile> copy = newCopy(sheetPath);
    QTemporaryFile &out = *copy;
    constexpr quint64 batch = 256;
    QByteArray sectors(qsizetype(batch * sectorBytes), Qt::Uninitialized);
    for (quint64 done = 0; done < track->length;) {
        const quint64 n = std::min(batch, track->length - done);
        const qint64 want = qint64(n * sectorBytes);
        if (in.read(sectors.data(), want) != want)
            throw TDError::readFailed(track->file, track->start + qint64(done * sectorBytes), EIO);
        for (quint64 i = 0; i < n; ++i) {
            if (out.write(sectors.constData() + i * sectorBytes + userAt, 2048) != 2048)
                throw TDError::writeFailed(out.errorString());
        }
        done += n;
    }
    if (!out.flush())
        throw TDError::writeFailed(out.errorString());
    out.setAutoRemove(false);
    decoded = out.fileName();
    return decoded;
}

// A new empty folder for one mount, named after the image.
QString makeMountFolder(const QString &image)
{
    const QDir root(fuseMountRoot());
    QString base = QFileInfo(image).completeBaseName().trimmed();
    if (base.isEmpty() || base.startsWith(QLatin1Char('.')))
        base = QStringLiteral("Image") + base;
    for (int n = 1; n < 1000; ++n) {
        const QString name = n == 1 ? base : base + QLatin1Char(' ') + QString::number(n);
        if (root.mkdir(name))
            return root.filePath(name);
    }
    throw TDError::tool(QStringLiteral("Couldn't make a folder to open the image in under ") + root.path() + QLatin1Char('.'));
}

// `file` is what fuseiso reads; `image` names the folder.
MountedImage attachFuse(const QString &image, const QString &file, bool mount)
{
    if (!mount)
        throw TDError::tool(QStringLiteral(
            "The image can't be attached without opening it here: that needs udisks2, which isn't running."));
    const QString folder = makeMountFolder(image);
    try {
        // -n: don't keep fuseiso's own mount list in the user's home.
        ImageTool::fuseiso().run({QStringLiteral("-n"), file, folder});
    } catch (const TDError &) {
        QDir().rmdir(folder);
        throw;
    }
    if (!MountTable::isMountPoint(MountTable::current(), folder)) {
        QDir().rmdir(folder);
        throw TDError::tool(noPlace());
    }
    return {image, folder, {folder}, {}};
}

void detachFuse(const QString &folder, bool force)
{
    QStringList args = {QStringLiteral("-u")};
    if (force)
        args << QStringLiteral("-z"); // lazy: gone from the tree now, released when the last file closes
    args << folder;
    if (MountTable::isMountPoint(MountTable::current(), folder))
        ImageTool::fusermount().run(args);
    QDir().rmdir(folder); // only ever empty here; fails harmlessly if something else is in it
}

} // namespace

bool udisksAnswers()
{
    if (!QFileInfo::exists(QStringLiteral("/run/dbus/system_bus_socket"))
        && qEnvironmentVariableIsEmpty("DBUS_SYSTEM_BUS_ADDRESS"))
        return false; // no system bus: don't let QtDBus try and time out
    const QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (bus.interface()->isServiceRegistered(udisksService))
        return true;
    const QDBusReply<QStringList> activatable = bus.interface()->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(udisksService);
}

QString decodedCopyFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
           + QStringLiteral("/KLVO Tandor/mounts");
}

QString fuseMountRoot()
{
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QFileInfo(runtime).isDir())
        runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QString root = QDir(runtime).filePath(QStringLiteral("KLVO Tandor/mounts"));
    QDir().mkpath(root);
    return root;
}

MountedImage attach(const QString &image, bool browse, bool mount)
{
    Q_UNUSED(browse);
    const QString path = QFileInfo(image).absoluteFilePath(); // fuseiso runs on after we return, from "/"
    QString decoded;
    QString file = path;
    if (DiscSheet::isSheetName(path)) {
        file = sheetImage(path, decoded);
    } else if (const std::optional<ImageInfo> info = ImageInfo::inspect(path); info && info->isUDIF) {
        decoded = decodeForMount(path);
        file = decoded;
    }
    MountedImage result;
    try {
        result = udisksAnswers() ? attachLoop(file, mount) : attachFuse(path, file, mount);
    } catch (...) {
        if (!decoded.isEmpty())
            QFile::remove(decoded);
        throw;
    }
    result.image = image;
    result.decodedCopy = decoded;
    return result;
}

void detach(const MountedImage &image, bool force)
{
    const auto removeCopy = [&] {
        if (!image.decodedCopy.isEmpty())
            QFile::remove(image.decodedCopy);
    };
    try {
        detach(image.device, force);
    } catch (...) {
        if (force)
            removeCopy();
        throw;
    }
    removeCopy();
}

void detach(const QString &device, bool force)
{
    const auto once = [&](bool forced) {
        if (isLoopDevice(device))
            detachLoop(device, forced);
        else
            detachFuse(device, forced);
    };
    if (force) {
        once(true);
        return;
    }
    try {
        once(false);
    } catch (const TDError &) {
        once(true);
    }
}

} // namespace Mounter
