// Feeds arbitrary text to the cue sheet reader (fuzz_cue) or the toc reader
// (fuzz_toc, built with FUZZ_TOC=1) and checks what a read sheet promises:
// 1 to 99 tracks, each with sectors, lying inside its file with its file
// gap in front of it and its indexes rising inside it, and toCueText()
// reading back as the same sheet. A TDError with a text is an answer;
// anything else is a finding.
//
// Input: the sheet, then optionally a NUL and the bytes of "a.wav", the one
// file that exists beside the sheet. Other files exist by their names alone
// (the burner never opens them here): a name starting with digits is a file
// of that many bytes, one holding "missing" is not there, and any other is
// 3010560 bytes (10 × 301056, whole 2048- and 2352-byte sectors). Nothing
// outside the scratch folder exists, so a sheet can't reach real files.

#include "Scratch.h"

#include "base/TDError.h"
#include "platform/sheets/CueSheet.h"
#include "platform/sheets/TocSheet.h"

#include <QFileInfo>

#include <cstdint>
#include <cstdlib>

#ifndef FUZZ_TOC
#define FUZZ_TOC 0
#endif

namespace {

const QString &wavePath()
{
    static const QString path = Fuzz::scratch() + QStringLiteral("/a.wav");
    return path;
}

std::optional<qint64> sizeByName(const QString &path)
{
    if (path.contains(QChar(0)) || !path.startsWith(Fuzz::scratch() + u'/'))
        return std::nullopt;
    if (path == wavePath()) {
        const QFileInfo info(path);
        return info.isFile() ? std::optional<qint64>(info.size()) : std::nullopt;
    }
    const QString name = QFileInfo(path).fileName();
    if (name.contains(QStringLiteral("missing")))
        return std::nullopt;
    qsizetype digits = 0;
    while (digits < name.size() && digits < 15 && name[digits] >= u'0' && name[digits] <= u'9')
        ++digits;
    if (digits > 0)
        return name.first(digits).toLongLong();
    return qint64(3010560);
}

// Where the track's sectors lie, against the file they come from.
void checkTrack(const SheetTrack &t, const DiscSheet::FileSize &size)
{
    const qint64 bytes = t.sectorBytes();
    if (t.length == 0)
        broken("a track without sectors");
    if (t.waveHeader < 0 || t.start < t.waveHeader)
        broken("a track starting before its file's samples");
    if (!t.file.startsWith(Fuzz::scratch() + u'/'))
        broken("a file outside the sheet's folder");
    if (t.mode != SheetTrack::Mode::audio && (t.bigEndian || t.waveHeader != 0))
        broken("a data track read as audio");
    qint64 end = 0;
    if (t.waveHeader > 0) {
        QString why;
        const auto pcm = DiscSheet::wavePcm(t.file, why);
        if (!pcm || pcm->offset != t.waveHeader)
            broken("a WAVE track whose samples aren't where the file has them");
        end = pcm->offset + pcm->bytes;
    } else {
        const auto known = size(t.file);
        if (!known)
            broken("a track from a missing file");
        end = *known;
    }
    // In 128 bits: a broken reader may well give lengths that overflow.
    const __int128 first = __int128(t.start) - __int128(t.fileGap) * bytes;
    const __int128 last = __int128(t.start) + __int128(t.length) * bytes;
    if (first < t.waveHeader)
        broken("a file gap reaching before the file");
    if (last > end)
        broken("a track running past the end of its file");
    for (qsizetype i = 0; i < t.indexes.size(); ++i) {
        if (i >= 98 || t.indexes[i] <= (i > 0 ? t.indexes[i - 1] : 0) || t.indexes[i] >= t.length)
            broken("an index out of order, outside its track or past INDEX 99");
    }
}

void check(const DiscSheet &sheet, const DiscSheet::FileSize &size)
{
    if (sheet.tracks.isEmpty() || sheet.tracks.size() > 99)
        broken("a disc of no tracks or more than 99");
    __int128 sectors = 0;
    for (const SheetTrack &t : sheet.tracks) {
        checkTrack(t, size);
        sectors += __int128(t.preGap) + t.fileGap + t.length + t.postGap;
    }
    if (sectors != __int128(sheet.discSectors()))
        broken("discSectors() overflows");

    // The cue sheet a toc file is burned as, and the cue reader's own
    // writer, must read back as the same disc, or refuse to write it.
    QString cue;
    try {
        cue = sheet.toCueText(size);
    } catch (const TDError &e) {
        if (e.text().isEmpty())
            broken("an error without a text");
        return;
    }
    DiscSheet again;
    try {
        again = CueSheet::parse(cue, QStringLiteral("again.cue"), Fuzz::scratch(), size);
    } catch (const TDError &e) {
        fprintf(stderr, "%s\n---\n%s\n", qPrintable(e.text()), qPrintable(cue));
        broken("toCueText() wrote a sheet the cue reader refuses");
    }
    // The writer turns double quotes in CD-Text into single ones.
    DiscSheet expected = sheet;
    QList<QString *> texts = {&expected.title, &expected.performer, &expected.songwriter, &expected.message};
    for (SheetTrack &t : expected.tracks)
        texts << &t.title << &t.performer << &t.songwriter << &t.message;
    for (QString *text : texts)
        text->replace(u'"', u'\'');
    if (!(again == expected)) {
        fprintf(stderr, "%s\n", qPrintable(cue));
        broken("toCueText() read back as another disc");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype nul = input.indexOf('\0');
    if (nul >= 0)
        Fuzz::writeFile(wavePath(), input.mid(nul + 1));
    else
        QFile::remove(wavePath());
    const QString text = Fuzz::text(nul >= 0 ? input.first(nul) : input);
    const DiscSheet::FileSize sizes = sizeByName;

    DiscSheet sheet;
    try {
#if FUZZ_TOC
        sheet = TocSheet::parse(text, QStringLiteral("fuzz.toc"), Fuzz::scratch(), sizes);
#else
        sheet = CueSheet::parse(text, QStringLiteral("fuzz.cue"), Fuzz::scratch(), sizes);
#endif
    } catch (const TDError &e) {
        if (e.text().isEmpty())
            broken("an error without a text");
        return 0;
    }
    check(sheet, sizes);
    return 0;
}
