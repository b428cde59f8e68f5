#include "platform/sheets/TocSheet.h"

#include "base/TDError.h"

#include <QDir>
#include <QRegularExpression>

namespace {

struct Token
{
    enum Kind { word, string, open, close };
    Kind kind = word;
    QString text;
    int line = 0;
};

// A run of data in a track: silence when `file` is empty.
struct Segment
{
    QString file;
    QString shownName;
    qint64 offset = 0;
    qint64 bytes = 0;
    int line = 0;
    qint64 waveHeader = 0;
};

struct Index
{
    quint64 sectors = 0; // after the track's start
    QString text;
    int line = 0;
};

class Reader
{
public:
    Reader(QString name, QString folder, const DiscSheet::FileSize &size)
        : m_name(std::move(name)), m_folder(std::move(folder)), m_size(size)
    {
    }

    DiscSheet read(const QString &text)
    {
        tokenize(text);
        while (more()) {
            const Token &t = next();
            const QString key = t.text.toUpper();
            if (t.kind != Token::word)
                fail(t.line, QStringLiteral("\"%1\" isn't expected here.").arg(t.text));
            if (key == QLatin1String("TRACK"))
                track(t);
            else if (!m_inTrack && (key == QLatin1String("CD_DA") || key == QLatin1String("CD_ROM")
                                    || key == QLatin1String("CD_ROM_XA")))
                continue;
            else if (!m_inTrack && key == QLatin1String("CATALOG"))
                m_disc.catalog = code(t, true);
            else if (key == QLatin1String("CD_TEXT"))
                cdText(t);
            else if (m_inTrack)
                trackStatement(t, key);
            else
                fail(t.line, QStringLiteral("%1 isn't understood here.").arg(t.text));
        }
        endTrack();
        if (m_disc.tracks.isEmpty())
            throw TDError::refused(QStringLiteral("%1 has no tracks.").arg(m_name));
        return m_disc;
    }

private:
    [[noreturn]] void fail(int line, const QString &what) const
    {
        throw TDError::refused(QStringLiteral("Line %1 of %2: %3").arg(line).arg(m_name, what));
    }

    void tokenize(const QString &text)
    {
        int line = 1;
        const qsizetype n = text.size();
        for (qsizetype i = 0; i < n;) {
            const QChar c = text[i];
            if (c == u'\n') {
                ++line;
                ++i;
            } else if (c.isSpace() || c == u',' || c == QChar(0xfeff)) {
                ++i;
            } else if (c == u'/' && i + 1 < n && text[i + 1] == u'/') {
                while (i < n && text[i] != u'\n')
                    ++i;
            } else if (c == u'{' || c == u'}') {
                m_tokens.append({c == u'{' ? Token::open : Token::close, QString(c), line});
                ++i;
            } else if (c == u'"') {
                QString s;
                qsizetype j = i + 1;
                const auto octal = [&](qsizetype at) { return at < n && text[at] >= u'0' && text[at] <= u'7'; };
                for (; j < n && text[j] != u'"' && text[j] != u'\n'; ++j) {
                    // cdrdao writes a Latin-1 letter as three octal digits ("\351" for é).
                    if (text[j] == u'\\' && octal(j + 1) && octal(j + 2) && octal(j + 3)) {
                        s.append(QChar(text.mid(j + 1, 3).toInt(nullptr, 8) & 0xff));
                        j += 3;
                        continue;
                    }
                    if (text[j] == u'\\' && j + 1 < n && text[j + 1] != u'\n')
                        ++j;
                    s.append(text[j]);
                }
                if (j >= n || text[j] != u'"')
                    fail(line, QStringLiteral("a quote isn't closed."));
                m_tokens.append({Token::string, s, line});
                i = j + 1;
            } else {
                qsizetype j = i;
                while (j < n && !text[j].isSpace() && text[j] != u'{' && text[j] != u'}' && text[j] != u'"'
                       && text[j] != u',' && !(text[j] == u'/' && j + 1 < n && text[j + 1] == u'/'))
                    ++j;
                m_tokens.append({Token::word, text.mid(i, j - i), line});
                i = j;
            }
        }
    }

    bool more() const { return m_at < m_tokens.size(); }
    const Token &next()
    {
        if (!more())
            fail(m_tokens.isEmpty() ? 1 : m_tokens.last().line, QStringLiteral("the sheet ends too early."));
        return m_tokens[m_at++];
    }
    const Token *peek() const { return more() ? &m_tokens[m_at] : nullptr; }
    bool peekWord() const { return peek() && peek()->kind == Token::word; }

    QString string(const Token &after)
    {
        const Token &t = next();
        if (t.kind != Token::string)
            fail(t.line, QStringLiteral("%1 needs a quoted value.").arg(after.text));
        return t.text;
    }

    // A quoted code the disc carries in its sub-channel, checked here so that
    // the burn isn't refused later in libburn's words.
    QString code(const Token &after, bool catalog)
    {
        const QString value = string(after);
        if (const QString problem = DiscSheet::codeProblem(value, catalog); !problem.isEmpty())
            fail(after.line, problem);
        return value;
    }

    void expectOpen(const Token &after)
    {
        const Token &t = next();
        if (t.kind != Token::open)
            fail(t.line, QStringLiteral("%1 needs a { block }.").arg(after.text));
    }

    // Passes over a { block } whose opening brace was just read.
    void skipBlock()
    {
        for (int depth = 1; depth > 0;) {
            const Token &t = next();
            depth += t.kind == Token::open ? 1 : t.kind == Token::close ? -1 : 0;
        }
    }

    void cdText(const Token &keyword)
    {
        expectOpen(keyword);
        for (;;) {
            const Token &t = next();
            if (t.kind == Token::close)
                return;
            const QString key = t.text.toUpper();
            if (t.kind == Token::word && key == QLatin1String("LANGUAGE_MAP")) {
                expectOpen(t);
                skipBlock();
            } else if (t.kind == Token::word && key == QLatin1String("LANGUAGE")) {
                const Token &number = next();
                expectOpen(t);
                language(number.text.trimmed() == QLatin1String("0"));
            } else {
                fail(t.line, QStringLiteral("%1 isn't understood in CD_TEXT.").arg(t.text));
            }
        }
    }

    // Items of one language; only language 0's title, performer, songwriter
    // and message are kept.
    void language(bool keep)
    {
        for (;;) {
            const Token &item = next();
            if (item.kind == Token::close)
                return;
            if (item.kind != Token::word)
                fail(item.line, QStringLiteral("\"%1\" isn't a CD-Text item.").arg(item.text));
            const Token &value = next();
            if (value.kind == Token::open) {
                skipBlock();
                continue;
            }
            if (value.kind != Token::string)
                fail(value.line, QStringLiteral("%1 needs a quoted value.").arg(item.text));
            const QString key = item.text.toUpper();
            if (!keep)
                continue;
            QString *field = nullptr;
            if (key == QLatin1String("TITLE"))
                field = m_inTrack ? &m_track.title : &m_disc.title;
            else if (key == QLatin1String("PERFORMER"))
                field = m_inTrack ? &m_track.performer : &m_disc.performer;
            else if (key == QLatin1String("SONGWRITER"))
                field = m_inTrack ? &m_track.songwriter : &m_disc.songwriter;
            else if (key == QLatin1String("MESSAGE"))
                field = m_inTrack ? &m_track.message : &m_disc.message;
            if (field)
                *field = value.text;
        }
    }

    void track(const Token &keyword)
    {
        endTrack();
        const Token &mode = next();
        const QString m = mode.text.toUpper();
        m_track = SheetTrack();
        if (m == QLatin1String("AUDIO"))
            m_track.mode = SheetTrack::Mode::audio;
        else if (m == QLatin1String("MODE1"))
            m_track.mode = SheetTrack::Mode::mode1Cooked;
        else if (m == QLatin1String("MODE1_RAW"))
            m_track.mode = SheetTrack::Mode::mode1Raw;
        else if (m == QLatin1String("MODE2_RAW"))
            m_track.mode = SheetTrack::Mode::mode2Raw;
        else
            fail(mode.line, QStringLiteral("the track mode %1 can't be burned.").arg(mode.text));
        if (peekWord()) {
            const QString sub = peek()->text.toUpper();
            if (sub == QLatin1String("RW") || sub == QLatin1String("RW_RAW"))
                fail(peek()->line, QStringLiteral("sub-channel data (%1) can't be burned.").arg(peek()->text));
        }
        m_inTrack = true;
        m_trackLine = keyword.line;
        m_segments.clear();
        m_indexes.clear();
        m_startBytes.reset();
        m_position = 0;
    }

    bool audio() const { return m_track.mode == SheetTrack::Mode::audio; }

    // A length or position: mm:ss:ff in sectors, or a plain number of
    // samples (audio) or bytes (data). In bytes. Five digits of minutes and
    // fourteen of samples are far past any disc or file yet leave room to
    // add them up in 64 bits.
    qint64 amount(const Token &t)
    {
        static const QRegularExpression msf(QStringLiteral("^(\\d{1,5}):(\\d{1,2}):(\\d{1,2})$"));
        static const QRegularExpression plain(QStringLiteral("^\\d+$"));
        if (t.kind == Token::word) {
            if (const auto m = msf.match(t.text); m.hasMatch()) {
                const qint64 s = m.captured(2).toLongLong(), f = m.captured(3).toLongLong();
                if (s < 60 && f < 75)
                    return ((m.captured(1).toLongLong() * 60 + s) * 75 + f) * m_track.sectorBytes();
            } else if (plain.match(t.text).hasMatch() && t.text.size() < 15) {
                return t.text.toLongLong() * (audio() ? 4 : 1);
            }
        }
        fail(t.line, QStringLiteral("%1 isn't a length (mm:ss:ff or a number).").arg(t.text));
    }

    bool peekAmount() const
    {
        return peekWord() && !peek()->text.isEmpty() && peek()->text[0].isDigit();
    }

    void trackStatement(const Token &t, const QString &key)
    {
        if (key == QLatin1String("NO") || key == QLatin1String("COPY") || key == QLatin1String("PRE_EMPHASIS")) {
            const bool on = key != QLatin1String("NO");
            const Token &flag = on ? t : next();
            const QString name = flag.text.toUpper();
            if (flag.kind == Token::word && name == QLatin1String("COPY"))
                m_track.copyPermitted = on;
            else if (flag.kind == Token::word && name == QLatin1String("PRE_EMPHASIS"))
                m_track.preEmphasis = on;
            else
                fail(flag.line, QStringLiteral("NO %1 isn't understood.").arg(flag.text));
        } else if (key == QLatin1String("TWO_CHANNEL_AUDIO") || key == QLatin1String("FOUR_CHANNEL_AUDIO")) {
            m_track.fourChannel = key == QLatin1String("FOUR_CHANNEL_AUDIO");
        } else if (key == QLatin1String("ISRC")) {
            m_track.isrc = code(t, false);
        } else if (key == QLatin1String("SILENCE") || key == QLatin1String("ZERO")) {
            // ZERO may name a data mode before its length.
            if (key == QLatin1String("ZERO") && peekWord() && !peekAmount())
                next();
            const qint64 bytes = amount(next());
            m_segments.append({{}, {}, 0, bytes, t.line});
            grow(t, bytes);
        } else if (key == QLatin1String("FILE") || key == QLatin1String("AUDIOFILE")
                   || key == QLatin1String("DATAFILE")) {
            file(t, key == QLatin1String("DATAFILE"));
        } else if (key == QLatin1String("START")) {
            if (m_startBytes)
                fail(t.line, QStringLiteral("the track has a second START or PREGAP."));
            const qint64 sb = m_track.sectorBytes();
            m_startBytes = peekAmount() ? amount(next()) : (m_position + sb - 1) / sb * sb;
        } else if (key == QLatin1String("PREGAP")) {
            if (m_startBytes || !m_segments.isEmpty())
                fail(t.line, QStringLiteral("PREGAP must come before the track's data."));
            const qint64 bytes = amount(next());
            m_segments.append({{}, {}, 0, bytes, t.line});
            grow(t, bytes);
            m_startBytes = bytes;
        } else if (key == QLatin1String("INDEX")) {
            index(next());
        } else {
            fail(t.line, QStringLiteral("%1 can't be burned from a toc sheet.").arg(t.text));
        }
    }

    // INDEX 02 on, counted from the track's start.
    void index(const Token &at)
    {
        const qint64 bytes = amount(at), sb = m_track.sectorBytes();
        if (bytes % sb != 0)
            fail(at.line, QStringLiteral("INDEX %1 lies part-way into a sector.").arg(at.text));
        if (bytes == 0 || (!m_indexes.isEmpty() && bytes / sb <= qint64(m_indexes.last().sectors)))
            fail(at.line, QStringLiteral("INDEX %1 lies before the index above it.").arg(at.text));
        if (m_indexes.size() == 98)
            fail(at.line, QStringLiteral("a track holds at most 99 indexes."));
        m_indexes.append({quint64(bytes / sb), at.text, at.line});
    }

    void file(const Token &t, bool data)
    {
        if (data == audio())
            fail(t.line, data ? QStringLiteral("DATAFILE belongs in a data track.")
                              : QStringLiteral("%1 belongs in an audio track.").arg(t.text));
        const QString name = string(t);
        if (name == QLatin1String("-"))
            fail(t.line, QStringLiteral("data from standard input can't be burned."));
        const QString path = QDir::cleanPath(QDir(m_folder).absoluteFilePath(name));
        std::optional<qint64> size = m_size(path);
        if (!size)
            fail(t.line, QStringLiteral("the file %1 is missing.").arg(name));
        // As cdrdao has it, a ".wav" name makes an audio file a WAVE file,
        // positions counting from its first sample.
        qint64 header = 0;
        if (!data && name.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive)) {
            QString why;
            const std::optional<DiscSheet::WavePcm> pcm = DiscSheet::wavePcm(path, why);
            if (!pcm)
                fail(t.line, QStringLiteral("%1 %2.").arg(name, why));
            header = pcm->offset;
            size = pcm->bytes;
        }
        qint64 offset = 0;
        if (peekWord() && peek()->text.startsWith(u'#')) {
            const Token &o = next();
            bool ok = false;
            offset = o.text.mid(1).toLongLong(&ok);
            if (!ok || offset < 0)
                fail(o.line, QStringLiteral("%1 isn't a byte offset.").arg(o.text));
            // Before a start is added to it.
            if (offset > *size)
                fail(t.line, QStringLiteral("the part of %1 it names lies past the end of the file.").arg(name));
        }
        if (!data)
            offset += amount(next());
        qint64 bytes = peekAmount() ? amount(next()) : 0;
        if (bytes == 0)
            bytes = *size - offset;
        if (offset > *size || bytes > *size - offset || bytes <= 0)
            fail(t.line, QStringLiteral("the part of %1 it names lies past the end of the file.").arg(name));
        m_segments.append({path, name, header + offset, bytes, t.line, header});
        grow(t, bytes);
    }

    // Every amount is below 2^53, so a track held below 2^56 can't overflow
    // however its parts are added up.
    void grow(const Token &t, qint64 bytes)
    {
        m_position += bytes;
        if (m_position > (qint64(1) << 56))
            fail(t.line, QStringLiteral("track %1 is longer than any disc holds.").arg(m_disc.tracks.size() + 1));
    }

    void endTrack()
    {
        if (!m_inTrack)
            return;
        m_inTrack = false;
        const qint64 sb = m_track.sectorBytes();
        const QString number = QString::number(m_disc.tracks.size() + 1);
        // Silence, then one run of a file, then silence: anything else has
        // no place in a cue-style track.
        qint64 lead = 0, tail = 0;
        std::optional<Segment> run;
        for (const Segment &s : std::as_const(m_segments)) {
            if (s.file.isEmpty()) {
                (run ? tail : lead) += s.bytes;
            } else if (!run) {
                run = s;
            } else if (tail == 0 && s.file == run->file && s.offset == run->offset + run->bytes) {
                run->bytes += s.bytes;
            } else {
                fail(s.line, QStringLiteral("track %1 takes its data from more than one place, which can't be burned.")
                                 .arg(number));
            }
        }
        if (!run)
            fail(m_trackLine, QStringLiteral("track %1 has no file.").arg(number));
        // No disc holds more than about 100 minutes: longer silence is a typo,
        // and would not fit the sector counts either.
        constexpr qint64 longestGap = 100 * 60 * 75;
        if (lead / sb > longestGap || tail / sb > longestGap)
            fail(m_trackLine, QStringLiteral("track %1 has more silence than any disc holds.").arg(number));
        for (qint64 bytes : {lead, tail, run->bytes}) {
            if (bytes % sb != 0)
                fail(bytes == run->bytes ? run->line : m_trackLine,
                     QStringLiteral("track %1 isn't a whole number of %2-byte sectors.").arg(number).arg(sb));
        }
        const qint64 start = m_startBytes.value_or(0);
        if (start % sb != 0)
            fail(m_trackLine, QStringLiteral("track %1 starts part-way into a sector.").arg(number));
        if (start < lead && start > 0)
            fail(m_trackLine, QStringLiteral("track %1 has silence after its START, which can't be burned.").arg(number));
        if (start >= lead + run->bytes)
            fail(m_trackLine, QStringLiteral("track %1 starts after its data.").arg(number));
        if (start == 0 && lead > 0)
            fail(m_trackLine, QStringLiteral("track %1 begins with silence that isn't its pre-gap; add START after it.")
                                  .arg(number));
        const qint64 inFile = start - lead; // the file's part of the pre-gap
        // Kept in 32 bits, as every gap is.
        if (inFile / sb > longestGap)
            fail(m_trackLine, QStringLiteral("track %1 has a longer pre-gap than any disc holds.").arg(number));
        m_track.file = run->file;
        m_track.waveHeader = run->waveHeader;
        m_track.bigEndian = audio() && run->waveHeader == 0;
        m_track.preGap = quint32(lead / sb);
        m_track.fileGap = quint32(inFile / sb);
        m_track.start = run->offset + inFile;
        m_track.length = quint64((run->bytes - inFile) / sb);
        m_track.postGap = quint32(tail / sb);
        for (const Index &i : std::as_const(m_indexes)) {
            if (i.sectors >= m_track.length)
                fail(i.line, QStringLiteral("INDEX %1 lies past the end of track %2.").arg(i.text, number));
            m_track.indexes.append(i.sectors);
        }
        m_disc.tracks.append(m_track);
        if (m_disc.tracks.size() > 99)
            fail(m_trackLine, QStringLiteral("a disc holds at most 99 tracks."));
    }

    QString m_name;
    QString m_folder;
    const DiscSheet::FileSize &m_size;
    QList<Token> m_tokens;
    qsizetype m_at = 0;
    DiscSheet m_disc;
    bool m_inTrack = false;
    int m_trackLine = 0;
    SheetTrack m_track;
    QList<Segment> m_segments;
    QList<Index> m_indexes;
    std::optional<qint64> m_startBytes;
    qint64 m_position = 0;
};

} // namespace

namespace TocSheet {

DiscSheet parse(const QString &text, const QString &name, const QString &folder, const DiscSheet::FileSize &size)
{
    return Reader(name, folder, size).read(text);
}

} // namespace TocSheet
