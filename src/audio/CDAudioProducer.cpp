#include "audio/CDAudioProducer.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

CDAudioProducer::CDAudioProducer(const QString &path)
    : m_path(path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) == 0 && info.st_size > 0)
        m_byteLength = quint64(info.st_size);
}

CDAudioProducer::~CDAudioProducer()
{
    close();
}

quint32 CDAudioProducer::preGapFrames(int index, double gapSeconds)
{
    if (index == 0)
        return firstPreGap;
    if (!(gapSeconds > 0)) // also NaN
        return 0;
    return quint32(std::min(gapSeconds * framesPerSecond, double(UINT32_MAX)));
}

bool CDAudioProducer::prepareTrack()
{
    close();
    do {
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
    } while (m_fd < 0 && errno == EINTR);
    return m_fd >= 0;
}

quint32 CDAudioProducer::producePreGap(char *buffer, quint32 length, quint64, quint32)
{
    std::memset(buffer, 0, length);
    return length;
}

quint32 CDAudioProducer::produceData(char *buffer, quint32 length, quint64 address, quint32 blockSize)
{
    fill(buffer, length, address, blockSize);
    return length;
}

bool CDAudioProducer::prepareTrackForVerification()
{
    return m_fd >= 0 || prepareTrack();
}

bool CDAudioProducer::verifyPreGap(const char *, quint32, quint64, quint32)
{
    return true;
}

bool CDAudioProducer::verifyData(const char *buffer, quint32 length, quint64 address, quint32 blockSize)
{
    const auto expected = std::make_unique<char[]>(length);
    fill(expected.get(), length, address, blockSize);
    return std::memcmp(expected.get(), buffer, length) == 0;
}

bool CDAudioProducer::cleanupTrackAfterVerification()
{
    close();
    return true;
}

void CDAudioProducer::fill(char *buffer, quint32 length, quint64 address, quint32 blockSize) const
{
    std::memset(buffer, 0, length);
    // An address whose offset doesn't fit in 64 bits is past any file.
    if (blockSize != 0 && address > UINT64_MAX / blockSize)
        return;
    const quint64 offset = address * blockSize;
    if (offset >= m_byteLength || m_fd < 0)
        return;
    const quint64 want = std::min<quint64>(m_byteLength - offset, length);
    quint64 got = 0;
    while (got < want) {
        const ssize_t n = ::pread(m_fd, buffer + got, want - got, off_t(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            // A failed read is silence, not half a block of sound.
            std::memset(buffer, 0, length);
            return;
        }
        if (n == 0)
            return; // the file got shorter: the rest stays zeros
        got += quint64(n);
    }
}

void CDAudioProducer::close()
{
    if (m_fd >= 0)
        ::close(m_fd); // a close error changes nothing for a read-only handle
    m_fd = -1;
}
