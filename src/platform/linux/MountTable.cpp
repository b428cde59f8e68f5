#include "platform/linux/MountTable.h"

#include <QFile>

namespace MountTable {

namespace {

// mountinfo writes space, tab, newline and backslash as three octal digits.
QString unescape(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = false;
            const int value = digits.toInt(&ok, 8);
            if (ok && digits.size() == 3 && value < 256) {
                out += char(value);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return QString::fromUtf8(out);
}

} // namespace

QList<Entry> parse(const QByteArray &mountinfo)
{
    QList<Entry> entries;
    for (const QByteArray &line : mountinfo.split('\n')) {
        // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
        const QList<QByteArray> f = line.split(' ');
        const qsizetype dash = f.indexOf("-");
        if (f.size() < 5 || dash < 5 || dash + 2 >= f.size())
            continue;
        const QList<QByteArray> dev = f[2].split(':');
        if (dev.size() != 2)
            continue;
        bool okMajor = false;
        bool okMinor = false;
        Entry e;
        e.major = dev[0].toUInt(&okMajor);
        e.minor = dev[1].toUInt(&okMinor);
        if (!okMajor || !okMinor)
            continue;
        e.root = unescape(f[3]);
        e.mountPoint = unescape(f[4]);
        e.fsType = unescape(f[dash + 1]);
        e.source = unescape(f[dash + 2]);
        entries << e;
    }
    return entries;
}

QList<Entry> current()
{
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parse(file.readAll()); // a proc file has no size: readAll reads to the end
}

QStringList mountPointsOf(const QList<Entry> &entries, unsigned major, unsigned minor)
{
    QStringList points;
    for (const Entry &e : entries)
        if (e.major == major && e.minor == minor && !points.contains(e.mountPoint))
            points << e.mountPoint;
    return points;
}

bool isMountPoint(const QList<Entry> &entries, const QString &path)
{
    for (const Entry &e : entries)
        if (e.mountPoint == path)
            return true;
    return false;
}

} // namespace MountTable
