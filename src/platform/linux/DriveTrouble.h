#pragma once
// Plain sentences for the faults of a drive that libburn reports: its
// complaints in, the sentence a user understands out. libburn's own words go
// to the burn log under the sentence, not in it.
//
// Pure functions; any thread.

#include <QString>
#include <QStringList>

namespace DriveTrouble {

// The sentence for one complaint as libburn prints it (a system error
// libburn names follows it on the same line, see withSystemError()); empty
// for a complaint that isn't one of the drive faults known here.
QString sentence(const QString &said);

struct Explained
{
    QString sentence;
    QString words; // libburn's complaint behind it; empty when it said nothing
};

// What an operation that failed with `complaints` (oldest first) says: the
// latest complaint naming a known fault (libburn follows the cause with
// consequences that name none, such as "Burn run failed", and another
// drive's complaints may come before); else `fallback`, the operation's own
// sentence, with libburn's last complaint other than a command dump.
Explained explain(const QStringList &complaints, const QString &fallback);

// `text` followed by the system error libburn gave with it, in libburn's
// own words: "Could not grab drive ( Most recent system error: 19  'No such
// device' )". `text` alone when `osErrno` is 0.
QString withSystemError(const QString &text, int osErrno);

} // namespace DriveTrouble
