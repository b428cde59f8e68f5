#include "images/ImageMaker.h"

#include "images/ImageTool.h"
#include "platform/udif/Udif.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ImageMaker {

namespace {

constexpr qsizetype maxVolumeName = 32;
// How much of a DMG's progress bar the HFS+ hybrid takes; compressing it
// into the UDIF container takes the rest, and the longer time.
constexpr double hybridShare = 0.35;

// Where xorriso writes the HFS+ hybrid that a DMG wraps: beside the output,
// so it is on the same file system and its space counts as the image's.
QString hybridPath(const QString &output)
{
    const QFileInfo info(output);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".partial.hfs"));
}

QString systemText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

} // namespace

QString volumeName(const QString &name)
{
    QString cleaned;
    for (const char32_t c : name.toUcs4()) {
        const bool keep = (c < 0x80 && QChar::isLetterOrNumber(c)) || c == U' ' || c == U'_' || c == U'-';
        cleaned += keep ? QChar(char16_t(c)) : QLatin1Char('_');
    }
    cleaned = cleaned.trimmed().left(maxVolumeName).trimmed();
    return cleaned.isEmpty() ? QStringLiteral("DISC") : cleaned;
}

qint64 folderBytes(const QString &folder)
{
    qint64 total = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isFile() && !info.isSymLink())
            total += info.size();
    }
    return total;
}

QString workPath(const QString &output, ImageFormat format)
{
    const QFileInfo info(output);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".partial.")
                               + ImageFormats::extension(format));
}

QStringList arguments(const QString &folder, const QString &output, ImageFormat format, const QString &volume)
{
    // Level 3 allows files over 4 GiB; -r is Rock Ridge with the owners and
    // modes made readable for whoever mounts the disc; -joliet-long keeps
    // Windows names up to 103 characters.
    QStringList args = {QStringLiteral("-as"),      QStringLiteral("mkisofs"),    QStringLiteral("-iso-level"),
                        QStringLiteral("3"),        QStringLiteral("-J"),         QStringLiteral("-joliet-long"),
                        QStringLiteral("-r"),       QStringLiteral("-input-charset"), QStringLiteral("UTF-8")};
    if (format == ImageFormat::dmg)
        args << QStringLiteral("-hfsplus");
    args << QStringLiteral("-V") << volumeName(volume) << QStringLiteral("-o") << output << folder;
    return args;
}

QString make(const QString &folder, const QString &output, ImageFormat format, const QString &volume,
             const std::function<void(double)> &progress, CancelToken *cancel)
{
    if (!QFileInfo(folder).isDir())
        throw TDError::tool(QStringLiteral("The folder ") + QFileInfo(folder).fileName()
                            + QStringLiteral(" can't be found."));
    const bool dmg = format == ImageFormat::dmg;
    const QString work = workPath(output, format);
    const QString made = dmg ? hybridPath(output) : work;
    // Leftovers of a run that was killed; nobody else names files like these.
    QFile::remove(work);
    QFile::remove(made);

    const double toolShare = dmg ? hybridShare : 1.0;
    std::function<void(double)> toolProgress;
    if (progress)
        toolProgress = [&](double p) { progress(p * toolShare); };
    try {
        ImageTool::xorriso().run(arguments(folder, made, format, volume), toolProgress, cancel);
        if (!QFileInfo::exists(made))
            throw TDError::tool(QStringLiteral("xorriso didn't make the image."));
        if (dmg) {
            Udif::write(made, work, [&](double p) {
                if (progress)
                    progress(hybridShare + p * (1 - hybridShare));
            }, cancel);
            QFile::remove(made);
        }
        // rename() replaces the older image in one step: there is never a
        // moment without a whole file at `output`.
        if (std::rename(QFile::encodeName(work).constData(), QFile::encodeName(output).constData()) != 0)
            throw TDError::writeFailed(systemText(errno));
    } catch (...) {
        QFile::remove(work);
        if (dmg)
            QFile::remove(made);
        throw;
    }
    if (progress)
        progress(1.0);
    return output;
}

} // namespace ImageMaker
