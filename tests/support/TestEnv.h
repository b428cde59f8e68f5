#pragma once
// Gives a test process a private home: the XDG state, cache, data and config
// folders point into a temporary folder that is removed afterwards, so no test
// reads or writes the user's real log, caches or settings.

#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <memory>

class TestEnv
{
public:
    TestEnv();
    QString root() const { return m_dir.path(); }
    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    // A settings store backed by an INI file of its own (empty at first).
    std::unique_ptr<QSettings> settings(const QString &name = QStringLiteral("settings")) const;
    // The writers below make the file's folder first. Writes `size` bytes of
    // ImageBytes.h's patterned().
    static bool writePattern(const QString &file, qint64 size);
    // A file of `size` bytes that takes no disk space: quick to make, and slow
    // enough to read through that a cancel lands meanwhile.
    static bool writeSparse(const QString &file, qint64 size);
    // A 16-bit PCM WAV file holding a 440 Hz sine.
    static bool writeWav(const QString &file, double seconds, int rate = 44100, int channels = 2);
    // A 16-bit AIFF file of the same sine, cut short: its header gives
    // `seconds` but it holds only `holds`. Decoders take an AIFF header at
    // its word (they check a WAV's against the file's size).
    static bool writeCutAiff(const QString &file, double seconds, double holds, int rate = 44100, int channels = 2);

private:
    QTemporaryDir m_dir;
};
