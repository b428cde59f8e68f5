#pragma once
// Reads a file or a device at given byte offsets.
//
// Every read is positional (pread): the descriptor's own position is never
// used or moved, so one reader may serve several threads at once and a read
// never depends on the one before. Reads are retried after EINTR and loop
// until the request is filled; a result shorter than asked means the end of
// the file or device.
//
// Ownership: the reader owns its descriptor, opened read-only by the
// constructor and closed by the destructor. Not copyable or movable.
// Threading: all const members may be called from any thread concurrently.
// Cancellation: none inside; callers poll their CancelToken between reads,
// which is why reads are at most a chunk long in work loops.

#include <QByteArray>
#include <QString>

#include <optional>

class BlockReader
{
public:
    // The size of one read in work loops: the step between cancellation checks.
    static constexpr qint64 chunk = 1048576;

    // Throws TDError::cantOpen(path, errno) when the path can't be opened.
    explicit BlockReader(const QString &path);
    ~BlockReader();
    BlockReader(const BlockReader &) = delete;
    BlockReader &operator=(const BlockReader &) = delete;

    const QString &path() const { return m_path; }

    // Up to `count` bytes from `offset` (a buffer of `count` is allocated
    // first); empty at or past the end.
    // Throws TDError::readFailed(path, offset of the failing byte, errno).
    QByteArray read(qint64 offset, qint64 count) const;
    // The same into the caller's buffer of at least `count` bytes, for loops
    // that reuse one buffer. Returns how many bytes were read.
    qint64 read(qint64 offset, char *into, qint64 count) const;

private:
    QString m_path;
    int m_fd = -1;
};

// The size the file system records for `path` (0 for most devices), or
// nullopt when its attributes can't be read. Any thread.
std::optional<qint64> fileSize(const QString &path);
