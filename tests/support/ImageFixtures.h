#pragma once
// Small pieces the image and disc tests share.

#include "base/TDError.h"
#include "images/Mounter.h"
#include "platform/api/DiscInfo.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

// QCOMPARE prints a TDError as its text.
inline char *toString(const TDError &e) { return QTest::toString(e.text()); }

inline constexpr qint64 mib = 1048576;

// What `run` threw; a tool error saying so when it threw nothing.
template<typename F>
TDError thrown(F &&run)
{
    try {
        run();
    } catch (const TDError &e) {
        return e;
    }
    return TDError::tool(QStringLiteral("(nothing was thrown)"));
}

// What is under `dir` (of `kinds`, named like `names`), recursively and
// sorted, hidden ones included, symlinks not followed: to prove nothing was left.
inline QStringList leftovers(const QString &dir, QDir::Filters kinds = QDir::AllEntries, const QStringList &names = {})
{
    QStringList out;
    QDirIterator it(dir, names, kinds | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(dir).relativeFilePath(it.next());
    out.sort();
    return out;
}

// Writes `data` as the whole file, making its folder first.
inline bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

// The whole file, or "(unreadable)" so a comparison shows why it failed.
inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

// A data CD in drive sr7, as the system lists it.
inline DiscInfo dataCD(qint64 bytes, const QString &volume = QStringLiteral("PHOTOS"))
{
    DiscInfo d;
    d.bsdName = QStringLiteral("sr7");
    d.mediaKind = QStringLiteral("CD");
    d.mediaName = QStringLiteral("CD-R");
    d.bytes = bytes;
    d.volumeKind = QStringLiteral("iso9660");
    d.volumeName = volume;
    return d;
}

// Whether images can be made and mounted here the way the tests do it:
// FUSE with fuseiso and xorriso (udisks2, where its daemon runs, is another
// machine's path).
inline bool canMountWithFuse()
{
    return QFile::exists(QStringLiteral("/dev/fuse")) && !Mounter::udisksAnswers()
           && !QStandardPaths::findExecutable(QStringLiteral("fuseiso")).isEmpty()
           && !QStandardPaths::findExecutable(QStringLiteral("xorriso")).isEmpty();
}

// A SHA-256 by the openssl command line, as lower-case hex, so expected
// values don't come from the code under test.
inline QString opensslSha256(const QString &file)
{
    QProcess p;
    p.start(QStringLiteral("openssl"), {QStringLiteral("dgst"), QStringLiteral("-sha256"), QStringLiteral("-r"), file});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QStringLiteral("openssl failed");
    return QString::fromLatin1(p.readAllStandardOutput()).section(QLatin1Char(' '), 0, 0);
}
