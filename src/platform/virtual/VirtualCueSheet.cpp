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

// A track as the written BIN holds it.
struct Entry
{
    QString mode;
    quint64 gap = 0;
    quint64 length = 0;
};

QByteArray write(const QString &binName, const QList<Entry> &tracks, const std::optional<CDText> &cdText)
{
    QString cue;
    auto line = [&cue](const QString &indent, const char *key, const QString &value) {
        if (!value.isEmpty())
            cue += indent + QLatin1String(key) + u' ' + cueString(value) + u'\n';
    };
    if (cdText) {
        line(QString(), "TITLE", cdText->discTitle);
        line(QString(), "PERFORMER", cdText->discPerformer);
    }
    cue += QStringLiteral("FILE %1 BINARY\n").arg(cueString(binName));
    quint64 at = 0;
    for (int i = 0; i < tracks.size(); ++i) {
        cue += QStringLiteral("  TRACK %1 %2\n").arg(i + 1, 2, 10, QChar(u'0')).arg(tracks[i].mode);
        if (cdText) {
            line(QStringLiteral("    "), "TITLE", cdText->trackTitles.value(i));
            line(QStringLiteral("    "), "PERFORMER", cdText->trackPerformers.value(i));
        }
        if (tracks[i].gap > 0)
            cue += QStringLiteral("    INDEX 00 ") + msf(at) + u'\n';
        at += tracks[i].gap;
        cue += QStringLiteral("    INDEX 01 ") + msf(at) + u'\n';
        at += tracks[i].length;
    }
    return cue.toUtf8();
}

} // namespace

namespace VirtualCueSheet {

QByteArray forAudio(const QString &binName, const QList<BurnTrack> &tracks, const std::optional<CDText> &cdText)
{
    QList<Entry> entries;
    for (const BurnTrack &t : tracks)
        entries.append({QStringLiteral("AUDIO"), t.preGapFrames, t.lengthBlocks});
    return write(binName, entries, cdText);
}

QByteArray forSheet(const QString &binName, const DiscSheet &sheet)
{
    QList<Entry> entries;
    std::optional<CDText> text;
    if (sheet.hasText())
        text = CDText{QString(), sheet.title, sheet.performer, {}, {}};
    for (const SheetTrack &t : sheet.tracks) {
        const QString mode = t.mode == SheetTrack::Mode::audio      ? QStringLiteral("AUDIO")
                             : t.mode == SheetTrack::Mode::mode2Raw ? QStringLiteral("MODE2/2352")
                                                                    : QStringLiteral("MODE1/2352");
        entries.append({mode, quint64(t.preGap) + t.fileGap, t.length + t.postGap});
        if (text) {
            text->trackTitles.append(t.title);
            text->trackPerformers.append(t.performer);
        }
    }
    return write(binName, entries, text);
}

} // namespace VirtualCueSheet
