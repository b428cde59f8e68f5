// The interposer behind FaultInjection.h. Plain C calls only, no Qt: the same
// file is also built as a module that LD_PRELOAD puts into child processes.
//
// Our definitions must have the exact signatures of the C library's, so this
// file sees the headers without large-file renaming or fortify wrappers.
#undef _FORTIFY_SOURCE
#undef _FILE_OFFSET_BITS
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace {

enum Kind { diskFull = 0, denied = 1, readError = 2, vanish = 3, unlisted = 4 };

std::atomic<bool> g_armed {false};
std::mutex g_mutex; // guards everything below
int g_kind = diskFull;
// A plain array: a module's constructor arms it before any dynamic
// initialisation of this file could run.
char g_path[4096];
long long g_after = 0;
long long g_count = 0; // bytes written (or read) under g_path while armed
int g_strikes = 0;
int g_times = 0; // strikes after which the rule clears; 0: never
bool g_vanished = false;

// Our own file work (removing a folder, resolving a descriptor) passes through.
thread_local int t_inside = 0;

struct Inside
{
    Inside() { ++t_inside; }
    ~Inside() { --t_inside; }
};

// What a failed call returns: -1, or a null pointer for opendir().
template <class T>
T failure()
{
    if constexpr (std::is_pointer_v<T>)
        return nullptr;
    else
        return T(-1);
}

// The C library's `name`, as `real`; ENOSYS when there is none.
#define REAL(type, name)                                                                                             \
    static const auto real = reinterpret_cast<decltype(&::name)>(dlsym(RTLD_NEXT, #name));                        \
    if (!real)                                                                                                       \
        return errno = ENOSYS, failure<type>();

// Counts a failed call; a rule that strikes only so often then clears.
void strike()
{
    ++g_strikes;
    if (g_times > 0 && g_strikes >= g_times)
        g_armed.store(false, std::memory_order_release);
}

bool active() { return g_armed.load(std::memory_order_acquire) && t_inside == 0; }

bool under(const std::string &path, std::string_view root)
{
    if (root.empty() || path.compare(0, root.size(), root) != 0)
        return false;
    return path.size() == root.size() || path[root.size()] == '/';
}

std::string fdPath(int fd)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return {};
    std::string path(target, size_t(n));
    static const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
        path.resize(path.size() - deleted.size());
    return path;
}

std::string atPath(int dirfd, const char *path)
{
    if (!path)
        return {};
    if (path[0] == '/')
        return path;
    std::string base;
    if (dirfd == AT_FDCWD) {
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd))
            base = cwd;
    } else {
        base = fdPath(dirfd);
    }
    return base + '/' + path;
}

// With g_mutex held: whether the armed rule is of `kind` and covers `path`.
bool rule(int kind, const std::string &path) { return g_armed.load() && g_kind == kind && under(path, g_path); }

// Whether the armed rule is of `kind` and covers the file open on `fd`
// (resolved only for a rule of that kind: it costs a readlink).
bool fdRule(int kind, int fd)
{
    {
        std::lock_guard lock(g_mutex);
        if (g_kind != kind)
            return false;
    }
    const std::string path = fdPath(fd);
    std::lock_guard lock(g_mutex);
    return rule(kind, path);
}

bool writes(int flags)
{
    return (flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC)) || (flags & O_TMPFILE) == O_TMPFILE;
}

// A call on `path` that the armed rule of `kind` refuses, counted as a strike.
bool refusePath(int dirfd, const char *path, int kind = denied)
{
    if (!active())
        return false;
    Inside inside;
    const std::string where = atPath(dirfd, path);
    std::lock_guard lock(g_mutex);
    if (!rule(kind, where))
        return false;
    strike();
    return true;
}

bool refuseOpen(int dirfd, const char *path, int flags) { return writes(flags) && refusePath(dirfd, path); }

// With g_mutex held: as many of `want` bytes as the limit leaves, taken
// from the budget (give back what the real call didn't use), or -1 with
// `error` once it is reached.
long long grantUpTo(long long want, int error, bool &counted)
{
    const long long room = g_after - g_count;
    if (room <= 0) {
        strike();
        errno = error;
        return -1;
    }
    want = std::min(want, room);
    g_count += want;
    counted = true;
    return want;
}

long long takeWrite(int fd, long long want, bool &counted)
{
    counted = false;
    if (!active())
        return want;
    Inside inside;
    const bool full = fdRule(diskFull, fd);
    if (!full && !fdRule(vanish, fd))
        return want;
    std::string folder;
    {
        std::lock_guard lock(g_mutex);
        if (!g_armed.load())
            return want;
        if (full)
            return grantUpTo(want, ENOSPC, counted);
        if (!g_vanished && g_count + want > g_after) {
            g_vanished = true;
            strike();
            folder = std::string(g_path);
        }
        g_count += want;
    }
    if (!folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    return want;
}

long long takeRead(int fd, long long want, bool &counted)
{
    counted = false;
    if (!active())
        return want;
    Inside inside;
    if (!fdRule(readError, fd))
        return want;
    std::lock_guard lock(g_mutex);
    return grantUpTo(want, EIO, counted);
}

// Runs `call` on at most the granted bytes and gives back what it didn't use.
template <class Call>
ssize_t limited(long long granted, bool counted, size_t want, Call call)
{
    if (granted < 0)
        return -1;
    const ssize_t n = call(size_t(std::min<long long>(granted, (long long)want)));
    const long long unused = granted - (n > 0 ? n : 0);
    if (counted && unused > 0) {
        std::lock_guard lock(g_mutex);
        g_count -= unused;
    }
    return n;
}

// The first `limit` bytes of an iovec list.
std::vector<iovec> cut(const iovec *iov, int count, size_t limit)
{
    std::vector<iovec> out;
    for (int i = 0; i < count && limit > 0; ++i) {
        iovec piece = iov[i];
        piece.iov_len = std::min(piece.iov_len, limit);
        limit -= piece.iov_len;
        out.push_back(piece);
    }
    return out;
}

// Reserving room past the disk-full limit fails as the file system would.
bool reserveFails(int fd, long long length)
{
    if (!active())
        return false;
    Inside inside;
    if (!fdRule(diskFull, fd))
        return false;
    std::lock_guard lock(g_mutex);
    if (g_count + length <= g_after)
        return false;
    strike();
    return true;
}

} // namespace

extern "C" {

void tandor_fault_arm(int kind, const char *path, long long after, int times)
{
    std::lock_guard lock(g_mutex);
    g_kind = kind;
    size_t length = path ? std::min(std::strlen(path), sizeof g_path - 1) : 0;
    while (length > 1 && path[length - 1] == '/')
        --length;
    std::memcpy(g_path, path ? path : "", length);
    g_path[length] = 0;
    g_after = after;
    g_count = 0;
    g_strikes = 0;
    g_times = times;
    g_vanished = false;
    g_armed.store(true, std::memory_order_release);
}

void tandor_fault_disarm()
{
    std::lock_guard lock(g_mutex);
    g_armed.store(false, std::memory_order_release);
}

int tandor_fault_strikes()
{
    std::lock_guard lock(g_mutex);
    return g_strikes;
}

// The wrappers, one row each. A refused call fails with `error` when
// `refused`, else goes on to the C library.
#define REFUSED(type, name, params, refused, error, args)                                                            \
    type name params                                                                                                 \
    {                                                                                                                \
        REAL(type, name)                                                                                             \
        if (refused)                                                                                                 \
            return errno = error, failure<type>();                                                                   \
        return real args;                                                                                            \
    }

// open() and openat() take a mode only with O_CREAT or O_TMPFILE.
#define OPENER(name, params, dirfd, args)                                                                            \
    int name params                                                                                                  \
    {                                                                                                                \
        va_list va;                                                                                                  \
        va_start(va, flags);                                                                                         \
        const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(va, int)) : 0;    \
        va_end(va);                                                                                                  \
        REAL(int, name)                                                                                              \
        if (refuseOpen(dirfd, path, flags))                                                                          \
            return errno = EACCES, -1;                                                                               \
        return real args;                                                                                            \
    }

// A read or write cut short by the byte budget of the armed rule.
#define COUNTED(name, take, params, args)                                                                            \
    ssize_t name params                                                                                              \
    {                                                                                                                \
        REAL(ssize_t, name)                                                                                          \
        bool counted;                                                                                                \
        const long long granted = take(fd, (long long)size, counted);                                                \
        return limited(granted, counted, size, [&](size_t n) { return real args; });                                 \
    }

OPENER(open, (const char *path, int flags, ...), AT_FDCWD, (path, flags, mode))
OPENER(openat, (int dirfd, const char *path, int flags, ...), dirfd, (dirfd, path, flags, mode))
REFUSED(int, creat, (const char *path, mode_t mode), refuseOpen(AT_FDCWD, path, O_CREAT | O_WRONLY | O_TRUNC),
        EACCES, (path, mode))
// An existing folder is EEXIST, whatever the permissions.
REFUSED(int, mkdir, (const char *path, mode_t mode), ::access(path, F_OK) != 0 && refusePath(AT_FDCWD, path),
        EACCES, (path, mode))
// glibc opens the folder inside opendir(), where no open() of ours sees it.
REFUSED(DIR *, opendir, (const char *path), refusePath(AT_FDCWD, path, unlisted), EACCES, (path))
REFUSED(int, rename, (const char *from, const char *to), refusePath(AT_FDCWD, to) || refusePath(AT_FDCWD, from),
        EACCES, (from, to))
REFUSED(int, renameat, (int fromDir, const char *from, int toDir, const char *to),
        refusePath(toDir, to) || refusePath(fromDir, from), EACCES, (fromDir, from, toDir, to))
REFUSED(int, renameat2, (int fromDir, const char *from, int toDir, const char *to, unsigned int flags),
        refusePath(toDir, to) || refusePath(fromDir, from), EACCES, (fromDir, from, toDir, to, flags))
REFUSED(int, link, (const char *from, const char *to), refusePath(AT_FDCWD, to), EACCES, (from, to))
REFUSED(int, linkat, (int fromDir, const char *from, int toDir, const char *to, int flags), refusePath(toDir, to),
        EACCES, (fromDir, from, toDir, to, flags))
REFUSED(int, fallocate, (int fd, int mode, off_t offset, off_t length), reserveFails(fd, length), ENOSPC,
        (fd, mode, offset, length))
COUNTED(write, takeWrite, (int fd, const void *data, size_t size), (fd, data, n))
COUNTED(pwrite, takeWrite, (int fd, const void *data, size_t size, off_t offset), (fd, data, n, offset))
COUNTED(read, takeRead, (int fd, void *data, size_t size), (fd, data, n))
COUNTED(pread, takeRead, (int fd, void *data, size_t size, off_t offset), (fd, data, n, offset))

ssize_t writev(int fd, const iovec *iov, int count)
{
    REAL(ssize_t, writev)
    size_t size = 0;
    for (int i = 0; i < count; ++i)
        size += iov[i].iov_len;
    bool counted;
    const long long granted = takeWrite(fd, (long long)size, counted);
    return limited(granted, counted, size, [&](size_t n) {
        if (n == size)
            return real(fd, iov, count);
        const std::vector<iovec> part = cut(iov, count, n);
        return real(fd, part.data(), int(part.size()));
    });
}

// With a 64-bit off_t (x86-64) the large-file entry points are the same calls.
static_assert(sizeof(off_t) == 8, "the large-file aliases need a 64-bit off_t");
int open64(const char *, int, ...) __attribute__((alias("open")));
int openat64(int, const char *, int, ...) __attribute__((alias("openat")));
int creat64(const char *, mode_t) __attribute__((alias("creat")));
int fallocate64(int, int, off64_t, off64_t) __attribute__((alias("fallocate")));
ssize_t pwrite64(int, const void *, size_t, off64_t) __attribute__((alias("pwrite")));
ssize_t pread64(int, void *, size_t, off64_t) __attribute__((alias("pread")));

} // extern "C"

#ifdef TANDOR_FAULT_MODULE
// In a child process the rule comes from TANDOR_FAULT: "KIND:AFTER:TIMES:PATH".
__attribute__((constructor)) static void armFromEnvironment()
{
    const char *rule = std::getenv("TANDOR_FAULT");
    if (!rule)
        return;
    int kind = 0;
    long long after = 0;
    int times = 0;
    int used = 0;
    if (std::sscanf(rule, "%d:%lld:%d:%n", &kind, &after, &times, &used) == 3 && used > 0)
        tandor_fault_arm(kind, rule + used, after, times);
}
#endif
