#include "images/FileTrackProducer.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

FileTrackProducer::FileTrackProducer(const QString &path, quint64 byteLength)
    : m_path(path)
    , m_byteLength(byteLength)
{
}

FileTrackProducer::~FileTrackProducer()
{
    close();
}

bool FileTrackProducer::prepareTrack()
{
    close();
    do {
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
    } while (m_fd < 0 && errno == EINTR);
    return m_fd >= 0;
}

bool FileTrackProducer::prepareTrackForVerification()
{
    m_compared.store(0, std::memory_order_release);
    m_firstDifference.store(noDifference, std::memory_order_release);
    return m_fd >= 0 || prepareTrack();
}

bool FileTrackProducer::verifyData(const char *buffer, quint32 length, quint64 address, quint32 blockSize)
{
    const char *want = expected(length, address, blockSize);
    const bool same = std::memcmp(want, buffer, length) == 0;
    if (!same) {
        const quint64 at = address * blockSize + quint64(std::mismatch(buffer, buffer + length, want).first - buffer);
        quint64 seen = m_firstDifference.load(std::memory_order_relaxed);
        while (at < seen && !m_firstDifference.compare_exchange_weak(seen, at, std::memory_order_release))
            ;
    }
    m_compared.fetch_add(length, std::memory_order_release);
    return same;
}

bool FileTrackProducer::cleanupTrackAfterVerification()
{
    close();
    return true;
}

void FileTrackProducer::fill(char *buffer, quint32 length, quint64 address, quint32 blockSize)
{
    // Only what the file doesn't cover is zeroed: this runs for every block
    // of a burn, and clearing the whole buffer first would touch it twice.
    quint64 got = 0;
    const quint64 offset = blockSize != 0 && address > UINT64_MAX / blockSize ? UINT64_MAX : address * blockSize;
    if (offset < m_byteLength && m_fd >= 0) {
        const quint64 want = std::min<quint64>(m_byteLength - offset, length);
        while (got < want) {
            const ssize_t n = ::pread(m_fd, buffer + got, want - got, off_t(offset + got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                got = 0; // a failed read is zeros, not half a block of data
                break;
            }
            if (n == 0)
                break; // the file got shorter: the rest is zeros
            got += quint64(n);
        }
    }
    std::memset(buffer + got, 0, length - got);
}

void FileTrackProducer::close()
{
    if (m_fd >= 0)
        ::close(m_fd); // a close error changes nothing for a read-only handle
    m_fd = -1;
}
