// Stands in front of the C library for the emulated device paths: open, stat
// and close of /dev/srN and the ioctls a burning program sends on it reach
// the emulated drive; every other path and descriptor passes through. Linked
// into a test program it serves the whole process (libburn included); as
// libtandor_mmc_preload.so it serves any program through LD_PRELOAD.
//
// Our definitions must have the exact signatures of the C library's, so this
// file sees the headers without large-file renaming or fortify wrappers.
#undef _FORTIFY_SOURCE
#undef _FILE_OFFSET_BITS
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif

#include "MmcDrive.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>

namespace mmc {

namespace {

struct Entry
{
    std::string device, folder;
    Medium medium = Medium::none;
    bool keepDisc = false;
};

// TANDOR_EMULATED_DRIVES, "DEVICE=MEDIUM@FOLDER;...": an entry that doesn't
// parse is skipped.
std::vector<Entry> parseEntries(const char *text)
{
    std::vector<Entry> entries;
    std::stringstream all(text);
    for (std::string item; std::getline(all, item, ';');) {
        const auto eq = item.find('='), at = item.find('@');
        Entry e;
        std::string medium;
        if (eq != std::string::npos && at != std::string::npos && eq < at) {
            e.device = item.substr(0, eq);
            medium = item.substr(eq + 1, at - eq - 1);
            e.folder = item.substr(at + 1);
        }
        e.keepDisc = medium == "disc";
        if (e.device.starts_with('/') && !e.folder.empty() && (e.keepDisc || parseMedium(medium, e.medium)))
            entries.push_back(e);
        else if (!item.empty()) // a typo in a script would otherwise leave a drive missing unexplained
            std::fprintf(stderr, "TANDOR_EMULATED_DRIVES: can't use \"%s\"; write DEVICE=MEDIUM@FOLDER\n", item.c_str());
    }
    return entries;
}

struct Registry
{
    std::mutex mutex;
    std::string text; // TANDOR_EMULATED_DRIVES as last read
    // Every drive made, by the entry it was made from. None is freed: a
    // descriptor opened before a new configuration may still be in use.
    std::map<std::string, std::unique_ptr<Drive>> made;
    std::map<std::string, Drive *> drives; // by device, as last configured
    static constexpr int maxFd = 65536;
    std::atomic<Drive *> byFd[maxFd] = {};
    // SG_SET_RESERVED_SIZE, clamped as the sg driver does. One for all
    // drives: a program sets the same size on each before it reads it back.
    std::atomic<int> reserved = 65536;
};

Registry &registry()
{
    static Registry *r = new Registry; // outlives every static destructor
    return *r;
}

} // namespace

Drive *driveFor(const char *path)
{
    if (!path || std::strncmp(path, "/dev/", 5) != 0)
        return nullptr;
    const char *env = std::getenv("TANDOR_EMULATED_DRIVES");
    if (!env)
        return nullptr;
    // Cheap refusal first: the drive's own files may lie under /dev/shm.
    const char *named = std::strstr(env, path);
    const size_t n = std::strlen(path);
    if (!named || named[n] != '=')
        return nullptr;
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    if (r.text != env) {
        r.text = env;
        for (const Entry &e : parseEntries(env)) {
            auto &drive = r.made[e.device + '=' + (e.keepDisc ? "disc" : mediumName(e.medium)) + '@' + e.folder];
            if (!drive)
                drive.reset(new Drive(e.device, e.folder, e.medium, e.keepDisc));
            r.drives[e.device] = drive.get();
        }
    }
    const auto it = r.drives.find(path);
    return it == r.drives.end() ? nullptr : it->second;
}

namespace {

template <class F>
F next(const char *name) { return reinterpret_cast<F>(dlsym(RTLD_NEXT, name)); }

int minorOf(const Drive &d)
{
    const std::string &dev = d.device();
    return std::atoi(dev.c_str() + dev.find_last_not_of("0123456789") + 1);
}

void fillStat(const Drive &d, struct stat *st)
{
    std::memset(st, 0, sizeof *st);
    st->st_mode = S_IFBLK | 0660;
    st->st_rdev = makedev(11, unsigned(minorOf(d)));
    st->st_dev = makedev(0, 5);
    st->st_ino = 90000 + ino_t(minorOf(d));
    st->st_nlink = 1;
    st->st_uid = geteuid();
    st->st_gid = getegid();
    st->st_blksize = 2048;
}

int openDrive(Drive *d, int flags)
{
    // A real file stands for the device, so fcntl locks and close work as
    // on a node, and two processes that open the drive see each other's locks.
    static const auto realOpen = next<int (*)(const char *, int, ...)>("open");
    const std::string stand = d->folder() + "/device";
    const int fd = realOpen(stand.c_str(), O_RDWR | O_CREAT | (flags & O_CLOEXEC), 0600);
    if (fd < 0)
        return -1;
    if (fd < Registry::maxFd)
        registry().byFd[fd].store(d);
    d->opened();
    return fd;
}

// Set on a thread once it has sent a command to an emulated drive.
thread_local bool drivesThread = false;

int scsiIo(Drive *d, sg_io_hdr_t *h)
{
    Direction dir = Direction::none;
    if (h->dxfer_direction == SG_DXFER_TO_DEV)
        dir = Direction::toDrive;
    else if (h->dxfer_direction == SG_DXFER_FROM_DEV || h->dxfer_direction == SG_DXFER_TO_FROM_DEV)
        dir = Direction::fromDrive;
    const unsigned length = dir == Direction::none ? 0 : h->dxfer_len;
    if (dir == Direction::fromDrive && length > 0)
        std::memset(h->dxferp, 0, length);
    drivesThread = true;
    const Result r = d->execute(h->cmdp, h->cmd_len, dir, static_cast<uint8_t *>(h->dxferp), length);
    h->status = r.status;
    h->masked_status = uint8_t(r.status >> 1);
    h->msg_status = 0;
    h->host_status = 0;
    h->driver_status = r.status ? 0x08 : 0; // DRIVER_SENSE
    h->sb_len_wr = 0;
    h->resid = int(length - std::min(length, dir == Direction::fromDrive ? r.transferred : length));
    h->duration = 0;
    h->info = r.status ? SG_INFO_CHECK : SG_INFO_OK;
    if (r.status == 2 && h->sbp && h->mx_sb_len > 0) {
        uint8_t sense[18] = {0x70, 0, r.sense.key, 0, 0, 0, 0, 10, 0, 0, 0, 0, r.sense.asc, r.sense.ascq, 0, 0, 0, 0};
        if (r.sense.progress >= 0) {
            sense[15] = 0x80;
            sense[16] = uint8_t(r.sense.progress >> 8);
            sense[17] = uint8_t(r.sense.progress);
        }
        const unsigned n = std::min<unsigned>(h->mx_sb_len, sizeof sense);
        std::memcpy(h->sbp, sense, n);
        h->sb_len_wr = uint8_t(n);
    }
    return 0;
}

int driveIoctl(Drive *d, unsigned long request, void *arg)
{
    auto *number = static_cast<int *>(arg);
    switch (request) {
    case SG_IO:
        return scsiIo(d, static_cast<sg_io_hdr_t *>(arg));
    case SG_GET_VERSION_NUM:
        *number = 30527;
        return 0;
    case SG_SET_RESERVED_SIZE:
        registry().reserved = std::clamp(*number, 32768, 1 << 20);
        return 0;
    case SG_GET_RESERVED_SIZE:
        *number = registry().reserved;
        return 0;
    case SCSI_IOCTL_GET_IDLUN: {
        // Each drive on a host of its own, as USB burners are.
        auto *idlun = static_cast<int *>(arg);
        idlun[0] = (20 + minorOf(*d)) << 24;
        idlun[1] = 20 + minorOf(*d);
        return 0;
    }
    case SCSI_IOCTL_GET_BUS_NUMBER:
        *number = 20 + minorOf(*d);
        return 0;
    case CDROM_DRIVE_STATUS: // the drive's numbers are CDS_NO_DISC, CDS_TRAY_OPEN and CDS_DISC_OK
        return d->trayStatus();
    default:
        errno = ENOTTY;
        return -1;
    }
}

// `us` on the drives' clock: divided by the slowest one's time factor, no
// shorter than a millisecond.
useconds_t drivesClock(useconds_t us)
{
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    double factor = 0;
    for (const auto &[device, drive] : r.drives)
        factor = factor == 0 ? drive->timeFactor() : std::min(factor, drive->timeFactor());
    return factor > 1 ? std::max<useconds_t>(1000, useconds_t(us / factor)) : us;
}

// libburn polls a drive that is busy with a long command (START UNIT,
// CLOSE TRACK, SYNCHRONIZE CACHE, FORMAT UNIT, ...) every half second or
// second; on a thread that talks to emulated drives that interval runs on
// the drives' clock. libburn's shorter usleeps keep their length: some of
// them give its own threads time to settle.
useconds_t pollInterval(useconds_t us, const void *caller)
{
    Dl_info info;
    if (!drivesThread || us < 500000 || !dladdr(caller, &info) || !info.dli_fname
        || !std::strstr(info.dli_fname, "/libburn"))
        return us;
    return drivesClock(us);
}

// What reading the block device gives, as the kernel's sr driver reads a
// disc: READ CAPACITY sizes it, READ(10) fetches its 2048-byte blocks.
ssize_t blockRead(Drive *d, uint8_t *into, size_t count, off_t offset)
{
    constexpr unsigned block = 2048, perCommand = 32;
    const uint8_t readCapacity[10] = {0x25};
    uint8_t capacity[8] = {};
    if (d->execute(readCapacity, sizeof readCapacity, Direction::fromDrive, capacity, sizeof capacity).status) {
        errno = EIO;
        return -1;
    }
    const uint64_t end = (uint64_t(capacity[0]) << 24 | capacity[1] << 16 | capacity[2] << 8 | capacity[3]) * block + block;
    if (offset < 0 || uint64_t(offset) >= end)
        return 0;
    count = size_t(std::min<uint64_t>(count, end - uint64_t(offset)));
    std::vector<uint8_t> chunk(perCommand * block);
    size_t done = 0;
    while (done < count) {
        const uint64_t at = uint64_t(offset) + done;
        const uint32_t lba = uint32_t(at / block);
        const size_t skip = at % block;
        const unsigned blocks = unsigned(std::min<uint64_t>(perCommand, (skip + count - done + block - 1) / block));
        const uint8_t read10[10] = {0x28, 0, uint8_t(lba >> 24), uint8_t(lba >> 16), uint8_t(lba >> 8), uint8_t(lba), 0, 0,
                                    uint8_t(blocks), 0};
        if (d->execute(read10, sizeof read10, Direction::fromDrive, chunk.data(), blocks * block).status) {
            errno = EIO;
            return done > 0 ? ssize_t(done) : -1;
        }
        const size_t n = std::min(count - done, blocks * block - skip);
        std::memcpy(into + done, chunk.data() + skip, n);
        done += n;
    }
    return ssize_t(done);
}

Drive *byFd(int fd) { return fd >= 0 && fd < Registry::maxFd ? registry().byFd[fd].load() : nullptr; }

} // namespace

} // namespace mmc

using namespace mmc;

extern "C" {

__attribute__((visibility("default"))) int open(const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? mode_t(va_arg(args, int)) : 0;
    va_end(args);
    if (Drive *d = driveFor(path))
        return openDrive(d, flags);
    static const auto real = next<int (*)(const char *, int, ...)>("open");
    return real(path, flags, mode);
}

// On x86-64 the 64-bit names are the same calls.
static_assert(sizeof(off_t) == 8 && sizeof(struct stat64) == sizeof(struct stat), "the 64-bit names need 64-bit types");
__attribute__((visibility("default"))) int open64(const char *path, int flags, ...) __attribute__((alias("open")));

// What fortified callers reach for open (libburn among them).
__attribute__((visibility("default"))) int __open_2(const char *path, int flags)
{
    if (Drive *d = driveFor(path))
        return openDrive(d, flags);
    static const auto real = next<int (*)(const char *, int)>("__open_2");
    return real(path, flags);
}

__attribute__((visibility("default"))) int __open64_2(const char *path, int flags) __attribute__((alias("__open_2")));

__attribute__((visibility("default"))) int close(int fd)
{
    if (fd >= 0 && fd < Registry::maxFd)
        if (Drive *d = registry().byFd[fd].exchange(nullptr))
            d->closed();
    static const auto real = next<int (*)(int)>("close");
    return real(fd);
}

__attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void *arg = va_arg(args, void *);
    va_end(args);
    if (Drive *d = byFd(fd))
        return driveIoctl(d, request, arg);
    static const auto real = next<int (*)(int, unsigned long, ...)>("ioctl");
    return real(fd, request, arg);
}

// stat, lstat and stat64 of a device path; no program stats the descriptor.
#define TANDOR_STAT_BY_PATH(name, type)                                                                              \
    __attribute__((visibility("default"))) int name(const char *path, struct type *st)                               \
    {                                                                                                                \
        if (Drive *d = driveFor(path)) {                                                                             \
            fillStat(*d, reinterpret_cast<struct stat *>(st));                                                       \
            return 0;                                                                                                \
        }                                                                                                            \
        static const auto real = next<int (*)(const char *, struct type *)>(#name);                                  \
        return real(path, st);                                                                                       \
    }
TANDOR_STAT_BY_PATH(stat, stat)
TANDOR_STAT_BY_PATH(lstat, stat)
TANDOR_STAT_BY_PATH(stat64, stat64)

// The stat entry points of programs built against older C libraries
// (libburn among them); the version argument names the same layout on x86-64.
__attribute__((visibility("default"))) int __xstat(int, const char *path, struct stat *st) { return stat(path, st); }
__attribute__((visibility("default"))) int __lxstat(int, const char *path, struct stat *st) { return lstat(path, st); }

// The disc reader's and verifier's way into a disc.
__attribute__((visibility("default"))) ssize_t pread(int fd, void *into, size_t count, off_t offset)
{
    if (Drive *d = byFd(fd))
        return blockRead(d, static_cast<uint8_t *>(into), count, offset);
    static const auto real = next<ssize_t (*)(int, void *, size_t, off_t)>("pread");
    return real(fd, into, count, offset);
}

__attribute__((visibility("default"))) ssize_t pread64(int fd, void *into, size_t count, off_t offset)
    __attribute__((alias("pread")));

__attribute__((visibility("default"))) int usleep(useconds_t us)
{
    static const auto real = next<int (*)(useconds_t)>("usleep");
    return real(pollInterval(us, __builtin_return_address(0)));
}

// Whole seconds are waits on a drive: libburn's after it starts a blank,
// cdrskin's between looks at a blank's or a burn's progress.
__attribute__((visibility("default"))) unsigned sleep(unsigned seconds)
{
    static const auto real = next<unsigned (*)(unsigned)>("sleep");
    if (!drivesThread || seconds == 0)
        return real(seconds);
    static const auto realUsleep = next<int (*)(useconds_t)>("usleep");
    realUsleep(drivesClock(useconds_t(seconds) * 1000000));
    return 0;
}

} // extern "C"
