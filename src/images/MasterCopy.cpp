#include "images/MasterCopy.h"

#include "base/Format.h"
#include "base/TDError.h"
#include "images/DiscReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <cstring>
#include <vector>

namespace MasterCopy {
namespace {

constexpr qint64 sectorBytes = CdReader::sectorBytes;
constexpr int chunkSectors = 64;

QString around(qint64 sectorsFromStart)
{
    return QStringLiteral("around ") + fmt(double(std::max<qint64>(sectorsFromStart, 0)) / 75.0);
}

// The track that holds disc sector `lba` (its pre-gap counts as its own).
int trackAt(const DiscSheet &disc, qint64 lba)
{
    for (qsizetype i = disc.tracks.size() - 1; i > 0; --i)
        if (lba >= disc.tracks[i].start / sectorBytes - disc.tracks[i].fileGap)
            return int(i);
    return 0;
}

// Reads one chunk until two reads agree; sectors that never do are zeroed
// and reported through `bad`.
void secureRead(CdReader &reader, qint64 lba, int count, char *into, std::vector<char> &spare,
                const std::function<void(qint64)> &bad, CancelToken *cancel)
{
    const qint64 bytes = count * sectorBytes;
    spare.resize(size_t(bytes));
    const bool first = reader.read(lba, count, into);
    if (first && reader.read(lba, count, spare.data()) && std::memcmp(into, spare.data(), size_t(bytes)) == 0)
        return;
    // Sector by sector: every read kept, until one equals an earlier one.
    std::vector<std::vector<char>> seen;
    for (int s = 0; s < count; ++s) {
        seen.clear();
        char *out = into + s * sectorBytes;
        bool agreed = false;
        for (int attempt = 0; attempt < maxTries && !agreed; ++attempt) {
            if (cancel && cancel->isCancelled())
                throw TDError::cancelled();
            std::vector<char> sector(static_cast<size_t>(sectorBytes));
            if (!reader.read(lba + s, 1, sector.data()))
                continue;
            agreed = std::any_of(seen.cbegin(), seen.cend(), [&](const std::vector<char> &e) { return e == sector; });
            if (agreed)
                std::memcpy(out, sector.data(), size_t(sectorBytes));
            else
                seen.push_back(std::move(sector));
        }
        if (!agreed) {
            std::memset(out, 0, size_t(sectorBytes));
            bad(lba + s);
        }
    }
}

QString binPathFor(const QString &cue)
{
    const QFileInfo info(cue);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".bin"));
}

// The master's sectors of one track, gaps of silence included: what a burn
// puts on the disc from the track's pre-gap to its end.
class MasterTrack
{
public:
    explicit MasterTrack(const SheetTrack &t)
        : m_track(t)
        , m_file(t.file)
    {
        if (!m_file.open(QIODevice::ReadOnly))
            throw TDError::cantOpen(t.file, ENOENT);
    }
    qint64 gap() const { return qint64(m_track.preGap) + m_track.fileGap; }
    qint64 sectors() const { return gap() + qint64(m_track.length) + m_track.postGap; }
    // Sector `i` (from the pre-gap's first) as the disc holds it; `cooked`
    // says only bytes 16…2063 of a raw sector are comparable.
    void sector(qint64 i, char *into, bool &cooked)
    {
        cooked = m_track.mode == SheetTrack::Mode::mode1Cooked;
        std::memset(into, 0, size_t(sectorBytes));
        const qint64 inFile = i - m_track.preGap; // from the file gap's first sector
        if (inFile < 0 || inFile >= qint64(m_track.fileGap) + qint64(m_track.length))
            return;
        const qint64 size = m_track.sectorBytes();
        const qint64 at = m_track.waveHeader + m_track.start + (inFile - qint64(m_track.fileGap)) * size;
        char *to = cooked ? into + 16 : into;
        if (!m_file.seek(at) || m_file.read(to, size) != size)
            throw TDError::readFailed(m_track.file, at, EIO);
        if (m_track.bigEndian && !cooked)
            for (qint64 b = 0; b + 1 < size; b += 2)
                std::swap(to[b], to[b + 1]);
    }

private:
    SheetTrack m_track;
    QFile m_file;
};

// What of a track's description a copy has to match.
QString describeDifference(const DiscSheet &copy, const DiscSheet &master)
{
    if (copy.tracks.size() != master.tracks.size())
        return QStringLiteral("the copy has %1 tracks, the master %2.").arg(copy.tracks.size()).arg(master.tracks.size());
    if (copy.catalog != master.catalog)
        return QStringLiteral("the catalogue number differs.");
    if (copy.title != master.title || copy.performer != master.performer || copy.songwriter != master.songwriter
        || copy.message != master.message)
        return QStringLiteral("the album's CD-Text differs.");
    for (qsizetype i = 0; i < copy.tracks.size(); ++i) {
        const SheetTrack &c = copy.tracks[i], &m = master.tracks[i];
        const QString track = QStringLiteral("track %1's ").arg(i + 1);
        // Before track 1 only audio the master holds counts: the burner adds its own silence.
        const bool gapDiffers = i == 0 ? c.fileGap != m.fileGap : qint64(c.fileGap) + c.preGap != qint64(m.fileGap) + m.preGap;
        if (gapDiffers)
            return track + QStringLiteral("pre-gap differs.");
        if (c.length + c.postGap != m.length + m.postGap)
            return track + QStringLiteral("length differs.");
        if (c.indexes != m.indexes)
            return track + QStringLiteral("indexes differ.");
        if (c.isrc != m.isrc)
            return track + QStringLiteral("ISRC differs.");
        if (c.copyPermitted != m.copyPermitted || c.preEmphasis != m.preEmphasis || c.fourChannel != m.fourChannel)
            return track + QStringLiteral("flags differ.");
        if (c.title != m.title || c.performer != m.performer || c.songwriter != m.songwriter || c.message != m.message)
            return track + QStringLiteral("CD-Text differs.");
    }
    return {};
}

} // namespace

QString unreadableText(const QList<Unreadable> &unreadable)
{
    QStringList out;
    for (const Unreadable &u : unreadable)
        out << QStringLiteral("Track %1: %2 couldn't be read, %3.")
                   .arg(u.track)
                   .arg(u.sectors == 1 ? QStringLiteral("1 sector") : QString::number(u.sectors) + QStringLiteral(" sectors"),
                        around(u.first));
    return out.join(QLatin1Char(' '));
}

Outcome read(CdReader &reader, const QString &cue, const std::function<void(double)> &progress, CancelToken *cancel)
{
    if (cancel && cancel->isCancelled())
        throw TDError::cancelled();
    Outcome out;
    out.sheet = reader.contents();
    DiscSheet &disc = out.sheet;
    if (disc.tracks.isEmpty())
        throw TDError::refused(QStringLiteral("The disc has no track to copy."));
    const SheetTrack &last = disc.tracks.constLast();
    const qint64 total = last.start / sectorBytes + qint64(last.length);

    const QString bin = binPathFor(cue);
    // Reads come in whatever pieces the copy asks for; secure reads go by
    // whole chunks, kept until the copy has taken them.
    std::vector<char> chunk(static_cast<size_t>(chunkSectors * sectorBytes)), spare;
    qint64 chunkAt = -1;
    auto bad = [&](qint64 lba) {
        const int t = trackAt(disc, lba);
        const qint64 fromStart = lba - disc.tracks[t].start / sectorBytes;
        if (out.unreadable.isEmpty() || out.unreadable.constLast().track != t + 1)
            out.unreadable.append({t + 1, 0, fromStart});
        ++out.unreadable.last().sectors;
    };
    const auto readBytes = [&](qint64 offset, char *into, qint64 count) {
        qint64 given = 0;
        while (given < count) {
            const qint64 at = offset + given;
            const qint64 first = at / sectorBytes / chunkSectors * chunkSectors;
            const qint64 chunkBytes = std::min<qint64>(chunkSectors, total - first) * sectorBytes;
            if (first != chunkAt) {
                secureRead(reader, first, int(chunkBytes / sectorBytes), chunk.data(), spare, bad, cancel);
                chunkAt = first;
            }
            const qint64 inChunk = at - first * sectorBytes;
            const qint64 n = std::min(count - given, chunkBytes - inChunk);
            std::memcpy(into + given, chunk.data() + inChunk, size_t(n));
            given += n;
        }
        return given;
    };
    DiscReader::copy(total * sectorBytes, bin, progress, cancel, readBytes);
    try {
        // The cue names its BIN by file name, so the pair can be moved together.
        DiscSheet named = disc;
        for (SheetTrack &t : named.tracks)
            t.file = QFileInfo(bin).fileName();
        const QString text = named.toCueText([total](const QString &) { return std::optional<qint64>(total * sectorBytes); });
        // Like the BIN: a work file, renamed over an older cue only once whole.
        const QByteArray work = QFile::encodeName(cue + QStringLiteral(".partial")), bytes = text.toUtf8();
        const int fd = ::open(work.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        qsizetype done = 0;
        for (ssize_t n = 0; fd >= 0 && done < bytes.size(); done += n)
            if ((n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done))) < 0)
                break;
        const bool saved = fd >= 0 && done == bytes.size();
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        if (!saved || ::rename(work.constData(), QFile::encodeName(cue).constData()) != 0) {
            const int why = saved ? errno : error;
            ::unlink(work.constData());
            throw TDError::writeFailed(QString::fromLocal8Bit(std::strerror(why)));
        }
    } catch (...) {
        QFile::remove(bin); // a BIN without its cue is no image
        throw;
    }
    for (SheetTrack &t : disc.tracks)
        t.file = bin;
    return out;
}

Comparison compare(CdReader &copy, const DiscSheet &master, const std::function<void(double)> &progress,
                   CancelToken *cancel)
{
    const DiscSheet disc = copy.contents();
    if (const QString why = describeDifference(disc, master); !why.isEmpty())
        return {false, QStringLiteral("differs from the master: ") + why};
    qint64 total = 0, done = 0;
    for (const SheetTrack &t : master.tracks)
        total += qint64(t.preGap) + t.fileGap + qint64(t.length) + t.postGap;
    std::vector<char> ours(static_cast<size_t>(chunkSectors * sectorBytes));
    std::vector<char> theirs(static_cast<size_t>(sectorBytes));
    for (qsizetype i = 0; i < master.tracks.size(); ++i) {
        MasterTrack m(master.tracks[i]);
        const SheetTrack &c = disc.tracks[i];
        // Track 1's pre-gap on a copy may be the burner's own silence; it is
        // compared only when the master holds audio there.
        const qint64 skip = i == 0 ? qint64(master.tracks[i].preGap) : 0;
        const qint64 first = c.start / sectorBytes - (m.gap() - skip);
        for (qint64 s = skip; s < m.sectors();) {
            if (cancel && cancel->isCancelled())
                throw TDError::cancelled();
            const int n = int(std::min<qint64>(chunkSectors, m.sectors() - s));
            if (!copy.read(first + (s - skip), n, ours.data()))
                return {false, QStringLiteral("Track %1 of the copy couldn't be read %2.").arg(i + 1).arg(around(s - m.gap()))};
            for (int k = 0; k < n; ++k) {
                bool cooked = false;
                m.sector(s + k, theirs.data(), cooked);
                const char *a = ours.data() + k * sectorBytes;
                const bool same = cooked ? std::memcmp(a + 16, theirs.data() + 16, 2048) == 0
                                         : std::memcmp(a, theirs.data(), size_t(sectorBytes)) == 0;
                if (!same)
                    return {false, QStringLiteral("Track %1 differs from the master %2.").arg(i + 1).arg(around(s + k - m.gap()))};
            }
            s += n;
            done += n;
            if (progress && total > 0)
                progress(double(done) / double(total));
        }
    }
    return {true, QStringLiteral("identical to the master (%1 track%2)")
                      .arg(master.tracks.size())
                      .arg(master.tracks.size() == 1 ? QString() : QStringLiteral("s"))};
}

} // namespace MasterCopy
