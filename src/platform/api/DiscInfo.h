#pragma once
// What the system says of a disc in a drive: the type the disc listing speaks
// and the disc copy reads from. A plain value; reentrant.

#include <QString>

#include <optional>

struct DiscInfo
{
    QString bsdName;                    // the whole disc's device name: "sr0", or a path for a drive udev doesn't know
    QString mediaKind;                  // "CD", "DVD" or "BD"
    QString mediaName;                  // "CD-R", "DVD+RW", "BD-ROM", ...
    qint64 bytes = 0;                   // medium size
    int blockSize = 2048;
    std::optional<QString> volumeKind;  // file system ("iso9660", "udf"), or "cdda" for an audio CD
    std::optional<QString> volumeName;  // the volume's label
    std::optional<QString> mountPoint;  // where its files are, when mounted
    bool writable = false;              // blank or appendable

    bool operator==(const DiscInfo &) const = default;

    bool isOptical() const;
    bool isDVD() const { return mediaKind == QLatin1String("DVD"); }
    // The device to read: "/dev/" + bsdName, or bsdName when it is a path.
    QString rawPath() const { return bsdName.startsWith(QLatin1Char('/')) ? bsdName : QStringLiteral("/dev/") + bsdName; }
    // "Photos 2019 (sr0, 700 MB)": volume name, else media name, else "Disc".
    QString label() const;
};
