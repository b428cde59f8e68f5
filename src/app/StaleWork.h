#pragma once
// Work files an earlier run left in the cache folder when it crashed or was
// killed: prepared audio ("*.cdda") and unfinished files ("*.partial") in the
// folder itself, decoded images ("NAME.XXXXXX.img") in its "mounts" folder;
// and the masters read into its "Masters" folder ("Master TIME.bin/.cue"),
// which an earlier run kept only for its own burns. Only the running copy removes them, once, at start-up: a copy that
// hands its files over and quits would take the running copy's files away.

#include <QDateTime>
#include <QString>

class AppModel;

namespace StaleWork {

struct Freed
{
    int files = 0;
    qint64 bytes = 0;

    bool operator==(const Freed &) const = default;
};

// Removes those files in `cacheDir` last changed before `before`. Only plain
// files of this user's with one name are taken: symlinks (and what they
// point to), other names and other folders are left alone, and a "mounts"
// that is a symlink is not entered. Failures only mean a file stays.
// Blocks on the file system: call on a worker. Any thread.
Freed sweep(const QString &cacheDir, const QDateTime &before);

// The burn log's line for what was freed; empty when nothing was.
QString message(const Freed &freed);

// Sweeps the program's cache folder on a worker (files changed from now on
// are this run's and stay) and logs the line in `model` when done. Main
// thread; nothing is logged when the model is gone by then.
void sweepLater(AppModel &model);

} // namespace StaleWork
