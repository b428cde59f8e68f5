#pragma once
// Audio files made for the tests by the ffmpeg command-line tool, into a
// folder of the test's own. Tests that need them QSKIP when ffmpeg is missing.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace AudioFixtures {

inline bool haveFfmpeg()
{
    return !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty();
}

// Runs `ffmpeg -y <args> <out>`; true when it made a non-empty file.
inline bool ffmpeg(const QStringList &args, const QString &out)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("ffmpeg"),
            QStringList{QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                        QStringLiteral("-y")}
                + args + QStringList{out});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning("ffmpeg failed for %s: %s", qPrintable(out), p.readAll().constData());
        return false;
    }
    return QFileInfo(out).size() > 0;
}

// `channels` generated tones of different pitch and level, so that the
// sides of a stereo file differ, as an `aevalsrc` source.
inline QStringList tones(int rate, double seconds, int channels, const QString &layout = {})
{
    QStringList exprs;
    for (int c = 0; c < channels; ++c)
        exprs << QStringLiteral("%1*sin(2*PI*%2*t)*(0.6+0.4*sin(2*PI*%3*t))")
                     .arg(0.5 - 0.05 * c)
                     .arg(330 + 110 * c)
                     .arg(0.7 + 0.3 * c);
    QString src = exprs.join(QLatin1Char('|')) + QStringLiteral(":s=%1:d=%2").arg(rate).arg(seconds);
    if (!layout.isEmpty())
        src += QStringLiteral(":c=") + layout;
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("aevalsrc=") + src};
}

// A file of `size` bytes cut from the start of `from`.
inline bool truncated(const QString &from, const QString &to, qint64 size)
{
    QFile in(from);
    QFile out(to);
    return in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly | QIODevice::Truncate)
           && out.write(in.read(size)) == size;
}

inline bool text(const QString &to, const QByteArray &content)
{
    QFile out(to);
    return out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(content) == content.size();
}

// The files in `dir`, names only.
inline QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace AudioFixtures
