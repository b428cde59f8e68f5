#include "platform/linux/OpticalDiscs.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libudev.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace OpticalDiscs {

namespace {

const QString mediaPrefix = QStringLiteral("ID_CDROM_MEDIA_");

// A libudev handle released at the end of a scope.
template<typename T, T *(*Unref)(T *)>
struct Ref
{
    T *p = nullptr;
    explicit Ref(T *ptr) : p(ptr) {}
    ~Ref()
    {
        if (p)
            Unref(p);
    }
    Ref(const Ref &) = delete;
    Ref &operator=(const Ref &) = delete;
    explicit operator bool() const { return p != nullptr; }
};
using Udev = Ref<udev, udev_unref>;
using Device = Ref<udev_device, udev_device_unref>;
using Enumerate = Ref<udev_enumerate, udev_enumerate_unref>;

QMap<QString, QString> propertiesOf(udev_device *dev)
{
    QMap<QString, QString> props;
    for (udev_list_entry *e = udev_device_get_properties_list_entry(dev); e; e = udev_list_entry_get_next(e))
        props.insert(QString::fromUtf8(udev_list_entry_get_name(e)),
                     QString::fromUtf8(udev_list_entry_get_value(e)));
    return props;
}

QString sysattr(udev_device *dev, const char *name)
{
    return QString::fromUtf8(udev_device_get_sysattr_value(dev, name)).trimmed();
}

// ID_FS_LABEL_ENC writes unsafe bytes as \xNN.
QString decodeLabel(const QString &encoded)
{
    QByteArray out;
    const QByteArray in = encoded.toUtf8();
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size() && in[i + 1] == 'x') {
            bool ok = false;
            const int value = in.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out += char(value);
                i += 3;
                continue;
            }
        }
        out += in[i];
    }
    return QString::fromUtf8(out);
}

std::optional<QString> nonEmpty(const QString &s)
{
    return s.isEmpty() ? std::nullopt : std::optional<QString>(s);
}

std::optional<QString> labelOf(const QMap<QString, QString> &p)
{
    const QString enc = p.value(QStringLiteral("ID_FS_LABEL_ENC"));
    return nonEmpty(enc.isEmpty() ? p.value(QStringLiteral("ID_FS_LABEL")) : decodeLabel(enc));
}

// "DVD_PLUS_R_DL" → "DVD+R DL"; a bare class is the pressed disc.
QString mediaNameOf(const QString &key)
{
    QString name = key.mid(mediaPrefix.size());
    if (name == QLatin1String("CD") || name == QLatin1String("DVD") || name == QLatin1String("BD"))
        return name + QStringLiteral("-ROM");
    name.replace(QLatin1String("_PLUS_"), QLatin1String("+"));
    if (name.endsWith(QLatin1String("_DL")))
        name = name.chopped(3) + QStringLiteral(" DL");
    name.replace(QLatin1Char('_'), QLatin1Char('-'));
    return name;
}

} // namespace

std::optional<DiscInfo> fromProperties(const QString &name, const QMap<QString, QString> &p, qint64 bytes,
                                       int blockSize, unsigned major, unsigned minor,
                                       const QList<MountTable::Entry> &mounts, const QList<Partition> &partitions)
{
    if (p.value(QStringLiteral("ID_CDROM")) != QLatin1String("1")
        || p.value(QStringLiteral("ID_CDROM_MEDIA")) != QLatin1String("1"))
        return std::nullopt;

    // The class from the most capable family the drive reports for the
    // medium; the name from its most specific key.
    DiscInfo d;
    d.bsdName = name;
    for (const char *kind : {"BD", "DVD", "CD"}) {
        const QString prefix = mediaPrefix + QLatin1String(kind);
        QString best;
        for (auto it = p.begin(); it != p.end(); ++it) {
            const bool sameFamily = it.key() == prefix || it.key().startsWith(prefix + QLatin1Char('_'));
            if (sameFamily && it.value() == QLatin1String("1") && it.key().size() > best.size())
                best = it.key();
        }
        if (!best.isEmpty()) {
            d.mediaKind = QLatin1String(kind);
            d.mediaName = mediaNameOf(best);
            break;
        }
    }
    if (d.mediaKind.isEmpty())
        return std::nullopt;

    d.bytes = bytes;
    d.blockSize = blockSize > 0 ? blockSize : 2048;
    const int audio = p.value(QStringLiteral("ID_CDROM_MEDIA_TRACK_COUNT_AUDIO")).toInt();
    const int data = p.value(QStringLiteral("ID_CDROM_MEDIA_TRACK_COUNT_DATA")).toInt();
    if (audio > 0 && data == 0)
        d.volumeKind = QStringLiteral("cdda");
    else
        d.volumeKind = nonEmpty(p.value(QStringLiteral("ID_FS_TYPE")));
    d.volumeName = labelOf(p);
    d.mountPoint = nonEmpty(MountTable::mountPointsOf(mounts, major, minor).value(0));
    const QString state = p.value(QStringLiteral("ID_CDROM_MEDIA_STATE"));
    d.writable = state == QLatin1String("blank") || state == QLatin1String("appendable");

    // A disc with a partition table keeps its volumes there; each of the
    // first four fills in only what is still missing.
    if (!d.mountPoint || !d.volumeKind) {
        for (const Partition &part : partitions.mid(0, 4)) {
            if (!d.volumeKind)
                d.volumeKind = nonEmpty(part.properties.value(QStringLiteral("ID_FS_TYPE")));
            if (!d.volumeName)
                d.volumeName = labelOf(part.properties);
            if (!d.mountPoint)
                d.mountPoint = nonEmpty(MountTable::mountPointsOf(mounts, part.major, part.minor).value(0));
        }
    }
    return d;
}

QStringList names()
{
    Udev u(udev_new());
    if (!u)
        return {};
    Enumerate e(udev_enumerate_new(u.p));
    if (!e)
        return {};
    udev_enumerate_add_match_subsystem(e.p, "block");
    udev_enumerate_add_match_property(e.p, "ID_CDROM", "1");
    udev_enumerate_scan_devices(e.p);
    QStringList found;
    for (udev_list_entry *l = udev_enumerate_get_list_entry(e.p); l; l = udev_list_entry_get_next(l)) {
        Device dev(udev_device_new_from_syspath(u.p, udev_list_entry_get_name(l)));
        if (!dev || qstrcmp(udev_device_get_devtype(dev.p), "disk") != 0)
            continue;
        if (qstrcmp(udev_device_get_property_value(dev.p, "ID_CDROM_MEDIA"), "1") == 0)
            found << QString::fromUtf8(udev_device_get_sysname(dev.p));
    }
    return found;
}

std::optional<DiscInfo> describe(const QString &name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return std::nullopt;
    Udev u(udev_new());
    if (!u)
        return std::nullopt;
    Device dev(udev_device_new_from_subsystem_sysname(u.p, "block", name.toUtf8().constData()));
    if (!dev || qstrcmp(udev_device_get_devtype(dev.p), "disk") != 0)
        return std::nullopt;

    const qint64 bytes = sysattr(dev.p, "size").toLongLong() * 512; // sysfs counts 512-byte units
    const int blockSize = sysattr(dev.p, "queue/logical_block_size").toInt();
    const dev_t devnum = udev_device_get_devnum(dev.p);

    QList<Partition> partitions;
    Enumerate e(udev_enumerate_new(u.p));
    if (e) {
        udev_enumerate_add_match_parent(e.p, dev.p);
        udev_enumerate_add_match_subsystem(e.p, "block");
        udev_enumerate_scan_devices(e.p);
        QList<QPair<QString, Partition>> named;
        for (udev_list_entry *l = udev_enumerate_get_list_entry(e.p); l; l = udev_list_entry_get_next(l)) {
            Device part(udev_device_new_from_syspath(u.p, udev_list_entry_get_name(l)));
            if (!part || qstrcmp(udev_device_get_devtype(part.p), "partition") != 0)
                continue;
            const dev_t n = udev_device_get_devnum(part.p);
            named.append({QString::fromUtf8(udev_device_get_sysname(part.p)),
                          Partition{propertiesOf(part.p), major(n), minor(n)}});
        }
        std::sort(named.begin(), named.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        for (const auto &n : named)
            partitions << n.second;
    }
    return fromProperties(name, propertiesOf(dev.p), bytes, blockSize, major(devnum), minor(devnum),
                          MountTable::current(), partitions);
}

namespace {

// Sends one command that reads `bytes` (none: no data) into `answer`; false
// when the device can't be opened or the command fails. `sense`, if given,
// gets the fixed-format sense data of a failed command.
bool ask(const QString &devicePath, unsigned char *cdb, unsigned char cdbBytes, unsigned char *answer, unsigned bytes,
         unsigned char (*sense)[18] = nullptr)
{
    // O_NONBLOCK: opening a drive must not wait for the tray or the disc.
    const int fd = ::open(QFile::encodeName(devicePath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    unsigned char senseData[32] = {};
    sg_io_hdr_t io = {};
    io.interface_id = 'S';
    io.dxfer_direction = bytes > 0 ? SG_DXFER_FROM_DEV : SG_DXFER_NONE;
    io.cmd_len = cdbBytes;
    io.cmdp = cdb;
    io.dxferp = answer;
    io.dxfer_len = bytes;
    io.sbp = senseData;
    io.mx_sb_len = sizeof senseData;
    io.timeout = 10000; // ms: a drive may have to spin the disc up first

    int rc;
    // A drive tells the first command after a disc change of the change
    // (UNIT ATTENTION) instead of answering it; the command is sent again.
    for (int tries = 2; tries > 0; --tries) {
        do
            rc = ::ioctl(fd, SG_IO, &io);
        while (rc < 0 && errno == EINTR);
        const bool attention = rc == 0 && (io.info & SG_INFO_OK_MASK) != SG_INFO_OK && io.sb_len_wr > 2
            && (senseData[0] & 0x7e) == 0x70 && (senseData[2] & 0x0f) == 0x06;
        if (!attention)
            break;
    }
    ::close(fd);
    if (sense)
        std::memcpy(*sense, senseData, sizeof *sense);
    return rc == 0 && (io.info & SG_INFO_OK_MASK) == SG_INFO_OK;
}

} // namespace

namespace {

// udev's name for the medium of an MMC profile, as cdrom_id gives it.
const char *mediumKey(int profile)
{
    switch (profile) {
    case 0x08: return "CD";
    case 0x09: return "CD_R";
    case 0x0a: return "CD_RW";
    case 0x10: return "DVD";
    case 0x11: return "DVD_R";
    case 0x12: return "DVD_RAM";
    case 0x13:
    case 0x14: return "DVD_RW";
    case 0x15:
    case 0x16: return "DVD_R_DL";
    case 0x1a: return "DVD_PLUS_RW";
    case 0x1b: return "DVD_PLUS_R";
    case 0x2a: return "DVD_PLUS_RW_DL";
    case 0x2b: return "DVD_PLUS_R_DL";
    case 0x40: return "BD";
    case 0x41:
    case 0x42: return "BD_R";
    case 0x43: return "BD_RE";
    default: return nullptr;
    }
}

} // namespace

std::optional<DiscInfo> askDrive(const QString &devicePath)
{
    // The properties udev's cdrom_id and blkid would have given, so that the
    // disc is described as udev's are.
    QMap<QString, QString> p;
    // A disc just put in is still spinning up and shows no profile yet.
    for (int waited = 0; waited < 50 && becomingReady(devicePath); ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // GET CONFIGURATION (46h), current features only: the profile in bytes 6-7.
    unsigned char getConfiguration[10] = {0x46, 0x01, 0, 0, 0, 0, 0, 0, 8, 0};
    unsigned char config[8] = {};
    if (!ask(devicePath, getConfiguration, sizeof getConfiguration, config, sizeof config))
        return std::nullopt;
    const char *key = mediumKey(config[6] << 8 | config[7]);
    if (!key)
        return std::nullopt; // no disc, or none we know
    p.insert(QStringLiteral("ID_CDROM"), QStringLiteral("1"));
    p.insert(QStringLiteral("ID_CDROM_MEDIA"), QStringLiteral("1"));
    p.insert(mediaPrefix + QLatin1String(key), QStringLiteral("1"));

    // READ DISC INFORMATION (51h): byte 2, bits 0-1, the disc's status.
    unsigned char discInformation[10] = {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0};
    unsigned char disc[34] = {};
    if (ask(devicePath, discInformation, sizeof discInformation, disc, sizeof disc)) {
        static const char *states[] = {"blank", "appendable", "complete", "other"};
        p.insert(QStringLiteral("ID_CDROM_MEDIA_STATE"), QLatin1String(states[disc[2] & 3]));
    }

    // READ TOC (43h), format 0: the tracks, a data track by bit 2 of its control.
    unsigned char readToc[10] = {0x43, 0, 0, 0, 0, 0, 0, 0x03, 0x24, 0};
    unsigned char toc[804] = {};
    int audio = 0, data = 0;
    if (ask(devicePath, readToc, sizeof readToc, toc, sizeof toc)) {
        const int length = std::min<int>(sizeof toc, (toc[0] << 8 | toc[1]) + 2);
        for (int at = 4; at + 8 <= length; at += 8) {
            if (toc[at + 2] == 0xaa)
                continue; // the lead-out
            (toc[at + 1] & 0x04 ? data : audio) += 1;
        }
    }
    p.insert(QStringLiteral("ID_CDROM_MEDIA_TRACK_COUNT_AUDIO"), QString::number(audio));
    p.insert(QStringLiteral("ID_CDROM_MEDIA_TRACK_COUNT_DATA"), QString::number(data));

    // READ CAPACITY (25h): the last block and the block length, as the
    // kernel sizes the device.
    unsigned char readCapacity[10] = {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    unsigned char capacity[8] = {};
    qint64 bytes = 0;
    int blockSize = 0;
    if (data > 0 && ask(devicePath, readCapacity, sizeof readCapacity, capacity, sizeof capacity)) {
        blockSize = int(qFromBigEndian<quint32>(capacity + 4));
        bytes = (qint64(qFromBigEndian<quint32>(capacity)) + 1) * blockSize;
    }

    // READ(10) of block 16: an ISO 9660 primary volume descriptor names the volume.
    unsigned char read10[10] = {0x28, 0, 0, 0, 0, 16, 0, 0, 1, 0};
    unsigned char descriptor[2048] = {};
    if (bytes > 16 * 2048 && ask(devicePath, read10, sizeof read10, descriptor, sizeof descriptor)
        && std::memcmp(descriptor, "\x01" "CD001", 6) == 0) {
        p.insert(QStringLiteral("ID_FS_TYPE"), QStringLiteral("iso9660"));
        p.insert(QStringLiteral("ID_FS_LABEL"),
                 QString::fromLatin1(reinterpret_cast<const char *>(descriptor + 40), 32).trimmed());
    }

    struct stat node = {};
    const bool isNode = ::stat(QFile::encodeName(devicePath).constData(), &node) == 0 && S_ISBLK(node.st_mode);
    return fromProperties(devicePath, p, bytes, blockSize, isNode ? major(node.st_rdev) : 0,
                          isNode ? minor(node.st_rdev) : 0, isNode ? MountTable::current() : QList<MountTable::Entry>());
}

int dvdCopyProtection(const QString &devicePath)
{
    // MMC READ DISC STRUCTURE (ADh), format 01h: the 4-byte header and the
    // copyright information; byte 4 is the copy protection system type.
    unsigned char cdb[12] = {0xAD, 0, 0, 0, 0, 0, 0, 0x01, 0, 8, 0, 0};
    unsigned char answer[8] = {};
    return ask(devicePath, cdb, sizeof cdb, answer, sizeof answer) ? answer[4] : -1;
}

std::optional<Tray> tray(const QString &devicePath)
{
    // GET EVENT STATUS NOTIFICATION (4Ah), polled, media class: byte 4 is
    // the event (2 new medium, 3 removal), byte 5 bit 1 a disc in, bit 0 open.
    unsigned char cdb[10] = {0x4A, 0x01, 0, 0, 0x10, 0, 0, 0, 8, 0};
    unsigned char answer[8] = {};
    if (!ask(devicePath, cdb, sizeof cdb, answer, sizeof answer) || (answer[2] & 0x07) != 0x04)
        return std::nullopt;
    return Tray{bool(answer[5] & 2), bool(answer[5] & 1), (answer[4] & 0x0f) == 2 || (answer[4] & 0x0f) == 3};
}

bool becomingReady(const QString &devicePath)
{
    unsigned char cdb[6] = {0x00, 0, 0, 0, 0, 0};
    unsigned char sense[18] = {};
    if (ask(devicePath, cdb, sizeof cdb, nullptr, 0, &sense))
        return false;
    // Fixed format (70h/71h): key in byte 2, ASC and ASCQ in bytes 12 and 13.
    return (sense[0] & 0x7e) == 0x70 && (sense[2] & 0x0f) == 0x02 && sense[12] == 0x04 && sense[13] == 0x01;
}

} // namespace OpticalDiscs
