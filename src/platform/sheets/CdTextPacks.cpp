#include "platform/sheets/CdTextPacks.h"

#include <QMap>

#include <algorithm>
#include <array>

namespace {

constexpr qsizetype packBytes = 18;
constexpr int textBytes = 12;

// CRC-16/CCITT over a pack's first 16 bytes, inverted as the sub-channel
// carries it.
quint16 crc16(const uchar *p)
{
    quint16 crc = 0;
    for (int i = 0; i < 16; ++i) {
        crc ^= quint16(p[i] << 8);
        for (int b = 0; b < 8; ++b)
            crc = (crc & 0x8000) ? quint16(crc << 1 ^ 0x1021) : quint16(crc << 1);
    }
    return quint16(~crc);
}

// The pack types kept, in the order `kinds` lists them.
constexpr std::array<uchar, 4> kinds{0x80, 0x81, 0x82, 0x85}; // title, performer, songwriter, message

template <typename Holder>
QString &field(Holder &holder, int kind)
{
    switch (kind) {
    case 0: return holder.title;
    case 1: return holder.performer;
    case 2: return holder.songwriter;
    default: return holder.message;
    }
}

// One pack type's strings as its packs come: each string ends in a NUL, and
// the next one belongs to the next track.
struct Stream
{
    int track = -1;
    QByteArray text;
    bool skipping = false; // in a string whose start was lost with a bad pack
    QMap<int, QString> done;
};

QString latin1(const QByteArray &bytes)
{
    QString text = QString::fromLatin1(bytes);
    // Whatever the disc holds, a text stays on one line of a cue sheet.
    for (QChar &c : text) {
        if (c.unicode() < 0x20)
            c = u' ';
    }
    return text;
}

} // namespace

namespace CdTextPacks {

void apply(const QByteArray &packs, DiscSheet &sheet)
{
    std::array<Stream, kinds.size()> streams;
    const auto store = [&sheet](Stream &s, int kind) {
        // A lone TAB stands for the text of the track before.
        const QString text = s.text == "\t" ? s.done.value(s.track - 1) : latin1(s.text);
        s.done.insert(s.track, text);
        if (text.isEmpty())
            return;
        if (s.track == 0)
            field(sheet, kind) = text;
        else if (s.track <= sheet.tracks.size())
            field(sheet.tracks[s.track - 1], kind) = text;
    };
    for (qsizetype at = 0; at + packBytes <= packs.size(); at += packBytes) {
        const auto *p = reinterpret_cast<const uchar *>(packs.constData() + at);
        const auto kind = int(std::find(kinds.begin(), kinds.end(), p[0]) - kinds.begin());
        if (kind == int(kinds.size()))
            continue;
        Stream &s = streams[size_t(kind)];
        const int track = p[1] & 0x7f, block = (p[3] >> 4) & 7, position = p[3] & 0x0f;
        const bool extension = p[1] & 0x80, doubleByte = p[3] & 0x80;
        if (crc16(p) != quint16(p[16] << 8 | p[17])) {
            s.track = -1; // whatever string it held is cut
            continue;
        }
        if (block != 0 || extension || doubleByte)
            continue;
        // A pack names the track of its first character and how far into
        // that string it is: a pack that doesn't follow on picks up there.
        if (s.track != track || position != std::min<qsizetype>(s.text.size(), 15)) {
            s.track = track;
            s.text.clear();
            s.skipping = position != 0;
        }
        for (int i = 0; i < textBytes; ++i) {
            const char c = char(p[4 + i]);
            if (c != '\0') {
                if (!s.skipping)
                    s.text.append(c);
                continue;
            }
            if (!s.skipping)
                store(s, kind);
            ++s.track;
            s.text.clear();
            s.skipping = false;
        }
    }
}

} // namespace CdTextPacks
