#include "platform/virtual/VirtualCueSheet.h"

namespace {

QString msf(quint64 frames)
{
    return QString::asprintf("%02llu:%02llu:%02llu", frames / (75 * 60), (frames / 75) % 60, frames % 75);
}

// CD-Text holds ISO Latin-1 and a cue sheet has no escapes: what can't be
// said becomes '?', quotes become apostrophes, line breaks spaces.
QString cueString(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == u'"')
            c = u'\'';
        else if (c.unicode() < 0x20)
            c = u' ';
        else if (c.unicode() > 0xff)
            c = u'?';
        out.append(c);
    }
    return u'"' + out + u'"';
}

// A track as the written BIN holds it; `sheet` gives its CD-Text, ISRC,
// flags and indexes.
struct Entry
{
    QString mode;
    quint64 gap = 0;
    quint64 length = 0;
    SheetTrack sheet;
};

// `disc` gives the disc's CD-Text and catalogue number; its tracks are not read.
QByteArray write(const QString &binName, const DiscSheet &disc, const QList<Entry> &tracks)
{
    QString cue;
    auto line = [&cue](const QString &indent, const char *key, const QString &value) {
        if (!value.isEmpty())
            cue += indent + QLatin1String(key) + u' ' + cueString(value) + u'\n';
    };
    const auto text = [&line](const QString &indent, const auto &holder) {
        line(indent, "TITLE", holder.title);
        line(indent, "PERFORMER", holder.performer);
        line(indent, "SONGWRITER", holder.songwriter);
        line(indent, "MESSAGE", holder.message);
    };
    text(QString(), disc);
    if (!disc.catalog.isEmpty())
        cue += QStringLiteral("CATALOG %1\n").arg(disc.catalog);
    cue += QStringLiteral("FILE %1 BINARY\n").arg(cueString(binName));
    quint64 at = 0;
    for (int i = 0; i < tracks.size(); ++i) {
        const SheetTrack &t = tracks[i].sheet;
        cue += QStringLiteral("  TRACK %1 %2\n").arg(i + 1, 2, 10, QChar(u'0')).arg(tracks[i].mode);
        cue += DiscSheet::flagsLine(t);
        text(QStringLiteral("    "), t);
        if (!t.isrc.isEmpty())
            cue += QStringLiteral("    ISRC %1\n").arg(t.isrc);
        if (tracks[i].gap > 0)
            cue += QStringLiteral("    INDEX 00 ") + msf(at) + u'\n';
        at += tracks[i].gap;
        cue += QStringLiteral("    INDEX 01 ") + msf(at) + u'\n';
        for (int n = 0; n < t.indexes.size(); ++n)
            cue += QStringLiteral("    INDEX %1 %2\n").arg(n + 2, 2, 10, QChar(u'0')).arg(msf(at + t.indexes[n]));
        at += tracks[i].length;
    }
    return cue.toUtf8();
}

} // namespace

namespace VirtualCueSheet {

QByteArray forAudio(const QString &binName, const QList<BurnTrack> &tracks, const std::optional<CDText> &cdText,
                    const QString &catalog)
{
    DiscSheet disc;
    disc.catalog = catalog;
    if (cdText) {
        disc.title = cdText->discTitle;
        disc.performer = cdText->discPerformer;
    }
    QList<Entry> entries;
    for (int i = 0; i < tracks.size(); ++i) {
        Entry e{QStringLiteral("AUDIO"), tracks[i].preGapFrames, tracks[i].lengthBlocks, {}};
        e.sheet.isrc = tracks[i].isrc;
        if (cdText) {
            e.sheet.title = cdText->trackTitles.value(i);
            e.sheet.performer = cdText->trackPerformers.value(i);
        }
        entries.append(e);
    }
    return write(binName, disc, entries);
}

QByteArray forSheet(const QString &binName, const DiscSheet &sheet)
{
    QList<Entry> entries;
    for (const SheetTrack &t : sheet.tracks) {
        const QString mode = t.mode == SheetTrack::Mode::audio      ? QStringLiteral("AUDIO")
                             : t.mode == SheetTrack::Mode::mode2Raw ? QStringLiteral("MODE2/2352")
                                                                    : QStringLiteral("MODE1/2352");
        entries.append({mode, quint64(t.preGap) + t.fileGap, t.length + t.postGap, t});
    }
    return write(binName, sheet, entries);
}

} // namespace VirtualCueSheet
