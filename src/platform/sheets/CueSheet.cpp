#include "platform/sheets/CueSheet.h"

#include "base/TDError.h"

#include <QDir>
#include <QRegularExpression>

namespace {

// One line cut into words; a quoted word keeps its spaces and loses its
// quotes. False for an unclosed quote.
bool split(const QString &line, QStringList &words)
{
    words.clear();
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (i < n) {
        if (line[i].isSpace()) {
            ++i;
            continue;
        }
        if (line[i] == u'"') {
            const qsizetype close = line.indexOf(u'"', i + 1);
            if (close < 0)
                return false;
            words.append(line.mid(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        qsizetype end = i;
        while (end < n && !line[end].isSpace())
            ++end;
        words.append(line.mid(i, end - i));
        i = end;
    }
    return true;
}

// mm:ss:ff in sectors; nothing when it isn't one.
std::optional<quint64> sectorsOf(const QString &msf)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,3}):(\\d{1,2}):(\\d{1,2})$"));
    const auto m = form.match(msf);
    if (!m.hasMatch())
        return std::nullopt;
    const quint64 s = m.captured(2).toULongLong(), f = m.captured(3).toULongLong();
    if (s >= 60 || f >= 75)
        return std::nullopt;
    return (m.captured(1).toULongLong() * 60 + s) * 75 + f;
}

// The CD-Text field a TITLE, PERFORMER, SONGWRITER or MESSAGE line sets,
// of the disc or of a track.
template <typename Holder>
QString &textField(Holder &holder, const QString &key)
{
    if (key == QLatin1String("TITLE"))
        return holder.title;
    if (key == QLatin1String("PERFORMER"))
        return holder.performer;
    return key == QLatin1String("SONGWRITER") ? holder.songwriter : holder.message;
}

struct FileEntry
{
    QString path;
    QString shownName;
    bool bigEndian = false;
    qint64 waveHeader = 0; // where a WAVE file's samples begin
    std::optional<qint64> waveBytes;
    int line = 0;
};

// A track while its file is being read: indexes in sectors from the start
// of its file.
struct Pending
{
    SheetTrack track;
    int fileIndex = -1;
    int line = 0;
    int number = 0;
    std::optional<quint64> index0;
    std::optional<quint64> index1;
    quint64 lastIndex = 0;
    int lastNumber = -1;
    int lastIndexLine = 0;
    bool anyIndex = false;
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
        const QStringList lines = text.split(u'\n');
        for (int i = 0; i < lines.size(); ++i) {
            m_line = i + 1;
            QString line = lines[i];
            if (line.endsWith(u'\r'))
                line.chop(1);
            if (i == 0 && line.startsWith(QChar(0xfeff)))
                line.remove(0, 1);
            QStringList words;
            if (!split(line, words))
                fail(QStringLiteral("a quote isn't closed."));
            if (!words.isEmpty())
                command(words);
        }
        m_line = 0;
        if (m_pending.isEmpty())
            throw TDError::refused(QStringLiteral("%1 has no tracks.").arg(m_name));
        return finish();
    }

private:
    [[noreturn]] void fail(const QString &what) const
    {
        throw TDError::refused(QStringLiteral("Line %1 of %2: %3").arg(m_line).arg(m_name, what));
    }

    [[noreturn]] void failAt(int line, const QString &what) const
    {
        throw TDError::refused(QStringLiteral("Line %1 of %2: %3").arg(line).arg(m_name, what));
    }

    void need(const QStringList &words, int count) const
    {
        if (words.size() < count)
            fail(QStringLiteral("%1 is missing its value.").arg(words[0].toUpper()));
    }

    void command(const QStringList &words)
    {
        const QString key = words[0].toUpper();
        if (key == QLatin1String("FILE"))
            file(words);
        else if (key == QLatin1String("TRACK"))
            track(words);
        else if (key == QLatin1String("INDEX"))
            index(words);
        else if (key == QLatin1String("PREGAP") || key == QLatin1String("POSTGAP"))
            gap(words, key == QLatin1String("PREGAP"));
        else if (key == QLatin1String("TITLE") || key == QLatin1String("PERFORMER")
                 || key == QLatin1String("SONGWRITER") || key == QLatin1String("MESSAGE"))
            text(words, key);
        else if (key == QLatin1String("CATALOG") || key == QLatin1String("ISRC"))
            code(words, key == QLatin1String("CATALOG"));
        else if (key == QLatin1String("FLAGS"))
            flags(words);
        else if (key != QLatin1String("REM") && key != QLatin1String("CDTEXTFILE"))
            fail(QStringLiteral("the command %1 isn't understood.").arg(words[0]));
    }

    void file(const QStringList &words)
    {
        need(words, 3);
        const QString type = words.last().toUpper();
        const bool wave = type == QLatin1String("WAVE");
        if (type != QLatin1String("BINARY") && type != QLatin1String("MOTOROLA") && !wave)
            fail(QStringLiteral("the file type %1 can't be burned.").arg(words.last()));
        // A name with spaces may come unquoted: everything between FILE and the type.
        const QString name = words.mid(1, words.size() - 2).join(u' ');
        if (name.isEmpty())
            fail(QStringLiteral("FILE has no name."));
        const QString path = QDir::cleanPath(QDir(m_folder).absoluteFilePath(name));
        if (!m_size(path))
            fail(QStringLiteral("the file %1 is missing.").arg(name));
        FileEntry entry{path, name, type == QLatin1String("MOTOROLA"), 0, {}, m_line};
        if (wave) {
            QString why;
            const std::optional<DiscSheet::WavePcm> pcm = DiscSheet::wavePcm(path, why);
            if (!pcm)
                fail(QStringLiteral("%1 %2.").arg(name, why));
            entry.waveHeader = pcm->offset;
            entry.waveBytes = pcm->bytes;
        }
        m_files.append(entry);
    }

    void track(const QStringList &words)
    {
        need(words, 3);
        if (m_files.isEmpty())
            fail(QStringLiteral("TRACK comes before any FILE."));
        bool ok = false;
        const int number = words[1].toInt(&ok);
        if (!ok || number < 1 || number > 99)
            fail(QStringLiteral("%1 isn't a track number.").arg(words[1]));
        if (!m_pending.isEmpty() && number != m_pending.last().number + 1)
            fail(QStringLiteral("track %1 should be track %2.").arg(words[1]).arg(m_pending.last().number + 1));
        const QString mode = words[2].toUpper();
        SheetTrack t;
        if (mode == QLatin1String("AUDIO"))
            t.mode = SheetTrack::Mode::audio;
        else if (mode == QLatin1String("MODE1/2048"))
            t.mode = SheetTrack::Mode::mode1Cooked;
        else if (mode == QLatin1String("MODE1/2352"))
            t.mode = SheetTrack::Mode::mode1Raw;
        else if (mode == QLatin1String("MODE2/2352"))
            t.mode = SheetTrack::Mode::mode2Raw;
        else
            fail(QStringLiteral("the track mode %1 can't be burned.").arg(words[2]));
        checkIndexed();
        const FileEntry &f = m_files.last();
        if (f.waveBytes && t.mode != SheetTrack::Mode::audio)
            fail(QStringLiteral("a %1 track can't come from the WAVE file %2.").arg(words[2], f.shownName));
        t.file = f.path;
        t.waveHeader = f.waveHeader;
        t.bigEndian = f.bigEndian && t.mode == SheetTrack::Mode::audio;
        Pending p;
        p.track = t;
        p.fileIndex = int(m_files.size()) - 1;
        p.line = m_line;
        p.number = number;
        m_pending.append(p);
    }

    // The track before a new TRACK or the end must have had its INDEX 01.
    void checkIndexed() const
    {
        if (!m_pending.isEmpty() && !m_pending.last().index1)
            failAt(m_pending.last().line,
                   QStringLiteral("track %1 has no INDEX 01.").arg(m_pending.last().number, 2, 10, QChar(u'0')));
    }

    Pending &current(const QString &key)
    {
        if (m_pending.isEmpty())
            fail(QStringLiteral("%1 comes before any TRACK.").arg(key));
        return m_pending.last();
    }

    quint64 time(const QString &msf) const
    {
        const auto sectors = sectorsOf(msf);
        if (!sectors)
            fail(QStringLiteral("%1 isn't a time (mm:ss:ff).").arg(msf));
        return *sectors;
    }

    void index(const QStringList &words)
    {
        need(words, 3);
        Pending &p = current(QStringLiteral("INDEX"));
        if (p.fileIndex != int(m_files.size()) - 1)
            fail(QStringLiteral("an index of track %1 lies in another file than its TRACK line.").arg(p.number));
        bool ok = false;
        const int number = words[1].toInt(&ok);
        if (!ok || number < 0 || number > 99)
            fail(QStringLiteral("%1 isn't an index number.").arg(words[1]));
        const quint64 at = time(words[2]);
        // Indexes only move forwards, across tracks of the same file too.
        const quint64 floor = p.anyIndex ? p.lastIndex : fileFloor(p);
        if (at < floor || (p.anyIndex && at == floor))
            fail(QStringLiteral("INDEX %1 %2 lies before the index above it.").arg(words[1], words[2]));
        if (number == 0 && p.anyIndex)
            fail(QStringLiteral("INDEX 00 comes after another index."));
        if (number > 1 && !p.index1)
            fail(QStringLiteral("INDEX %1 comes before INDEX 01.").arg(words[1]));
        if (number == 1 && p.index1)
            fail(QStringLiteral("track %1 has two INDEX 01 lines.").arg(p.number));
        // libburn takes indexes one by one, none left out.
        if (number > 1 && number != p.lastNumber + 1)
            fail(QStringLiteral("INDEX %1 should be INDEX %2.").arg(words[1]).arg(p.lastNumber + 1, 2, 10, QChar(u'0')));
        if (number == 0)
            p.index0 = at;
        else if (number == 1)
            p.index1 = at;
        else
            p.track.indexes.append(at - *p.index1);
        p.anyIndex = true;
        p.lastIndex = at;
        p.lastNumber = number;
        p.lastIndexLine = m_line;
    }

    // Where the previous track of the same file had its last index.
    quint64 fileFloor(const Pending &p) const
    {
        if (m_pending.size() < 2)
            return 0;
        const Pending &before = m_pending[m_pending.size() - 2];
        if (before.fileIndex != p.fileIndex)
            return 0;
        return before.lastIndex + 1;
    }

    void gap(const QStringList &words, bool pre)
    {
        need(words, 2);
        Pending &p = current(words[0].toUpper());
        if (pre && p.anyIndex)
            fail(QStringLiteral("PREGAP comes after an index."));
        if (!pre && !p.index1)
            fail(QStringLiteral("POSTGAP comes before INDEX 01."));
        (pre ? p.track.preGap : p.track.postGap) = quint32(time(words[1]));
    }

    void text(const QStringList &words, const QString &key)
    {
        need(words, 2);
        const QString value = words.mid(1).join(u' ');
        (m_pending.isEmpty() ? textField(m_disc, key) : textField(m_pending.last().track, key)) = value;
    }

    // SCMS (serial copy management) is libburn's to take; nothing here
    // depends on it.
    void flags(const QStringList &words)
    {
        SheetTrack &t = current(QStringLiteral("FLAGS")).track;
        for (const QString &word : words.mid(1)) {
            const QString flag = word.toUpper();
            if (flag == QLatin1String("DCP"))
                t.copyPermitted = true;
            else if (flag == QLatin1String("PRE"))
                t.preEmphasis = true;
            else if (flag == QLatin1String("4CH"))
                t.fourChannel = true;
            else if (flag != QLatin1String("SCMS"))
                fail(QStringLiteral("the flag %1 isn't understood.").arg(word));
        }
    }

    void code(const QStringList &words, bool catalog)
    {
        need(words, 2);
        if (const QString problem = DiscSheet::codeProblem(words[1], catalog); !problem.isEmpty())
            fail(problem);
        if (catalog)
            m_disc.catalog = words[1];
        else if (m_pending.isEmpty())
            fail(QStringLiteral("ISRC belongs in a track."));
        else
            m_pending.last().track.isrc = words[1];
    }

    DiscSheet finish()
    {
        checkIndexed();
        for (int i = 0; i < m_pending.size(); ++i) {
            Pending &p = m_pending[i];
            const FileEntry &f = m_files[p.fileIndex];
            const quint32 bytes = p.track.sectorBytes();
            const bool lastInFile = i + 1 == m_pending.size() || m_pending[i + 1].fileIndex != p.fileIndex;
            if (!lastInFile && m_pending[i + 1].track.sectorBytes() != bytes)
                failAt(m_pending[i + 1].line,
                       QStringLiteral("tracks of %1- and %2-byte sectors share the file %3.")
                           .arg(bytes)
                           .arg(m_pending[i + 1].track.sectorBytes())
                           .arg(f.shownName));
            const quint64 first = p.index0.value_or(*p.index1);
            p.track.fileGap = quint32(*p.index1 - first);
            p.track.start = f.waveHeader + qint64(*p.index1) * bytes;
            quint64 end = 0;
            if (!lastInFile) {
                const Pending &next = m_pending[i + 1];
                end = next.index0.value_or(*next.index1);
            } else {
                const qint64 size = f.waveBytes ? *f.waveBytes : m_size(f.path).value_or(0);
                if (size % bytes != 0)
                    failAt(f.line, QStringLiteral("%1 isn't a whole number of %2-byte sectors.")
                                       .arg(f.shownName)
                                       .arg(bytes));
                end = quint64(size / bytes);
            }
            if (end <= *p.index1)
                failAt(p.line, QStringLiteral("track %1 has no sectors in %2.")
                                   .arg(p.number, 2, 10, QChar(u'0'))
                                   .arg(f.shownName));
            if (!p.track.indexes.isEmpty() && *p.index1 + p.track.indexes.last() >= end)
                failAt(p.lastIndexLine, QStringLiteral("INDEX %1 lies past the end of track %2.")
                                            .arg(p.lastNumber, 2, 10, QChar(u'0'))
                                            .arg(p.number, 2, 10, QChar(u'0')));
            p.track.length = end - *p.index1;
            m_disc.tracks.append(p.track);
        }
        return m_disc;
    }

    QString m_name;
    QString m_folder;
    const DiscSheet::FileSize &m_size;
    int m_line = 0;
    QList<FileEntry> m_files;
    QList<Pending> m_pending;
    DiscSheet m_disc;
};

} // namespace

namespace CueSheet {

DiscSheet parse(const QString &text, const QString &name, const QString &folder, const DiscSheet::FileSize &size)
{
    return Reader(name, folder, size).read(text);
}

} // namespace CueSheet
