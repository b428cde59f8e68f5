#include "images/FolderCompare.h"

#include "base/Format.h"
#include "images/BlockReader.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <cstring>
#include <memory>

namespace {

QString firstThree(const QStringList &paths)
{
    QString text = paths.mid(0, 3).join(QStringLiteral(", "));
    if (paths.size() > 3)
        text += QStringLiteral("…");
    return text;
}

} // namespace

QString FolderCompareResult::summary() const
{
    if (files == 0)
        return QStringLiteral("The folder has no files to check.");
    if (ok())
        return QStringLiteral("All ") + QString::number(files) + QStringLiteral(" file")
               + (files == 1 ? QString() : QStringLiteral("s")) + QStringLiteral(" (") + fmtBytes(bytes)
               + QStringLiteral(") match the folder byte for byte.");
    QStringList parts;
    if (!missing.isEmpty())
        parts << QString::number(missing.size()) + QStringLiteral(" missing (") + firstThree(missing)
                     + QLatin1Char(')');
    if (!different.isEmpty())
        parts << QString::number(different.size()) + QStringLiteral(" different (") + firstThree(different)
                     + QLatin1Char(')');
    return QStringLiteral("Image does NOT match the folder: ") + parts.join(QStringLiteral("; "));
}

namespace FolderCompare {

QStringList files(const QString &folder)
{
    QString prefix = QDir::cleanPath(folder);
    if (!prefix.endsWith(QLatin1Char('/')))
        prefix += QLatin1Char('/');
    QStringList rel;
    // Without QDir::Hidden the iterator neither lists hidden files nor goes
    // into hidden folders.
    QDirIterator it(folder, QDir::Files | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (!info.isFile() || info.isSymLink())
            continue;
        const QString path = QDir::cleanPath(info.filePath());
        rel << (path.startsWith(prefix) ? path.mid(prefix.size()) : info.fileName());
    }
    rel.sort();
    return rel;
}

bool sameBytes(const QString &a, const QString &b, CancelToken *cancel)
{
    const std::optional<qint64> sizeA = fileSize(a);
    const std::optional<qint64> sizeB = fileSize(b);
    if (sizeA.has_value() != sizeB.has_value() || (sizeA && *sizeA != *sizeB))
        return false;

    const BlockReader readerA(a);
    const BlockReader readerB(b);
    const std::unique_ptr<char[]> bufA(new char[BlockReader::chunk]);
    const std::unique_ptr<char[]> bufB(new char[BlockReader::chunk]);
    for (qint64 offset = 0;;) {
        if (cancel && cancel->isCancelled())
            throw TDError::cancelled();
        const qint64 gotA = readerA.read(offset, bufA.get(), BlockReader::chunk);
        const qint64 gotB = readerB.read(offset, bufB.get(), BlockReader::chunk);
        if (gotA != gotB || std::memcmp(bufA.get(), bufB.get(), size_t(gotA)) != 0)
            return false;
        if (gotA == 0)
            return true;
        offset += gotA;
    }
}

FolderCompareResult compare(const QString &folder, const QString &root, const std::function<void(double)> &progress,
                            CancelToken *cancel)
{
    const QDir source(folder);
    const QDir image(root);
    const QStringList rel = files(folder);

    qint64 total = 0;
    for (const QString &r : rel)
        total += fileSize(source.filePath(r)).value_or(0);
    total = std::max<qint64>(total, 1);

    FolderCompareResult result;
    result.files = int(rel.size());
    for (const QString &r : rel) {
        const QString mine = source.filePath(r);
        const QString theirs = image.filePath(r);
        result.bytes += fileSize(mine).value_or(0);
        if (!QFileInfo::exists(theirs))
            result.missing << r;
        else if (!sameBytes(mine, theirs, cancel))
            result.different << r;
        if (progress)
            progress(double(result.bytes) / double(total));
    }
    return result;
}

} // namespace FolderCompare
