#pragma once
// What the targets share: a private folder for the files a target hands to
// the code under test, in /dev/shm when there is one so that runs cost no
// disk I/O (made once per process and removed when it exits normally), and
// the stop when the code breaks a promise.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>

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

// What a reader of text files would make of the bytes: UTF-8 when they are
// that, Latin-1 otherwise.
QString text(const QByteArray &bytes);

} // namespace Fuzz
