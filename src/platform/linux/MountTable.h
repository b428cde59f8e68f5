#pragma once
// What is mounted where, from /proc/self/mountinfo. No system headers here;
// parse() is pure, current() reads the kernel's table. Any thread.

#include <QByteArray>
#include <QList>
#include <QString>

namespace MountTable {

struct Entry
{
    unsigned major = 0;   // device number of the mounted file system
    unsigned minor = 0;
    QString root;         // the folder of that file system mounted here ("/" for all of it)
    QString mountPoint;   // escapes (\040 for a space, ...) decoded
    QString fsType;       // "iso9660", "udf", "fuse.fuseiso", ...
    QString source;       // "/dev/sr0", "fuseiso", ...

    bool operator==(const Entry &) const = default;
};

// The entries of a mountinfo text, in its order; malformed lines are skipped.
QList<Entry> parse(const QByteArray &mountinfo);

// The mount table of this process now; empty when it can't be read.
QList<Entry> current();

// Mount points of the device `major`:`minor` in `entries`, in table order.
QStringList mountPointsOf(const QList<Entry> &entries, unsigned major, unsigned minor);

// Whether `path` is itself a mount point in `entries`.
bool isMountPoint(const QList<Entry> &entries, const QString &path);

} // namespace MountTable
