#pragma once
// Checks an image, mounted, file by file and byte by byte against the folder
// it was made from.
//
// files() and sameBytes() and compare() read the file system and block: call
// them on a worker thread. summary() is pure. No state; any thread.

#include "base/CancelToken.h"
#include "base/TDError.h"

#include <QString>
#include <QStringList>

#include <functional>

struct FolderCompareResult
{
    int files = 0;          // files found in the folder
    qint64 bytes = 0;       // their total size
    QStringList missing;    // relative paths in the folder but not in the image
    QStringList different;  // relative paths in both whose contents differ

    bool operator==(const FolderCompareResult &) const = default;

    bool ok() const { return files > 0 && missing.isEmpty() && different.isEmpty(); }
    // "All 5 files (12 MB) match the folder byte for byte.", or what is missing and different.
    QString summary() const;
};

namespace FolderCompare {

// The regular files under `folder`, hidden files and folders left out, as
// paths relative to it, sorted; empty when it can't be listed. Symbolic
// links are neither listed nor followed.
QStringList files(const QString &folder);

// Whether two files hold the same bytes. Files of different sizes (or one
// of them without a size) are not read at all; equal ones are read side by
// side in 1 MiB chunks up to the first difference.
// Cancellation: `cancel` (may be null) is polled before every chunk.
// Throws TDError: cantOpen, readFailed (from BlockReader), cancelled.
bool sameBytes(const QString &a, const QString &b, CancelToken *cancel);

// Compares every file of files(folder) with the file of the same relative
// path under `root` (the mounted image). `progress`, if set, is called on the
// calling thread after each file with the share of bytes done. `cancel` (may
// be null) is polled before every chunk of every file compared.
// Throws what sameBytes() throws.
FolderCompareResult compare(const QString &folder, const QString &root, const std::function<void(double)> &progress,
                            CancelToken *cancel);

} // namespace FolderCompare
