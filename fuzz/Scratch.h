#pragma once
// What the targets share: a private folder for the files a target hands to
// the code under test, in /dev/shm when there is one so that runs cost no
// disk I/O (made once per process and removed when it exits normally), and
// the stop when the code breaks a promise.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

[[noreturn]] inline void broken(const char *what)
{
    fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
}

namespace Fuzz {

inline const QString &scratch()
{
    static const QString folder = [] {
        QByteArray pattern = QDir(QStringLiteral("/dev/shm")).exists() ? "/dev/shm/tandor-fuzz-XXXXXX"
                                                                      : "/tmp/tandor-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            std::abort();
        static const QString made = QString::fromLocal8Bit(pattern);
        std::atexit([] { QDir(made).removeRecursively(); });
        return made;
    }();
    return folder;
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        std::abort();
}

// A file in memory, reached by path through /proc/self/fd, so that each run
// costs no disk I/O while the code under test sees an ordinary regular file.
class MemFile
{
public:
    explicit MemFile(const char *name)
        : m_fd(::memfd_create(name, MFD_CLOEXEC)), m_path(QStringLiteral("/proc/self/fd/%1").arg(m_fd))
    {
        if (m_fd < 0)
            std::abort();
    }
    const QString &path() const { return m_path; }
    // The file now holds exactly `data`.
    const QString &hold(const uint8_t *data, size_t size) const
    {
        if (::ftruncate(m_fd, 0) != 0 || ::pwrite(m_fd, data, size, 0) != ssize_t(size))
            std::abort();
        return m_path;
    }

private:
    int m_fd;
    QString m_path;
};

// What a reader of text files would make of the bytes: UTF-8 when they are
// that, Latin-1 otherwise.
QString text(const QByteArray &bytes);

} // namespace Fuzz
