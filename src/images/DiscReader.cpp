#include "images/DiscReader.h"

#include "base/Format.h"
#include "images/Checksums.h"
#include "images/ImageMaker.h"
#include "platform/crypto/Digest.h"
#include "platform/linux/OpticalDiscs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace DiscReader {

const QString protectedDisc = QStringLiteral(
    "This disc is copy-protected. KLVO Tandor only copies discs that are not protected, and never gets around "
    "copy protection.");

namespace {

QString systemText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

QString unreadable(qint64 offset)
{
    return QStringLiteral("The disc couldn't be read at ") + fmtBytes(offset)
           + QStringLiteral(", so the copy was stopped and the unfinished file removed. The disc may be scratched, "
                            "dirty, an audio CD, or copy-protected. KLVO Tandor doesn't skip unreadable or "
                            "protected sectors.");
}

void writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw TDError::writeFailed(systemText(errno));
        }
        data += n;
        size -= n;
    }
}

QString copyInto(int fd, qint64 length, const std::function<void(double)> &progress, CancelToken *cancel,
                 const ReadFunction &read)
{
    Crypto::Digest sha(Crypto::Digest::Algorithm::sha256);
    const std::unique_ptr<char[]> buffer(new char[BlockReader::chunk]);
    for (qint64 done = 0; done < length;) {
        if (cancel && cancel->isCancelled())
            throw TDError::cancelled();
        const qint64 ask = std::min(length - done, BlockReader::chunk);
        const qint64 got = read(done, buffer.get(), ask);
        if (got < ask) // the disc ended before its size: never padded
            throw TDError::readFailed(QStringLiteral("the disc"), done + got, EIO);
        writeAll(fd, buffer.get(), got);
        sha.update(buffer.get(), size_t(got));
        done += got;
        if (progress)
            progress(double(done) / double(length));
    }
    return Checksums::hex(sha.finish());
}

} // namespace

QList<DiscInfo> opticalDiscs(const QStringList &alsoAsk)
{
    // A drive udev reports twice still gives one entry; sorting the names
    // sorts the list.
    QStringList names = OpticalDiscs::names() + alsoAsk;
    names.sort();
    names.removeDuplicates();
    QList<DiscInfo> discs;
    for (const QString &name : names)
        if (const std::optional<DiscInfo> disc = info(name))
            discs << *disc;
    return discs;
}

std::optional<DiscInfo> info(const QString &bsd)
{
    QString name = bsd;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    if (std::optional<DiscInfo> disc = OpticalDiscs::describe(name))
        return disc;
    // A drive given by its path that udev doesn't know.
    return bsd.startsWith(QLatin1Char('/')) ? OpticalDiscs::askDrive(bsd) : std::nullopt;
}

int dvdProtection(const BlockReader &reader)
{
    return OpticalDiscs::dvdCopyProtection(reader.path());
}

bool hasAACS(const std::optional<QString> &mountPoint)
{
    if (!mountPoint || mountPoint->isEmpty())
        return false;
    const QDir root(*mountPoint);
    for (const char *name : {"AACS", "BDMV/AACS", "ANY!"})
        if (QFileInfo::exists(root.filePath(QLatin1String(name))))
            return true;
    return false;
}

std::optional<QString> refusal(const std::optional<QString> &volumeKind, bool hasAACSFolder, int dvdProtection,
                               qint64 bytes)
{
    if (volumeKind == QLatin1String("cdda"))
        return QStringLiteral("This is an audio CD. Audio CDs hold music tracks, not files, so they can't be saved "
                              "as an ISO. (To copy an audio CD, use the Audio CD screen with the songs as files.)");
    if (hasAACSFolder)
        return protectedDisc + QStringLiteral(" (Blu-ray AACS)");
    if (dvdProtection < 1) {
        if (bytes < 1)
            return QStringLiteral("The system reports this disc as empty, so there is nothing to copy.");
        return std::nullopt;
    }
    if (dvdProtection == 1)
        return protectedDisc + QStringLiteral(" (DVD CSS)");
    if (dvdProtection == 2)
        return protectedDisc + QStringLiteral(" (DVD CPRM)");
    return protectedDisc + QStringLiteral(" (DVD type ") + QString::number(dvdProtection)
           + QLatin1Char(')');
}

Outcome makeISO(const DiscInfo &disc, const QString &target, const std::function<void(double)> &progress,
                CancelToken *cancel)
{
    return makeISO(disc, disc.rawPath(), target, progress, cancel);
}

Outcome makeISO(const DiscInfo &disc, const QString &device, const QString &target,
                const std::function<void(double)> &progress, CancelToken *cancel)
{
    std::unique_ptr<BlockReader> raw;
    try {
        raw = std::make_unique<BlockReader>(device);
    } catch (const TDError &) {
        // No raw access (no permission, say): the files may still be copied.
    }
    const int protection = raw && disc.isDVD() ? dvdProtection(*raw) : -1;
    if (const std::optional<QString> why = refusal(disc.volumeKind, hasAACS(disc.mountPoint), protection, disc.bytes))
        throw TDError::refused(*why);

    if (raw) {
        try {
            const QString sha = copy(disc.bytes, target, progress, cancel,
                                     [&](qint64 offset, char *into, qint64 count) {
                                         return raw->read(offset, into, count);
                                     });
            return {Method::rawCopy, sha,
                    QStringLiteral("Copied sector by sector (") + fmtBytes(disc.bytes)
                        + QStringLiteral("). The ISO is an exact copy of the disc.")};
        } catch (const TDError &e) {
            if (e.kind() == TDError::Kind::readFailed)
                throw TDError::refused(unreadable(e.offset()));
            throw;
        }
    }

    if (disc.mountPoint && disc.volumeKind && *disc.volumeKind != QLatin1String("cdda")) {
        ImageMaker::make(*disc.mountPoint, target, ImageFormat::iso, disc.volumeName.value_or(QStringLiteral("DISC")),
                         progress, cancel);
        return {Method::fromFiles, std::nullopt,
                QStringLiteral("The system didn't allow a sector-by-sector read, so the ISO was built from the "
                               "disc's files (same files and folders, new layout).")};
    }
    throw TDError::refused(QStringLiteral("The system didn't let KLVO Tandor read this disc, and it has no files to "
                                          "copy. Make sure the disc is mounted in the file manager, then try again."));
}

QString copy(qint64 length, const QString &target, const std::function<void(double)> &progress, CancelToken *cancel,
             const ReadFunction &read)
{
    const QString work = target + QStringLiteral(".partial");
    const QByteArray workName = QFile::encodeName(work);
    QFile::remove(work); // left by a copy that was killed
    const int fd = ::open(workName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        throw TDError::writeFailed(QStringLiteral("can't create ") + QFileInfo(work).fileName()
                                   + QStringLiteral(" in ") + QFileInfo(work).absolutePath());
    bool open = true;
    try {
        QString sha;
        try {
            sha = copyInto(fd, length, progress, cancel, read);
        } catch (const std::runtime_error &e) {
            throw TDError::tool(QString::fromLocal8Bit(e.what())); // the crypto library
        }
        // On disk before it takes the target's name, so a crash can't leave
        // a short file under the name of a finished copy.
        if (::fdatasync(fd) != 0)
            throw TDError::writeFailed(systemText(errno));
        open = false;
        if (::close(fd) != 0)
            throw TDError::writeFailed(systemText(errno));
        if (::rename(workName.constData(), QFile::encodeName(target).constData()) != 0)
            throw TDError::writeFailed(systemText(errno));
        return sha;
    } catch (...) {
        if (open)
            ::close(fd);
        QFile::remove(work);
        throw;
    }
}

} // namespace DiscReader
