#pragma once
// Makes file operations fail on purpose, for tests of what the program does
// when a disk fills up, a folder may not be written, a folder disappears or a
// source can't be read. The test executable links the interposer (see
// tandor_fault in this folder's CMakeLists.txt), which stands in front of the
// C library's open, write, read, rename, ... for the whole process, Qt and
// libburn included. Until a rule is armed every call goes straight through.
//
// Only one rule is armed at a time; arming and disarming may happen on any
// thread, and the calls it affects may come from any thread.

#include <QByteArray>
#include <QString>

namespace Fault {

enum class Kind {
    diskFull,   // writes under the path fail with ENOSPC once `after` bytes went in
    denied,     // creating, opening for writing, renaming or linking under the path: EACCES
    readError,  // reads of files under the path fail with EIO once `after` bytes came out
    vanish,     // the folder `path` is removed for real before the write that takes
                // the bytes written to files in it past `after`
    unlisted,   // listing a folder at or under the path (opendir): EACCES
};

struct Rule
{
    Kind kind = Kind::diskFull;
    QString path;     // a folder or file; everything at or below it matches
    qint64 after = 0; // bytes that pass before the fault strikes
    int times = 0;    // failed calls before the fault clears by itself; 0: never
};

// Arms `rule`, replacing any armed before; the counters start at zero.
void arm(const Rule &rule);
void disarm();
// How many calls the armed (or last) rule has failed, or for vanish, whether
// the folder was removed (1) or not yet (0).
int strikes();

// Arms a rule for as long as it lives.
class Armed
{
public:
    explicit Armed(const Rule &rule) { arm(rule); }
    ~Armed() { disarm(); }
    Armed(const Armed &) = delete;
    Armed &operator=(const Armed &) = delete;
};

// For child processes, which the in-process rule can't reach: the value of
// LD_PRELOAD that loads the interposer into a child, and the value of
// TANDOR_FAULT that arms `rule` there. Empty when the module wasn't built.
QByteArray preloadModule();
QByteArray childRule(const Rule &rule);

} // namespace Fault
