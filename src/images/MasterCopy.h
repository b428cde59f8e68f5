#pragma once
// Copying a master CD: a secure read of everything on it into a BIN/CUE pair
// (the sheet keeps pre-gaps, indexes, flags, ISRCs, the catalogue number and
// CD-Text), and the check of a burned copy against the master, track by
// track.
//
// Threading: blocking; call on a worker thread, with the reader handed over
// to that thread (CdReader.h). No state between calls.
//
// Cancelling: `cancel` (may be null) is polled before every read; a stop
// throws TDError::cancelled and leaves nothing behind.

#include "base/CancelToken.h"
#include "platform/api/CdReader.h"

#include <QList>
#include <QString>

#include <functional>

namespace MasterCopy {

// Reads of one sector a secure read makes before it calls the sector
// unreadable, when two whole-chunk reads didn't agree.
inline constexpr int maxTries = 8;

// Sectors of one track no two reads agreed on, the first counted from the
// track's INDEX 01 (negative inside its pre-gap).
struct Unreadable
{
    int track = 0; // from 1
    qint64 sectors = 0;
    qint64 first = 0;
    bool operator==(const Unreadable &) const = default;
};

struct Outcome
{
    DiscSheet sheet;              // as written to the cue, with the BIN's absolute path
    QList<Unreadable> unreadable; // silence in the BIN where they are
};

// "Track 3: 12 sectors couldn't be read, around 2:31." — one sentence per
// track, joined by spaces; empty for none.
QString unreadableText(const QList<Unreadable> &unreadable);

// Reads the disc into `cue` and a BIN of the same name beside it. Every chunk
// is read twice; where the two reads differ or fail, each sector is read
// again until two reads agree, at most maxTries times, and one that never
// agrees is kept as silence and reported. The BIN is written as a ".partial"
// file and renamed over an older one of its name once complete, then the cue
// is saved whole; on any error or a stop nothing is left.
// `progress` (0…1, on the calling thread) after every chunk.
// Throws TDError: refused (no track, as the reader refuses), readFailed (the
// disc or the drive gone), writeFailed (e.g. a full disk), cancelled.
Outcome read(CdReader &reader, const QString &cue, const std::function<void(double)> &progress,
             CancelToken *cancel);

// Compares the disc in `copy` with `master` (any sheet: its files are read):
// the tracks, their gaps, indexes, flags, codes and CD-Text, then every
// sector of every track. Returns the sentence for the log:
// "identical to the master (14 tracks)", or what differs first
// ("Track 3 differs from the master around 2:31.").
struct Comparison
{
    bool identical = false;
    QString text;
};
Comparison compare(CdReader &copy, const DiscSheet &master, const std::function<void(double)> &progress,
                   CancelToken *cancel);

} // namespace MasterCopy
