#pragma once
// MD5 and SHA-256 of files and devices, and checking a checksum the user
// pasted against them.
//
// compute() is blocking work for a worker thread. It reads the data once and
// hashes SHA-256 on the calling thread while a helper thread of its own hashes
// MD5 of the same chunks, with reading and hashing overlapped. The helper is
// started and joined inside the call: when compute() returns or throws, it
// has ended. All other functions are pure and may be called from any thread.

#include "base/CancelToken.h"
#include "base/TDError.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

struct Digests
{
    QString md5;    // 32 lower-case hex digits
    QString sha256; // 64 lower-case hex digits
    qint64 bytes = 0;

    bool operator==(const Digests &) const = default;
};

enum class ChecksumMatch { md5, sha256, noMatch, notAChecksum };

namespace Checksums {

// Two lower-case hex digits per byte.
QString hex(const QByteArray &bytes);

// Digests of the first `length` bytes of `path`, or of all of it when
// `length` is nullopt (a device is then read up to its end).
//
// `progress`, if set, is called on the calling thread with the fraction done,
// at most every 0.1 s, and with 1.0 once at the end. The fraction needs a
// size: `length`, or else the size the file system records; without one only
// the final 1.0 is reported. The callback may call cancel on `cancel`.
//
// `cancel` (may be null) is polled before every read of at most 1 MiB; once
// it is cancelled the call throws TDError::cancelled() without reading more.
//
// Throws TDError: cantOpen when `path` can't be opened, readFailed when a
// read fails or, with `length`, when the data ends first (errno EIO, offset
// where it ended), tool when the crypto library fails, cancelled as above.
Digests compute(const QString &path, std::optional<qint64> length, const std::function<void(double)> &progress,
                CancelToken *cancel);
Digests compute(const QString &path, const std::function<void(double)> &progress, CancelToken *cancel);

// The first word of `text`, trimmed, lower-case: what a pasted line of
// md5sum or sha256sum output, or a bare digest, boils down to.
QString normalize(const QString &text);

// Whether `text`, as normalize() reads it, is either digest.
ChecksumMatch match(const QString &text, const Digests &digests);

// What to tell the user about a match() result.
QString verdict(ChecksumMatch result);

// The text of a checksum file for `name`: "SHA256 (name) = …" and
// "MD5 (name) = …", the tagged lines GNU coreutils write with --tag.
// `cksum -c` checks both lines, `sha256sum -c` and `md5sum -c` their own
// and pass over the other without a warning.
QString fileText(const Digests &digests, const QString &name);

} // namespace Checksums
