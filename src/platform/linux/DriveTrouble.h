#pragma once
// Plain sentences for the faults of a drive that libburn reports: its
// complaint in, the sentence a user understands out. libburn's own words go
// to the burn log under the sentence, not in it.
//
// Pure functions; any thread.

#include <QString>

namespace DriveTrouble {

// The sentence for `said`, a complaint as libburn prints it (a system error
// libburn names follows it on the same line, see withSystemError()), or
// `fallback`, the operation's own sentence, for a complaint that isn't one
// of the drive faults known here.
QString sentence(const QString &said, const QString &fallback);

// `text` followed by the system error libburn gave with it, in libburn's
// own words: "Could not grab drive ( Most recent system error: 19  'No such
// device' )". `text` alone when `osErrno` is 0.
QString withSystemError(const QString &text, int osErrno);

} // namespace DriveTrouble
