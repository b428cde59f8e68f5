#include "platform/linux/ScsiCdReader.h"

#include "base/TDError.h"
#include "platform/sheets/CdTextPacks.h"

#include <QFile>
#include <QHash>
#include <QtEndian>

#include <array>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

// A drive retrying a damaged sector can take this long before it gives up.
constexpr unsigned commandMs = 30000;
// 56 KiB a command: within what every host adapter takes, USB bridges too.
constexpr int sectorsPerCommand = 24;
// A disc still spinning up is waited for this long.
constexpr auto spinUp = std::chrono::seconds(10);

// Full sectors of any type: sync, headers, user data, EDC/ECC (READ CD byte 9).
constexpr quint8 wholeSector = 0xF8;
constexpr int qBytes = 16; // formatted Q, READ CD sub-channel selection 010b

struct Sense
{
    int key = 0, asc = 0, ascq = 0;
};

struct Position
{
    int track = 0;
    int index = 0;
    auto operator<=>(const Position &) const = default;
};

int bcd(quint8 b)
{
    return (b >> 4) <= 9 && (b & 15) <= 9 ? (b >> 4) * 10 + (b & 15) : -1;
}

// The node, open for one call of the reader.
class Device
{
public:
    explicit Device(const QString &path) : m_path(path)
    {
        // O_NONBLOCK: opening must not wait for the tray or the disc.
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0)
            throw TDError::readFailed(path, 0, errno);
    }
    ~Device() { ::close(m_fd); }
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    // Sends `cdb` and reads up to `bytes` into `data`. True when the drive
    // did it and moved all `bytes`; false when it refused, `sense` then saying
    // why. Throws readFailed (at byte `at` of the disc) when the drive is gone
    // or didn't answer in time. A disc change notice or a disc spinning up is
    // waited out, as the kernel does.
    bool command(const quint8 *cdb, int cdbBytes, void *data, unsigned bytes, Sense &sense, qint64 at)
    {
        const auto giveUp = std::chrono::steady_clock::now() + spinUp;
        bool noticed = false;
        while (true) {
            quint8 senseData[32] = {};
            sg_io_hdr_t io = {};
            io.interface_id = 'S';
            io.dxfer_direction = bytes > 0 ? SG_DXFER_FROM_DEV : SG_DXFER_NONE;
            io.cmd_len = quint8(cdbBytes);
            io.cmdp = const_cast<quint8 *>(cdb);
            io.dxferp = data;
            io.dxfer_len = bytes;
            io.sbp = senseData;
            io.mx_sb_len = sizeof senseData;
            io.timeout = commandMs;
            int rc;
            do
                rc = ::ioctl(m_fd, SG_IO, &io);
            while (rc < 0 && errno == EINTR);
            if (rc < 0)
                throw TDError::readFailed(m_path, at, errno);
            // DID_TIME_OUT, DRIVER_TIMEOUT; no connection or target: gone.
            if (io.host_status == 0x03 || (io.driver_status & 0x0f) == 0x06)
                throw TDError::readFailed(m_path, at, ETIMEDOUT);
            if (io.host_status == 0x01 || io.host_status == 0x04)
                throw TDError::readFailed(m_path, at, ENODEV);
            sense = {};
            if ((io.info & SG_INFO_OK_MASK) == SG_INFO_OK && io.host_status == 0)
                return unsigned(io.dxfer_len - io.resid) >= bytes;
            if (io.sb_len_wr >= 14 && (senseData[0] & 0x7e) == 0x70)
                sense = {senseData[2] & 0x0f, senseData[12], senseData[13]};
            else if (io.sb_len_wr >= 4 && (senseData[0] & 0x7e) == 0x72)
                sense = {senseData[1] & 0x0f, senseData[2], senseData[3]};
            if (sense.key == 0x01) // recovered: the data is good
                return unsigned(io.dxfer_len - io.resid) >= bytes;
            if (sense.key == 0x06 && !noticed) {
                noticed = true;
                continue;
            }
            if (sense.key == 0x02 && sense.asc == 0x04 && sense.ascq == 0x01
                && std::chrono::steady_clock::now() < giveUp) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                continue;
            }
            return false;
        }
    }

    // What a refusal means for the whole call: the disc gone (taken out, or
    // changed under us) throws; anything else is the sector's or command's.
    void throwIfGone(const Sense &sense, qint64 at) const
    {
        if (sense.key == 0x02 || sense.key == 0x06)
            throw TDError::readFailed(m_path, at, sense.asc == 0x3a || sense.key == 0x06 ? ENOMEDIUM : EIO);
    }

    // READ CD of `count` whole sectors from `lba`, each followed by its
    // formatted Q when `withQ`.
    bool readCd(qint64 lba, int count, bool withQ, char *into, Sense &sense)
    {
        const quint8 cdb[12] = {0xBE, 0x00, quint8(lba >> 24), quint8(lba >> 16), quint8(lba >> 8), quint8(lba),
                                quint8(count >> 16), quint8(count >> 8), quint8(count), wholeSector,
                                quint8(withQ ? 0x02 : 0x00), 0};
        const unsigned bytes = unsigned(count) * unsigned(CdReader::sectorBytes + (withQ ? qBytes : 0));
        return command(cdb, sizeof cdb, into, bytes, sense, lba * CdReader::sectorBytes);
    }

    const QString &path() const { return m_path; }

private:
    QString m_path;
    int m_fd = -1;
};

// What contents() learns from the drive, one call long.
class Survey
{
public:
    explicit Survey(Device &device) : m_device(device) {}

    QList<int> numbers;    // track numbers, rising
    QList<qint64> starts;  // their INDEX 01 LBAs
    QList<int> controls;   // their Q control nibbles
    qint64 leadOut = 0;

    void readToc()
    {
        const QString noDisc = QStringLiteral("There's no disc in the drive.");
        const quint8 configuration[10] = {0x46, 0x01, 0, 0, 0, 0, 0, 0, 8, 0};
        quint8 header[8] = {};
        Sense sense;
        if (m_device.command(configuration, sizeof configuration, header, sizeof header, sense, 0)) {
            const int profile = qFromBigEndian<quint16>(header + 6);
            if (profile == 0)
                throw TDError::refused(noDisc);
            if (profile != 0x08 && profile != 0x09 && profile != 0x0a)
                throw TDError::refused(QStringLiteral("The disc in the drive isn't a CD."));
        } else if (sense.key == 0x02 && sense.asc == 0x3a) {
            throw TDError::refused(noDisc);
        } // a drive without GET CONFIGURATION: READ TOC tells

        const quint8 sessionsCdb[10] = {0x43, 0, 0x01, 0, 0, 0, 0, 0, 12, 0};
        quint8 sessions[12] = {};
        if (m_device.command(sessionsCdb, sizeof sessionsCdb, sessions, sizeof sessions, sense, 0) && sessions[3] > 1)
            throw TDError::refused(QStringLiteral("The CD in the drive has %1 sessions; only a CD of one session can be copied.")
                                       .arg(sessions[3]));

        // The header first, then all of it, now that its length is known.
        std::array<quint8, 804> toc = {};
        const auto askToc = [&](int bytes) {
            const quint8 cdb[10] = {0x43, 0, 0x00, 0, 0, 0, 1, quint8(bytes >> 8), quint8(bytes), 0};
            if (m_device.command(cdb, sizeof cdb, toc.data(), unsigned(bytes), sense, 0))
                return true;
            if (sense.key == 0x02 && sense.asc == 0x3a)
                throw TDError::refused(noDisc);
            m_device.throwIfGone(sense, 0);
            return false; // a blank disc has no table of contents
        };
        int length = askToc(4) ? std::min<int>(int(toc.size()), qFromBigEndian<quint16>(toc.data()) + 2) : 0;
        if (length > 4 && !askToc(length))
            length = 0;
        bool ended = false;
        for (int at = 4; at + 8 <= length && !ended; at += 8) {
            const quint8 *d = toc.data() + at;
            const qint64 lba = qint32(qFromBigEndian<quint32>(d + 4));
            if (d[2] == 0xAA) {
                leadOut = lba;
                ended = true;
            } else if (d[2] >= 1 && d[2] <= 99 && (starts.isEmpty() || (lba > starts.last() && d[2] > numbers.last()))) {
                numbers.append(d[2]);
                starts.append(lba);
                controls.append(d[1] & 0x0f);
            }
        }
        if (numbers.isEmpty() || !ended || leadOut <= starts.last())
            throw TDError::refused(QStringLiteral("The CD in the drive holds no tracks."));
    }

    // Where the sector at `lba` lies by its Q sub-channel. A frame that
    // carries the catalogue number or an ISRC instead of a position, or a
    // sector that can't be read, is told by its nearest neighbour.
    Position at(qint64 lba)
    {
        if (const auto known = m_seen.constFind(lba); known != m_seen.cend())
            return *known;
        for (const int step : {0, -1, 1, -2, 2, -3, 3}) {
            const qint64 probe = lba + step;
            if (probe < 0 || probe >= leadOut)
                continue;
            std::array<char, CdReader::sectorBytes + qBytes> sector;
            Sense sense;
            if (!m_device.readCd(probe, 1, true, sector.data(), sense)) {
                m_device.throwIfGone(sense, probe * CdReader::sectorBytes);
                continue;
            }
            const auto *q = reinterpret_cast<const quint8 *>(sector.data() + CdReader::sectorBytes);
            const Position p{bcd(q[1]), bcd(q[2])};
            if ((q[0] & 0x0f) == 1 && numbers.contains(p.track) && p.index >= 0) {
                m_seen.insert(lba, p);
                return p;
            }
        }
        throw TDError::readFailed(m_device.path(), lba * CdReader::sectorBytes, EIO);
    }

    // The first sector in (lo, hi] whose position is at least `p`, when the
    // one at `lo` isn't and the one at `hi` is. `nearEnd`: the answer is
    // likely close to `hi` (a pre-gap), so steps back from there first.
    qint64 firstAtLeast(Position p, qint64 lo, qint64 hi, bool nearEnd)
    {
        for (qint64 step = 1; nearEnd && hi - lo > 1; step *= 2) {
            const qint64 probe = std::max(lo + 1, hi - step);
            if (at(probe) < p) {
                lo = probe;
                break;
            }
            hi = probe;
        }
        while (hi - lo > 1) {
            const qint64 mid = lo + (hi - lo) / 2;
            (at(mid) < p ? lo : hi) = mid;
        }
        return hi;
    }

    QString code(quint8 format, int track, int chars)
    {
        const quint8 cdb[10] = {0x42, 0, 0x40, format, 0, 0, quint8(track), 0, 24, 0};
        quint8 answer[24] = {};
        Sense sense;
        if (!m_device.command(cdb, sizeof cdb, answer, sizeof answer, sense, 0)) {
            m_device.throwIfGone(sense, 0);
            return {};
        }
        if (!(answer[8] & 0x80))
            return {};
        const QString text = QString::fromLatin1(reinterpret_cast<const char *>(answer + 9), chars);
        // Drives that can't find one may answer zeros or junk.
        const bool catalog = format == 0x02;
        if (!DiscSheet::codeProblem(text, catalog).isEmpty() || text == QString(chars, u'0'))
            return {};
        return text;
    }

    QByteArray cdTextPacks()
    {
        const quint8 headerCdb[10] = {0x43, 0, 0x05, 0, 0, 0, 0, 0, 4, 0};
        quint8 header[4] = {};
        Sense sense;
        if (!m_device.command(headerCdb, sizeof headerCdb, header, sizeof header, sense, 0)) {
            m_device.throwIfGone(sense, 0);
            return {}; // no CD-Text, or a drive that can't read it
        }
        const int length = qFromBigEndian<quint16>(header) + 2;
        if (length <= 4 + 17)
            return {};
        QByteArray all(length, '\0');
        const quint8 cdb[10] = {0x43, 0, 0x05, 0, 0, 0, 0, quint8(length >> 8), quint8(length), 0};
        if (!m_device.command(cdb, sizeof cdb, all.data(), unsigned(length), sense, 0)) {
            m_device.throwIfGone(sense, 0);
            return {};
        }
        return all.mid(4, (length - 4) / 18 * 18);
    }

    SheetTrack::Mode dataMode(qint64 lba)
    {
        std::array<char, CdReader::sectorBytes> sector;
        Sense sense;
        if (!m_device.readCd(lba, 1, false, sector.data(), sense)) {
            m_device.throwIfGone(sense, lba * CdReader::sectorBytes);
            return SheetTrack::Mode::mode1Raw;
        }
        return sector[15] == 2 ? SheetTrack::Mode::mode2Raw : SheetTrack::Mode::mode1Raw;
    }

private:
    Device &m_device;
    QHash<qint64, Position> m_seen;
};

} // namespace

ScsiCdReader::ScsiCdReader(const QString &devicePath) : m_path(devicePath) {}

DiscSheet ScsiCdReader::contents()
{
    Device device(m_path);
    Survey s(device);
    s.readToc();
    const qsizetype count = s.numbers.size();

    // Each track's INDEX 00, where its Q first names it. Audio before
    // track 1's INDEX 01 is its own.
    QList<qint64> gaps(count);
    gaps[0] = 0;
    for (qsizetype i = 1; i < count; ++i)
        gaps[i] = s.firstAtLeast({s.numbers[i], 0}, s.starts[i - 1], s.starts[i], true);

    DiscSheet sheet;
    for (qsizetype i = 0; i < count; ++i) {
        const qint64 end = i + 1 < count ? gaps[i + 1] : s.leadOut;
        const int control = s.controls[i];
        const bool audio = !(control & 4);
        SheetTrack t;
        t.mode = audio ? SheetTrack::Mode::audio : s.dataMode(s.starts[i]);
        t.start = s.starts[i] * sectorBytes;
        t.fileGap = quint32(s.starts[i] - gaps[i]);
        t.length = quint64(end - s.starts[i]);
        t.copyPermitted = control & 2;
        t.preEmphasis = audio && (control & 1);
        t.fourChannel = audio && (control & 8);
        // INDEX 02 on: each the first sector of its number, while the
        // track's last sector has come that far.
        qint64 from = s.starts[i];
        for (int index = 2; index <= 99 && end - 1 > from; ++index) {
            const Position p{s.numbers[i], index};
            if (s.at(end - 1) < p)
                break;
            from = s.firstAtLeast(p, from, end - 1, false);
            t.indexes.append(quint64(from - s.starts[i]));
        }
        if (audio)
            t.isrc = s.code(0x03, s.numbers[i], 12);
        sheet.tracks.append(t);
    }
    sheet.catalog = s.code(0x02, 0, 13);
    if (const QByteArray packs = s.cdTextPacks(); !packs.isEmpty())
        CdTextPacks::apply(packs, sheet);
    return sheet;
}

bool ScsiCdReader::read(qint64 lba, int count, char *into)
{
    if (count < 1 || count > 64 || lba < 0)
        return false;
    Device device(m_path);
    for (int done = 0; done < count;) {
        const int n = std::min(sectorsPerCommand, count - done);
        Sense sense;
        if (!device.readCd(lba + done, n, false, into + qint64(done) * sectorBytes, sense)) {
            device.throwIfGone(sense, (lba + done) * sectorBytes);
            return false;
        }
        done += n;
    }
    return true;
}
