#pragma once
// Whether a disc (or another file) holds exactly the image it was made from.
//
// Only the image's length is read from the other source: a burned disc is
// often longer than its image (padding after the last sector).

#include "base/CancelToken.h"
#include "base/TDError.h"

#include <QString>

#include <functional>
#include <optional>

struct VerifyResult
{
    bool match = false;                    // the other source holds the whole image, same SHA-256
    qint64 bytes = 0;                      // bytes of the image read and compared
    QString imageSHA256;                   // lower-case hex
    QString otherSHA256;                   // of the same bytes of the other source, zero-filled past its end
    std::optional<qint64> firstDifference; // offset of the first differing byte; never set on a match
    std::optional<qint64> shortBy;         // image bytes beyond the end of the other source

    bool operator==(const VerifyResult &) const = default;

    // The one line shown and logged: "Match — SHA-256 …", "NO MATCH — …".
    QString summary() const;
};

namespace Verifier {

// Reads `image` and `other` (a file, or a disc's raw device such as
// "/dev/sr0") side by side in 1 MiB chunks, up to the image's size. Each side
// is hashed with SHA-256 on a core of its own (this thread hashes the image, a
// helper thread started and joined inside the call reads and hashes the other
// source a few chunks ahead); this thread also compares the chunks byte for
// byte until the first difference. So a verify takes about as long as hashing
// the image alone.
//
// Blocking: runs on a worker thread. `progress`, if set, is called on the
// calling thread after every chunk with the fraction done (0..1).
// Cancellation: `cancel` (may be null) is polled before every chunk; then the
// call throws TDError::cancelled() and the helper has ended when it returns.
//
// Throws TDError: cantOpen(image, ENOENT) when the image's size can't be
// read; cantOpen when either source can't be opened; readFailed for a read
// error on either side, and for an image that got shorter while it was read
// (errno EIO at the offset where it ended); tool when the crypto library
// fails; cancelled.
VerifyResult compare(const QString &image, const QString &other, const std::function<void(double)> &progress,
                     CancelToken *cancel);

} // namespace Verifier
