#include "images/ToolMessages.h"

#include "base/TDError.h"

#include <QFileInfo>
#include <QList>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>

namespace ToolMessages {

namespace {

struct Rule
{
    QString tool;  // empty: any tool
    QString words; // looked for in what the tool printed, case-sensitively
    QString sentence;
};

QString diskFull()
{
    // The same words as any other save that runs out of room.
    return TDError::writeFailed(QString::fromLocal8Bit(std::strerror(ENOSPC))).text();
}

// In order of precedence: the first rule whose words appear anywhere wins.
const QList<Rule> &rules()
{
    static const QList<Rule> list = [] {
        const QString xorriso = QStringLiteral("xorriso");
        const QString fuseiso = QStringLiteral("fuseiso");
        const QString udisks = QStringLiteral("udisksctl");
        const QString fusermount = QStringLiteral("fusermount");
        const QString readOnly = QStringLiteral("That place is read-only. Choose another folder to save the image in.");
        const QString notAllowedToSave =
            QStringLiteral("Tandor isn't allowed to save there. Choose another folder for the image.");
        const QString busy = QStringLiteral("The image is busy: close the files and windows that use it, then try again.");
        return QList<Rule>{
            // Making an image.
            {xorriso, QStringLiteral("exceeds free space on media"), diskFull()},
            {xorriso, QStringLiteral("No space left on device"), diskFull()},
            {xorriso, QStringLiteral("Read-only file system"), readOnly},
            {xorriso, QStringLiteral("Permission denied"), notAllowedToSave},
            {xorriso, QStringLiteral("Neither stdio-path nor its directory exist"),
             QStringLiteral("The folder to save the image in doesn't exist.")},
            {xorriso, QStringLiteral("Not a directory"), QStringLiteral("The place to save the image in isn't a folder.")},
            {xorriso, QStringLiteral("Cannot accept directory as target"),
             QStringLiteral("A folder is in the way where the image should be saved. Choose another name.")},
            {xorriso, QStringLiteral("Access to file is not allowed"),
             QStringLiteral("Tandor isn't allowed to read a file in the folder, so the image wasn't made.")},
            // libisofs fills an unreadable file with zeros and goes on to
            // "completed successfully"; xorriso then fails on its severity.
            {xorriso, QStringLiteral("Read error in file"),
             QStringLiteral("A file in the folder couldn't be read, so the image wasn't made.")},
            {xorriso, QStringLiteral("Cannot acquire drive"),
             QStringLiteral("The image file couldn't be created there. Choose another folder.")},
            // Mounting: nothing readable in the image.
            {fuseiso, QStringLiteral("wrong standard identifier in volume descriptor"), noFileSystem()},
            {fuseiso, QStringLiteral("is it really supported file"), noFileSystem()},
            {udisks, QStringLiteral("not a mountable filesystem"), noFileSystem()},
            {udisks, QStringLiteral("wrong fs type"), noFileSystem()},
            // Mounting: the image itself, or the system, said no.
            {QString(), QStringLiteral("Not authorized"),
             QStringLiteral("The system didn't allow Tandor to mount or eject images (not authorized).")},
            {QString(), QStringLiteral("failed to exec fusermount"), notInstalled(fusermount)},
            {QString(), QStringLiteral("fuse device not found"),
             QStringLiteral("FUSE isn't available on this computer, so the image can't be mounted.")},
            {QString(), QStringLiteral("device not found, try 'modprobe fuse'"),
             QStringLiteral("FUSE isn't available on this computer, so the image can't be mounted.")},
            {fuseiso, QStringLiteral("No such file or directory"), QStringLiteral("The image file can't be found.")},
            {udisks, QStringLiteral("No such file or directory"), QStringLiteral("The image file can't be found.")},
            {fuseiso, QStringLiteral("Permission denied"), QStringLiteral("Tandor isn't allowed to read this image file.")},
            {udisks, QStringLiteral("Error setting up loop device"),
             QStringLiteral("The system couldn't open the image file.")},
            // Ejecting.
            {QString(), QStringLiteral("Device or resource busy"), busy},
            {QString(), QStringLiteral("target is busy"), busy},
            {QString(), QStringLiteral("DeviceBusy"), busy},
            {fusermount, QStringLiteral("not found in /etc/mtab"), QStringLiteral("The image was no longer mounted.")},
            {fusermount, QStringLiteral("Permission denied"),
             QStringLiteral("The system didn't allow Tandor to eject the image.")},
        };
    }();
    return list;
}

// "fusermount3" is fusermount.
QString family(const QString &tool)
{
    return tool.startsWith(QLatin1String("fusermount")) ? QStringLiteral("fusermount") : tool;
}

} // namespace

std::optional<QString> sentence(const QString &tool, const QString &printed)
{
    const QString name = family(tool);
    // libisofs can't list a folder: as good as always a missing read
    // permission (a vanished folder is caught before the tool starts).
    static const QRegularExpression unlisted(QStringLiteral("Cannot open as source directory: '([^\n]*)'"));
    if (const QRegularExpressionMatch m = unlisted.match(printed); name == QLatin1String("xorriso") && m.hasMatch())
        return QStringLiteral("Tandor has no permission to read the folder “%1”, so the image wasn't made.")
            .arg(QFileInfo(m.captured(1)).fileName());
    for (const Rule &rule : rules()) {
        if ((rule.tool.isEmpty() || rule.tool == name) && printed.contains(rule.words))
            return rule.sentence;
    }
    return std::nullopt;
}

QString notInstalled(const QString &tool)
{
    const QString name = family(tool);
    QString package = name;
    if (name == QLatin1String("fusermount"))
        package = QStringLiteral("fuse3");
    else if (name == QLatin1String("udisksctl"))
        package = QStringLiteral("udisks2");
    return QStringLiteral("Tandor needs %1 for this, and it isn't installed. Install the %2 package.").arg(name, package);
}

QString noFileSystem()
{
    return QStringLiteral("This image holds no file system Linux can mount.");
}

} // namespace ToolMessages
