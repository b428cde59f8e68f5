#include "platform/linux/DriveAccess.h"

#include "platform/linux/MountTable.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <optional>
#include <vector>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace DriveAccess {

namespace {

// getgrgid_r and getpwuid_r want a buffer big enough for the whole entry;
// a large group lists many members.
std::vector<char> entryBuffer()
{
    const long hint = sysconf(_SC_GETGR_R_SIZE_MAX);
    return std::vector<char>(size_t(hint > 0 ? std::max(hint, 16384L) : 16384L));
}

struct GroupEntry
{
    QString name;
    QStringList members;
};

std::optional<GroupEntry> groupOf(gid_t gid)
{
    std::vector<char> buffer = entryBuffer();
    for (int tries = 0; tries < 5; ++tries) {
        group entry{};
        group *found = nullptr;
        const int rc = getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found);
        if (rc == ERANGE) {
            buffer.resize(buffer.size() * 4);
            continue;
        }
        if (rc != 0 || !found)
            return std::nullopt;
        GroupEntry g{QString::fromLocal8Bit(found->gr_name), {}};
        for (char **m = found->gr_mem; m && *m; ++m)
            g.members.append(QString::fromLocal8Bit(*m));
        return g;
    }
    return std::nullopt;
}

// This user's name and primary group, as the password database has them.
std::optional<std::pair<QString, gid_t>> currentUser()
{
    std::vector<char> buffer = entryBuffer();
    passwd entry{};
    passwd *found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    return std::make_pair(QString::fromLocal8Bit(found->pw_name), found->pw_gid);
}

bool processHasGroup(gid_t gid)
{
    if (getegid() == gid)
        return true;
    const int n = getgroups(0, nullptr);
    if (n <= 0)
        return false;
    std::vector<gid_t> groups{};
    groups.resize(size_t(n));
    const int got = getgroups(n, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

Refusal refusalFor(const QString &node, const struct stat &st, bool readOnly)
{
    Refusal r;
    r.node = node;
    r.readOnly = readOnly;
    const std::optional<GroupEntry> group = groupOf(st.st_gid);
    if (group)
        r.group = group->name;
    const bool owner = st.st_uid == geteuid();
    const bool member = !owner && processHasGroup(st.st_gid);
    // The kernel checks one class of bits: the owner's, else the group's,
    // else everyone's.
    const mode_t bits = owner ? (st.st_mode >> 6) : member ? (st.st_mode >> 3) : st.st_mode;
    r.modeAllows = geteuid() == 0 || (bits & 06) == 06;
    // Joining root's group is never the advice.
    r.groupWouldAllow = !owner && !member && st.st_gid != 0 && group && ((st.st_mode >> 3) & 06) == 06;
    if (r.groupWouldAllow) {
        if (const auto user = currentUser())
            r.joinedLater = group->members.contains(user->first) || user->second == st.st_gid;
    }
    return r;
}

QString inUse(const QString &node, const struct stat &st)
{
    QString mountPoint;
    if (S_ISBLK(st.st_mode))
        mountPoint = MountTable::mountPointsOf(MountTable::current(), major(st.st_rdev), minor(st.st_rdev)).value(0);
    return inUseText(node, mountPoint, mountPoint.isEmpty() ? holders(node) : QList<Holder>{});
}

QString commOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readAll()).trimmed();
}

} // namespace

QString nodeOf(const QString &address)
{
    return address.startsWith(QLatin1Char('/')) ? address : QString();
}

QString check(const QString &node)
{
    const QByteArray path = QFile::encodeName(node);
    struct stat st{};
    if (::stat(path.constData(), &st) != 0)
        return {};
    int flags = O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    // libburn opens a block device exclusively, which a mounted disc or a
    // program burning on it refuses.
    if (S_ISBLK(st.st_mode))
        flags |= O_EXCL;
    const int fd = ::open(path.constData(), flags);
    if (fd >= 0) {
        ::close(fd);
        return {};
    }
    switch (errno) {
    case EACCES:
    case EPERM:
        return refusalText(refusalFor(node, st, false));
    case EROFS:
        return refusalText(refusalFor(node, st, true));
    case EBUSY:
        return inUse(node, st);
    default:
        return {};
    }
}

QString inUse(const QString &node)
{
    struct stat st{};
    if (::stat(QFile::encodeName(node).constData(), &st) != 0)
        return inUseText(node, {}, {});
    return inUse(node, st);
}

QString afterGrabFailed(const QString &node, const QString &complaint)
{
    if (node.isEmpty() || !complaint.contains(QLatin1String("busy"), Qt::CaseInsensitive))
        return {};
    return inUse(node);
}

QList<Holder> holders(const QString &node)
{
    // Links in /proc/PID/fd name the file as the kernel resolved it.
    QString target = QFileInfo(node).canonicalFilePath();
    if (target.isEmpty())
        target = node;
    const QByteArray wanted = QFile::encodeName(target);
    const pid_t self = getpid();

    QList<Holder> found;
    DIR *proc = opendir("/proc");
    if (!proc)
        return found;
    while (dirent *e = readdir(proc)) {
        char *end = nullptr;
        const long pid = strtol(e->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self)
            continue;
        const QByteArray fdDir = "/proc/" + QByteArray(e->d_name) + "/fd";
        DIR *fds = opendir(fdDir.constData());
        if (!fds)
            continue; // gone, or another user's
        bool holds = false;
        while (dirent *f = readdir(fds)) {
            if (f->d_name[0] == '.')
                continue;
            char link[4096];
            const QByteArray fdPath = fdDir + '/' + f->d_name;
            const ssize_t n = readlink(fdPath.constData(), link, sizeof link);
            if (n > 0 && size_t(n) < sizeof link && QByteArray(link, n) == wanted) {
                holds = true;
                break;
            }
        }
        closedir(fds);
        if (holds)
            found.append({commOf(pid), pid});
    }
    closedir(proc);
    std::sort(found.begin(), found.end(), [](const Holder &a, const Holder &b) { return a.pid < b.pid; });
    return found;
}

QString refusalText(const Refusal &r)
{
    const QString &n = r.node;
    if (r.readOnly)
        return n + QStringLiteral(" can only be read here, not written: if the program runs in a sandbox "
                                  "(Flatpak or Snap), give it access to devices.");
    if (r.modeAllows)
        return QStringLiteral("No permission to use ") + n
            + QStringLiteral(" although its owner and mode allow it: if the program runs in a sandbox "
                             "(Flatpak or Snap), give it access to devices.");
    if (r.groupWouldAllow && r.joinedLater)
        return QStringLiteral("No permission to use ") + n + QStringLiteral(" yet: you are in the ") + r.group
            + QStringLiteral(" group from your next login on, so log out and back in.");
    if (r.groupWouldAllow)
        return QStringLiteral("No permission to use ") + n + QStringLiteral(": add yourself to the ") + r.group
            + QStringLiteral(" group (sudo usermod -aG ") + r.group
            + QStringLiteral(" $USER), then log out and back in.");
    return QStringLiteral("No permission to use ") + n + QStringLiteral(": its mode doesn't let you read and write it (see ls -l ")
        + n + QStringLiteral("), so ask your administrator for access.");
}

QString inUseText(const QString &node, const QString &mountPoint, const QList<Holder> &holders)
{
    if (!mountPoint.isEmpty())
        return QStringLiteral("The disc in ") + node + QStringLiteral(" is mounted at ") + mountPoint
            + QStringLiteral(": unmount it (Unmount in the file manager, or udisksctl unmount -b ") + node
            + QStringLiteral("), then Refresh Drives.");
    QStringList named;
    for (const Holder &h : holders) {
        const QString name = h.name.isEmpty() ? QStringLiteral("a program") : h.name;
        named.append(name + QStringLiteral(" (PID ") + QString::number(h.pid) + QLatin1Char(')'));
    }
    if (named.isEmpty())
        return node + QStringLiteral(" is in use by another program. Close it, then Refresh Drives.");
    QString who = named.takeLast();
    if (!named.isEmpty())
        who = named.join(QStringLiteral(", ")) + QStringLiteral(" and ") + who;
    return node + QStringLiteral(" is in use by ") + who
        + (holders.size() > 1 ? QStringLiteral(". Close them, then Refresh Drives.")
                              : QStringLiteral(". Close it, then Refresh Drives."));
}

} // namespace DriveAccess
