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
    // Writes `size` bytes of a repeating, position-dependent pattern.
    static bool writePattern(const QString &file, qint64 size);
    // A 16-bit PCM WAV file holding a 440 Hz sine.
    static bool writeWav(const QString &file, double seconds, int rate = 44100, int channels = 2);

private:
    QTemporaryDir m_dir;
};
