#include "platform/udif/UdifFile.h"

#include "base/TDError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Udif {

namespace {

TDError writeError(const QString &path, int err)
{
    return TDError::writeFailed(QStringLiteral("writing %1 failed (%2).")
                                    .arg(path, QString::fromLocal8Bit(std::strerror(err))));
}

} // namespace

UdifFile::UdifFile(const QString &path, Mode mode) : m_path(path)
{
    const QByteArray native = path.toLocal8Bit();
    const int flags = mode == Mode::read ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC;
    do {
        m_fd = ::open(native.constData(), flags | O_CLOEXEC, 0644);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) {
        // A file that can't be made is a failed save, not an unreadable one.
        if (mode == Mode::createTruncate)
            throw writeError(path, errno);
        throw TDError::cantOpen(path, errno);
    }
    struct stat st;
    if (mode == Mode::read && ::fstat(m_fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(m_fd);
        throw TDError::cantOpen(path, EISDIR);
    }
}

UdifFile::~UdifFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

qint64 UdifFile::size() const
{
    struct stat st;
    if (::fstat(m_fd, &st) != 0)
        throw TDError::readFailed(m_path, 0, errno);
    return qint64(st.st_size);
}

qint64 UdifFile::readSome(qint64 offset, char *out, qint64 length) const
{
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::pread(m_fd, out + done, size_t(length - done), off_t(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw TDError::readFailed(m_path, offset + done, errno);
        }
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

void UdifFile::readExactly(qint64 offset, char *out, qint64 length) const
{
    const qint64 got = readSome(offset, out, length);
    if (got != length)
        throw TDError::readFailed(m_path, offset + got, EIO); // the file shrank under us
}

void UdifFile::writeAt(qint64 offset, const char *data, qint64 length)
{
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::pwrite(m_fd, data + done, size_t(length - done), off_t(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw writeError(m_path, errno);
        }
        done += n;
    }
}

void UdifFile::resize(qint64 size)
{
    if (::ftruncate(m_fd, off_t(size)) != 0)
        throw writeError(m_path, errno);
}

} // namespace Udif
