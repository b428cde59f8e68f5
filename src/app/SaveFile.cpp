#include "app/SaveFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SaveFile {

QString replace(const QString &target, const QByteArray &bytes)
{
    // Saving over a link saves to what it points at, as editors do, and
    // leaves the link a link.
    QFileInfo info(target);
    if (info.isSymLink())
        info = QFileInfo(info.exists() ? info.canonicalFilePath() : info.symLinkTarget());
    const QByteArray final = QFile::encodeName(info.absoluteFilePath());
    QByteArray work;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        work = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QLatin1Char('.')
                                 + QString::number(QRandomGenerator::global()->generate(), 36));
        fd = ::open(work.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));

    int error = 0;
    // A replaced file keeps who may read it.
    struct stat old;
    if (::stat(final.constData(), &old) == 0)
        (void)::fchmod(fd, old.st_mode & 07777);
    for (qsizetype at = 0; at < bytes.size() && !error;) {
        const ssize_t n = ::write(fd, bytes.constData() + at, size_t(bytes.size() - at));
        if (n > 0)
            at += n;
        else if (n == 0 || errno != EINTR)
            error = n == 0 ? EIO : errno;
    }
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::rename(work.constData(), final.constData()) != 0)
        error = errno;
    if (error) {
        ::unlink(work.constData());
        return QString::fromLocal8Bit(std::strerror(error));
    }
    return {};
}

} // namespace SaveFile
