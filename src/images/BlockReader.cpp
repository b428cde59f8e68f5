#include "images/BlockReader.h"

#include "base/TDError.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

BlockReader::BlockReader(const QString &path) : m_path(path)
{
    const QByteArray name = QFile::encodeName(path);
    do
        m_fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0)
        throw TDError::cantOpen(path, errno);
}

BlockReader::~BlockReader()
{
    ::close(m_fd);
}

QByteArray BlockReader::read(qint64 offset, qint64 count) const
{
    QByteArray data(qMax<qint64>(count, 0), Qt::Uninitialized);
    data.truncate(read(offset, data.data(), data.size()));
    return data;
}

qint64 BlockReader::read(qint64 offset, char *into, qint64 count) const
{
    qint64 got = 0;
    while (got < count) {
        const ssize_t n = ::pread(m_fd, into + got, size_t(count - got), off_t(offset + got));
        if (n > 0)
            got += n;
        else if (n == 0)
            break;
        else if (errno != EINTR)
            throw TDError::readFailed(m_path, offset + got, errno);
    }
    return got;
}

std::optional<qint64> fileSize(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return qint64(st.st_size);
}
