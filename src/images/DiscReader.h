#pragma once
// Lists the optical discs in the drives and copies unprotected data discs
// into ISO files, sector by sector.
//
// Pure: DiscInfo's derived values, refusal(). The rest reads devices or files
// and blocks: call it on a worker thread (opticalDiscs() and info() take a
// moment per drive; makeISO() and copy() as long as the disc takes to read).
// No state is kept between calls; any thread.

#include "base/CancelToken.h"
#include "base/TDError.h"
#include "images/BlockReader.h"
#include "platform/api/DiscInfo.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace DiscReader {

// The refusal for a copy-protected disc, before the kind of protection.
extern const QString protectedDisc;

enum class Method { rawCopy, fromFiles };

struct Outcome
{
    Method method = Method::rawCopy;
    std::optional<QString> sha256; // of the ISO, lower-case hex, when copied sector by sector
    QString note;                  // the sentence shown to the user

    bool operator==(const Outcome &) const = default;
};

// Reads up to `count` bytes at `offset` into `into`, returning how many came
// (fewer only at the end); throws TDError::readFailed. BlockReader::read fits.
using ReadFunction = std::function<qint64(qint64 offset, char *into, qint64 count)>;

// Every optical disc in a drive now, sorted by bsdName, each once: those
// udev knows, from its records (quick), and those in the drives at the
// device paths `alsoAsk`, from the drives themselves. Takes no token.
QList<DiscInfo> opticalDiscs(const QStringList &alsoAsk = {});

// The disc in drive `bsd` ("sr0", "/dev/sr0"); nothing when there is no such
// drive or no disc in it. A path udev doesn't know is asked directly.
std::optional<DiscInfo> info(const QString &bsd);

// The DVD's copy protection system as the drive reports it (0 none, 1 CSS,
// 2 CPRM, other values as reported), or -1 when the drive can't be asked.
// Opens the reader's device a second time for the query.
int dvdProtection(const BlockReader &reader);

// Whether a mounted disc has the folders or files of Blu-ray AACS protection
// ("AACS", "BDMV/AACS", "ANY!"); false without a mount point.
bool hasAACS(const std::optional<QString> &mountPoint);

// Why the disc may not be copied, or nothing when it may: audio CD,
// Blu-ray AACS, DVD CSS/CPRM/other protection, empty disc. Pure.
std::optional<QString> refusal(const std::optional<QString> &volumeKind, bool hasAACSFolder, int dvdProtection,
                               qint64 bytes);

// Copies `disc` into the ISO file `target`, reading disc.rawPath().
// Refused discs throw TDError::refused before anything is written. With
// read access to the device the copy is sector by sector (copy() below; an
// unreadable sector becomes TDError::refused with the unreadable-sector
// text). Without it, a mounted data disc is rebuilt from its files by
// ImageMaker (progress and cancellation as there); an unmounted one is
// refused.
// `progress` (on the calling thread, after every chunk) and `cancel` as in
// copy(). Throws TDError: refused, writeFailed, tool, cancelled.
Outcome makeISO(const DiscInfo &disc, const QString &target, const std::function<void(double)> &progress,
                CancelToken *cancel);

// The same, reading `device` in place of disc.rawPath() (an image file stands
// in for the drive in tests).
Outcome makeISO(const DiscInfo &disc, const QString &device, const QString &target,
                const std::function<void(double)> &progress, CancelToken *cancel);

// Copies the first `length` bytes that `read` gives into `target` and
// returns their SHA-256 (lower-case hex), computed while copying. Writes
// `target` + ".partial" first and renames it over `target` only when every
// byte is written; on any error or cancellation the work file is removed and
// `target`, if it existed, is left as it was. No sector is skipped, padded or
// retried: the first failing or short read ends the copy.
//
// `progress`, if set, is called on the calling thread after every 1 MiB.
// `cancel` (may be null) is polled before every read.
// Throws TDError: writeFailed("can't create NAME in FOLDER") when the work
// file can't be made; writeFailed(system text) for a failed write ("No space
// left on device"); readFailed as `read` throws it, or readFailed("the disc",
// offset, EIO) for a short read; cancelled.
QString copy(qint64 length, const QString &target, const std::function<void(double)> &progress, CancelToken *cancel,
             const ReadFunction &read);

} // namespace DiscReader
