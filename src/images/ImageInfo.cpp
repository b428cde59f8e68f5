#include "images/ImageInfo.h"

#include "base/TDError.h"
#include "images/BlockReader.h"
#include "platform/sheets/DiscSheet.h"
#include "platform/udif/UdifTrack.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <sys/stat.h>

namespace {

constexpr qint64 sector = 2048;
constexpr qint64 descriptorStart = 16 * sector; // sectors 16..23: where ISO 9660 and UDF announce themselves
constexpr qint64 descriptorWindow = 8 * sector;
constexpr qint64 trailerSize = 512;             // a UDIF trailer fills the last 512 bytes
constexpr qint64 headSize = 4096;               // Mac volume headers and partition maps start here

bool isPadding(QChar c)
{
    return c.isSpace() || c.category() == QChar::Other_Control;
}

// Volume names are padded with spaces (ISO 9660) or NULs (sloppy writers).
QString trimName(const QString &name)
{
    qsizetype begin = 0;
    qsizetype end = name.size();
    while (begin < end && isPadding(name[begin]))
        ++begin;
    while (end > begin && isPadding(name[end - 1]))
        --end;
    return name.mid(begin, end - begin);
}

std::optional<QString> jolietName(const char *field)
{
    QStringDecoder decode(QStringConverter::Utf16BE, QStringConverter::Flag::Stateless);
    const QString name = decode(QByteArrayView(field, 32));
    // Qt's decoder passes unpaired surrogates through; they are no name either.
    if (decode.hasError() || !name.isValidUtf16())
        return std::nullopt;
    return trimName(name);
}

struct Descriptors
{
    bool iso9660 = false;
    bool udf = false;
    std::optional<QString> primary;
    std::optional<QString> joliet;
    bool jolietSeen = false;
};

Descriptors scan(const QByteArray &window)
{
    Descriptors d;
    for (qint64 s = 0; s + sector <= window.size(); s += sector) {
        const char *base = window.constData() + s;
        const QByteArrayView id(base + 1, 5);
        if (id == "CD001") {
            d.iso9660 = true;
            const auto type = quint8(base[0]);
            if (type == 1 && !d.primary)
                d.primary = trimName(QString::fromUtf8(base + 40, 32));
            else if (type == 2 && base[88] == '%' && base[89] == '/' && !d.jolietSeen) {
                d.jolietSeen = true;
                d.joliet = jolietName(base + 40);
            }
        } else if (id == "BEA01" || id == "NSR02" || id == "NSR03") {
            d.udf = true;
        }
    }
    return d;
}

quint32 bigEndian(const QByteArray &data, qint64 at, int bytes)
{
    quint32 value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | quint8(data[at + i]);
    return value;
}

// An HFS ("BD" with a whole number of sectors per allocation block), HFS+
// ("H+", version 4) or HFSX ("HX", version 5) volume header 1024 bytes in,
// or an Apple partition map: a driver descriptor ("ER") whose block size
// points at the first map entry ("PM"). Mac CD masters are one or the other.
bool hasMacVolume(const QByteArray &head)
{
    constexpr qint64 header = 1024;
    if (head.size() >= header + 24) {
        const QByteArrayView signature(head.constData() + header, 2);
        const quint32 version = bigEndian(head, header + 2, 2);
        const quint32 hfsBlock = bigEndian(head, header + 20, 4);
        if ((signature == "BD" && hfsBlock != 0 && hfsBlock % 512 == 0) || (signature == "H+" && version == 4)
            || (signature == "HX" && version == 5))
            return true;
    }
    if (head.size() >= 4 && head.startsWith("ER")) {
        const qint64 block = bigEndian(head, 2, 2);
        if ((block == 512 || block == 2048) && head.size() >= block + 2)
            return QByteArrayView(head.constData() + block, 2) == "PM";
    }
    return false;
}

} // namespace

QString DiscSizes::fits(qint64 bytes)
{
    if (bytes <= cd)
        return QStringLiteral("Fits on a CD-R, DVD or Blu-ray");
    if (bytes <= dvd)
        return QStringLiteral("Needs a DVD (too big for a CD)");
    if (bytes <= dvdDL)
        return QStringLiteral("Needs a dual-layer DVD (DVD+R DL) or a Blu-ray");
    if (bytes <= bd)
        return QStringLiteral("Needs a Blu-ray (BD-R)");
    return QStringLiteral("Too big for any single disc");
}

namespace ImageFormats {

QList<ImageFormat> all()
{
    return {ImageFormat::iso, ImageFormat::dmg};
}

QString id(ImageFormat format)
{
    return format == ImageFormat::dmg ? QStringLiteral("DMG") : QStringLiteral("ISO");
}

std::optional<ImageFormat> fromId(const QString &id)
{
    for (const ImageFormat f : all())
        if (ImageFormats::id(f) == id)
            return f;
    return std::nullopt;
}

QString extension(ImageFormat format)
{
    return format == ImageFormat::dmg ? QStringLiteral("dmg") : QStringLiteral("iso");
}

QString explanation(ImageFormat format)
{
    if (format == ImageFormat::dmg)
        return QStringLiteral("Mac disk image (read-only, Mac OS Extended). Opens on any Mac.");
    return QStringLiteral(
        "ISO 9660 + Joliet + Rock Ridge: opens on Mac, Windows and Linux, and burns to any CD, DVD or Blu-ray.");
}

} // namespace ImageFormats

QString ImageInfo::formatName() const
{
    if (isUDIF)
        return QStringLiteral("Mac disk image (DMG)");
    if (hasISO9660 && hasUDF)
        return QStringLiteral("ISO 9660 + UDF image");
    if (hasISO9660)
        return QStringLiteral("ISO 9660 image");
    if (hasUDF)
        return QStringLiteral("UDF image");
    if (QFileInfo(path).suffix().compare(QLatin1String("cdr"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("CD/DVD master (CDR)");
    return QStringLiteral("Raw disc image");
}

bool ImageInfo::isTrackSheet() const
{
    const QString suffix = QFileInfo(path).suffix();
    return suffix.compare(QLatin1String("cue"), Qt::CaseInsensitive) == 0
           || suffix.compare(QLatin1String("toc"), Qt::CaseInsensitive) == 0;
}

bool ImageInfo::isDmg() const
{
    return isUDIF || QFileInfo(path).suffix().compare(QLatin1String("dmg"), Qt::CaseInsensitive) == 0;
}

QString ImageInfo::warning() const
{
    // A DMG's container hides what is inside; it is never written raw
    // anyway, and nor is anything with a problem.
    if (isDmg() || hasISO9660 || hasUDF || hasHFS || isTrackSheet() || !problem.isEmpty())
        return {};
    return QStringLiteral("No file system was found in this image; it will be burned as it is.");
}

std::optional<ImageInfo> ImageInfo::inspect(const QString &path)
{
    // Only regular files: a directory opens on Linux and then fails every
    // read, and a device or FIFO could block or has no size.
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    const std::optional<qint64> size = fileSize(path);
    if (!size || *size <= 0)
        return std::nullopt;

    try {
        const BlockReader reader(path);
        ImageInfo info;
        info.path = path;
        info.bytes = *size;

        bool koly = false;
        try {
            const QByteArray tail = reader.read(std::max(*size, trailerSize) - trailerSize, trailerSize);
            koly = tail.startsWith("koly");
        } catch (const TDError &) {
        }

        try {
            info.hasHFS = hasMacVolume(reader.read(0, headSize));
        } catch (const TDError &) {
        }

        Descriptors d;
        try {
            const QByteArray window = reader.read(descriptorStart, descriptorWindow);
            if (window.size() >= sector)
                d = scan(window);
        } catch (const TDError &) {
        }

        info.hasISO9660 = d.iso9660;
        info.hasUDF = d.udf;
        if (d.joliet && !d.joliet->isEmpty())
            info.volumeName = d.joliet;
        else if (d.primary && !d.primary->isEmpty())
            info.volumeName = d.primary;
        info.isUDIF = koly && !d.udf;
        return info;
    } catch (const TDError &) {
        return std::nullopt; // couldn't open it
    }
}

std::optional<ImageInfo> ImageInfo::examine(const QString &path, QString *why)
{
    const QFileInfo file(path);
    std::optional<ImageInfo> info = inspect(path);
    if (!info) {
        if (why) {
            // As inspect() looked: a FIFO must not be opened, it would block.
            struct stat st;
            if (::stat(QFile::encodeName(path).constData(), &st) != 0)
                *why = errno == ENOENT ? file.fileName() + QStringLiteral(" can't be found.")
                                       : TDError::cantOpen(path, errno).text();
            else if (!S_ISREG(st.st_mode))
                *why = file.fileName() + QStringLiteral(" isn't a file.");
            else if (st.st_size == 0)
                *why = file.fileName() + QStringLiteral(" is empty: there is nothing in it to burn.");
            else
                try {
                    const BlockReader reader(path); // says why it can't be opened
                    *why = file.fileName() + QStringLiteral(" can't be opened.");
                } catch (const TDError &e) {
                    *why = e.text();
                }
        }
        return info;
    }
    const QString cantBurn = QStringLiteral("KLVO Tandor can't burn ") + file.fileName() + QStringLiteral(": ");
    if (info->isTrackSheet()) {
        try {
            info->sheetBytes = qint64(DiscSheet::read(path).discSectors()) * sector;
        } catch (const TDError &e) {
            info->problem = cantBurn + e.text();
        }
    } else if (info->isDmg()) {
        if (const QString wrong = UdifTrack::why(path); !wrong.isEmpty())
            info->problem = cantBurn + wrong;
    }
    return info;
}

const QStringList &ImageInfo::burnableExtensions()
{
    static const QStringList exts = {QStringLiteral("iso"), QStringLiteral("dmg"), QStringLiteral("cdr"),
                                     QStringLiteral("img"), QStringLiteral("toc"), QStringLiteral("cue")};
    return exts;
}
