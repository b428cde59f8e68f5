#pragma once
// The inputs of the tests are the fuzz targets' seed corpora: fuzz/run sets
// TANDOR_FUZZ_SEEDS to a folder and the tests write what they read into
// <folder>/<target>/. Without the variable nothing is written.

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QString>

inline void keepFuzzSeed(const QString &target, const QByteArray &bytes)
{
    const QString root = qEnvironmentVariable("TANDOR_FUZZ_SEEDS");
    if (root.isEmpty())
        return;
    const QDir folder(QDir(root).filePath(target));
    if (!folder.mkpath(QStringLiteral(".")))
        return;
    // Named by content, as libFuzzer names its own: the same input once.
    const QString name = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
    QFile f(folder.filePath(name));
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}
