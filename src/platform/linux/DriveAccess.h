#pragma once
// Why a burner's device node can't be used, in one sentence the user can act
// on. libburn only says that it could not open a drive; these checks find
// out whether the user lacks permission, the disc is mounted or another
// program holds the drive, and who.
//
// check(), inUse() and holders() stat, open and read /proc: they return
// quickly but do I/O, so they run where the drive's other I/O runs (the
// libburn thread). nodeOf() and the *Text() makers are pure. Any thread;
// nothing is kept between calls. No system headers here.

#include <QList>
#include <QString>

namespace DriveAccess {

// The path libburn opens for drive address `address`: the address itself
// when it is an absolute path ("/dev/sr0", or a node a test made), empty for
// "stdio:" pseudo-drives and anything else that isn't a path.
QString nodeOf(const QString &address);

// Opens `node` for reading and writing the way libburn does (without
// waiting for the tray; exclusively when it is a block device) and closes
// it again. Empty when that works, or when it fails for a reason this
// doesn't explain (no such node: libburn's own complaint says that);
// otherwise the sentence saying what is wrong and how to fix it.
QString check(const QString &node);

// The sentence for `node` held by someone else: where its disc is mounted,
// else which programs have it open, else "another program".
QString inUse(const QString &node);

// The same, when libburn has just failed to grab the drive at `node` and
// `complaint` is what it said: inUse() when the complaint says the drive is
// busy, else empty.
QString afterGrabFailed(const QString &node, const QString &complaint);

struct Holder
{
    QString name; // the process's command name, from /proc/PID/comm
    qint64 pid = 0;
    bool operator==(const Holder &) const = default;
};

// The processes other than this one that have `node` open, by PID. A
// process of another user doesn't let us see its files, so it is missing.
QList<Holder> holders(const QString &node);

// What is known about a node this user was refused.
struct Refusal
{
    QString node;
    QString group;                // the node's group; empty when it has no name
    bool readOnly = false;        // refused as read-only, whatever the mode
    bool modeAllows = false;      // owner, group and mode let us in: a sandbox or policy refuses
    bool groupWouldAllow = false; // joining `group` would let us in
    bool joinedLater = false;     // we are listed in `group`, but this session predates it
    bool operator==(const Refusal &) const = default;
};
QString refusalText(const Refusal &refusal);

// `mountPoint`: where the node's disc is mounted, empty when it isn't.
QString inUseText(const QString &node, const QString &mountPoint, const QList<Holder> &holders);

} // namespace DriveAccess
