#include "platform/sheets/DiscSheet.h"

#include "base/TDError.h"
#include "platform/sheets/CueSheet.h"
#include "platform/sheets/TocSheet.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Sheets are a few kilobytes; anything far bigger is not one.
constexpr qint64 largestSheet = 1024 * 1024;

QString msf(quint64 sectors)
{
    return QString::asprintf("%02llu:%02llu:%02llu", sectors / (75 * 60), (sectors / 75) % 60, sectors % 75);
}

QString quoted(const QString &text)
{
    QString out = text;
    out.replace(u'"', u'\'');
    return u'"' + out + u'"';
}

// The sheet's text, UTF-8 when it is one and Latin-1 otherwise.
QString sheetText(const QFileInfo &info)
{
    const QString path = info.filePath();
    QFile file(info.absoluteFilePath());
    if (!file.open(QIODevice::ReadOnly))
        throw TDError::cantOpen(path, info.exists() ? EACCES : ENOENT);
    if (file.size() > largestSheet)
        throw TDError::refused(QStringLiteral("%1 is too large to be a sheet.").arg(info.fileName()));
    const QByteArray bytes = file.readAll();
    if (bytes.size() != file.size())
        throw TDError::readFailed(path, bytes.size(), EIO);
    // UTF-8 when it is; older sheets are Latin-1.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    return text;
}

quint32 le32(const char *p)
{
    return quint32(quint8(p[0])) | quint32(quint8(p[1])) << 8 | quint32(quint8(p[2])) << 16
           | quint32(quint8(p[3])) << 24;
}

quint16 le16(const char *p)
{
    return quint16(quint8(p[0]) | quint8(p[1]) << 8);
}

} // namespace

std::optional<DiscSheet::WavePcm> DiscSheet::wavePcm(const QString &path, QString &why)
{
    QFile file(path);
    char riff[12];
    if (!file.open(QIODevice::ReadOnly) || file.read(riff, 12) != 12 || std::memcmp(riff, "RIFF", 4) != 0
        || std::memcmp(riff + 8, "WAVE", 4) != 0) {
        why = QStringLiteral("isn't a WAVE file");
        return std::nullopt;
    }
    bool cdAudio = false;
    const qint64 size = file.size();
    // Chunks follow one another, each padded to an even length.
    for (qint64 at = 12; at + 8 <= size;) {
        char head[8];
        if (!file.seek(at) || file.read(head, 8) != 8)
            break;
        const qint64 length = le32(head + 4);
        if (std::memcmp(head, "fmt ", 4) == 0) {
            char fmt[16];
            if (length < 16 || file.read(fmt, 16) != 16)
                break;
            cdAudio = le16(fmt) == 1 && le16(fmt + 2) == 2 && le32(fmt + 4) == 44100 && le16(fmt + 14) == 16;
            if (!cdAudio) {
                why = QStringLiteral("isn't 16-bit stereo 44.1 kHz PCM");
                return std::nullopt;
            }
        } else if (std::memcmp(head, "data", 4) == 0) {
            if (!cdAudio)
                break;
            // A writer that never came back to set the length leaves it
            // too large: the samples end with the file.
            return WavePcm{at + 8, std::min(length, size - at - 8)};
        }
        at += 8 + length + (length & 1);
    }
    why = QStringLiteral("isn't a WAVE file");
    return std::nullopt;
}

quint64 DiscSheet::discSectors() const
{
    quint64 sum = 0;
    for (const SheetTrack &t : tracks)
        sum += t.discSectors();
    return sum;
}

bool DiscSheet::hasText() const
{
    if (!title.isEmpty() || !performer.isEmpty() || !songwriter.isEmpty() || !message.isEmpty())
        return true;
    return std::any_of(tracks.begin(), tracks.end(), [](const SheetTrack &t) {
        return !t.title.isEmpty() || !t.performer.isEmpty() || !t.songwriter.isEmpty() || !t.message.isEmpty();
    });
}

DiscSheet::FileSize DiscSheet::fileSystem()
{
    return [](const QString &path) -> std::optional<qint64> {
        // No file name holds a NUL; Qt would only warn about it.
        if (path.contains(QChar(0)))
            return std::nullopt;
        const QFileInfo info(path);
        if (!info.isFile())
            return std::nullopt;
        return info.size();
    };
}

bool DiscSheet::isSheetName(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("cue") || suffix == QLatin1String("toc");
}

DiscSheet DiscSheet::read(const QString &path)
{
    const QFileInfo info(path);
    if (!isSheetName(path))
        throw TDError::refused(QStringLiteral("%1 isn't a cue or toc sheet.").arg(info.fileName()));
    const QString text = sheetText(info);
    const bool toc = info.suffix().compare(QLatin1String("toc"), Qt::CaseInsensitive) == 0;
    return toc ? TocSheet::parse(text, info.fileName(), info.absolutePath(), fileSystem())
               : CueSheet::parse(text, info.fileName(), info.absolutePath(), fileSystem());
}

QString DiscSheet::cueTextFor(const QString &path)
{
    const QFileInfo info(path);
    if (info.suffix().compare(QLatin1String("toc"), Qt::CaseInsensitive) == 0)
        return read(path).toCueText();
    return sheetText(info);
}

QString DiscSheet::codeProblem(const QString &code, bool catalog)
{
    // An ISRC: country, registrant, year, designation (DE-A12-34-00001 without its hyphens).
    static const QRegularExpression catalogForm(QStringLiteral("^[0-9]{13}$")),
        isrcForm(QStringLiteral("^[A-Z]{2}[A-Z0-9]{3}[0-9]{7}$"));
    if ((catalog ? catalogForm : isrcForm).match(code).hasMatch())
        return {};
    return QStringLiteral("\"%1\" isn't right: %2.")
        .arg(code, catalog ? QStringLiteral("a catalogue number is 13 digits")
                           : QStringLiteral("an ISRC is 12 characters, like DEA123400001"));
}

QString DiscSheet::modeName(SheetTrack::Mode mode)
{
    switch (mode) {
    case SheetTrack::Mode::audio: return QStringLiteral("AUDIO");
    case SheetTrack::Mode::mode1Cooked: return QStringLiteral("MODE1/2048");
    case SheetTrack::Mode::mode1Raw: return QStringLiteral("MODE1/2352");
    case SheetTrack::Mode::mode2Raw: return QStringLiteral("MODE2/2352");
    }
    return {};
}

QString DiscSheet::flagsLine(const SheetTrack &t)
{
    QStringList flags;
    if (t.copyPermitted)
        flags << QStringLiteral("DCP");
    if (t.preEmphasis)
        flags << QStringLiteral("PRE");
    if (t.fourChannel)
        flags << QStringLiteral("4CH");
    return flags.isEmpty() ? QString() : QStringLiteral("    FLAGS %1\n").arg(flags.join(u' '));
}

QString DiscSheet::toCueText(const FileSize &size) const
{
    // Whether track i's sectors follow track i-1's in the same file, so one
    // FILE line serves both.
    const auto continues = [this](int i) {
        if (i <= 0 || i >= tracks.size())
            return false;
        const SheetTrack &p = tracks[i - 1], &t = tracks[i];
        return p.file == t.file && p.bigEndian == t.bigEndian && p.waveHeader == t.waveHeader
               && p.sectorBytes() == t.sectorBytes()
               && p.start + qint64(p.length) * p.sectorBytes() == t.start - qint64(t.fileGap) * t.sectorBytes();
    };
    const auto cantSay = [](int track, const QString &file, const char *what) {
        return TDError::refused(QStringLiteral("Track %1 %2 %3, which a cue sheet can't say.")
                                    .arg(track)
                                    .arg(QLatin1String(what), QFileInfo(file).fileName()));
    };
    QString cue;
    const auto text = [&cue](const char *indent, const char *key, const QString &value) {
        if (!value.isEmpty())
            cue += QLatin1String(indent) + QLatin1String(key) + u' ' + quoted(value) + u'\n';
    };
    text("", "TITLE", title);
    text("", "PERFORMER", performer);
    text("", "SONGWRITER", songwriter);
    text("", "MESSAGE", message);
    if (!catalog.isEmpty())
        cue += QStringLiteral("CATALOG %1\n").arg(catalog);
    for (int i = 0; i < tracks.size(); ++i) {
        const SheetTrack &t = tracks[i];
        const quint32 bytes = t.sectorBytes();
        // Positions count from a WAVE file's first sample.
        const qint64 start = t.start - t.waveHeader;
        const qint64 first = start - qint64(t.fileGap) * bytes;
        // A cue sheet counts positions in whole sectors, starts a file's
        // first track at its first index and ends its last at the file's end.
        if (start % bytes != 0)
            throw cantSay(i + 1, t.file, "starts part-way into a sector of");
        // Three digits of minutes are all a cue sheet's positions have.
        constexpr qint64 lastCueSector = (999 * 60 + 59) * 75 + 74;
        if (start / bytes > lastCueSector)
            throw cantSay(i + 1, t.file, "starts further into");
        if (!t.indexes.isEmpty() && quint64(start / bytes) + t.indexes.last() > quint64(lastCueSector))
            throw cantSay(i + 1, t.file, "has an index further into");
        // A quoted name ends at the next quote, and nothing escapes one.
        if (t.file.contains(u'"'))
            throw cantSay(i + 1, t.file, "comes from a file named");
        if (!continues(i)) {
            const QString type = t.waveHeader > 0 ? QStringLiteral("WAVE")
                                 : t.bigEndian    ? QStringLiteral("MOTOROLA")
                                                  : QStringLiteral("BINARY");
            cue += QStringLiteral("FILE %1 %2\n").arg(quoted(t.file), type);
        }
        qint64 end = size(t.file).value_or(-1);
        if (t.waveHeader > 0) {
            QString why;
            const std::optional<WavePcm> pcm = wavePcm(t.file, why);
            end = pcm ? pcm->offset + pcm->bytes : -1;
        }
        if (!continues(i + 1) && end != t.start + qint64(t.length) * bytes)
            throw cantSay(i + 1, t.file, "stops before the end of");
        cue += QStringLiteral("  TRACK %1 %2\n").arg(i + 1, 2, 10, QChar(u'0')).arg(modeName(t.mode));
        cue += flagsLine(t);
        text("    ", "TITLE", t.title);
        text("    ", "PERFORMER", t.performer);
        text("    ", "SONGWRITER", t.songwriter);
        text("    ", "MESSAGE", t.message);
        if (!t.isrc.isEmpty())
            cue += QStringLiteral("    ISRC %1\n").arg(t.isrc);
        if (t.preGap > 0)
            cue += QStringLiteral("    PREGAP %1\n").arg(msf(t.preGap));
        if (t.fileGap > 0)
            cue += QStringLiteral("    INDEX 00 %1\n").arg(msf(quint64(first / bytes)));
        cue += QStringLiteral("    INDEX 01 %1\n").arg(msf(quint64(start / bytes)));
        for (int n = 0; n < t.indexes.size(); ++n)
            cue += QStringLiteral("    INDEX %1 %2\n")
                       .arg(n + 2, 2, 10, QChar(u'0'))
                       .arg(msf(quint64(start / bytes) + t.indexes[n]));
        if (t.postGap > 0)
            cue += QStringLiteral("    POSTGAP %1\n").arg(msf(t.postGap));
    }
    return cue;
}
