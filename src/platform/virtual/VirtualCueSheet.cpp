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

} // namespace

namespace VirtualCueSheet {

QByteArray forAudio(const QString &binName, const QList<BurnTrack> &tracks, const std::optional<CDText> &cdText)
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
        cue += QStringLiteral("  TRACK %1 AUDIO\n").arg(i + 1, 2, 10, QChar(u'0'));
        if (cdText) {
            line(QStringLiteral("    "), "TITLE", cdText->trackTitles.value(i));
            line(QStringLiteral("    "), "PERFORMER", cdText->trackPerformers.value(i));
        }
        if (tracks[i].preGapFrames > 0)
            cue += QStringLiteral("    INDEX 00 ") + msf(at) + u'\n';
        at += tracks[i].preGapFrames;
        cue += QStringLiteral("    INDEX 01 ") + msf(at) + u'\n';
        at += tracks[i].lengthBlocks;
    }
    return cue.toUtf8();
}

} // namespace VirtualCueSheet
