#include "TestEnv.h"

#include "ImageBytes.h"

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <cmath>

TestEnv::TestEnv()
{
    for (const char *var : {"XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME",
                            "XDG_RUNTIME_DIR"}) {
        const QString dir = m_dir.filePath(QString::fromLatin1(var).toLower());
        QDir().mkpath(dir);
        qputenv(var, QFile::encodeName(dir));
    }
    // A session's runtime folder is private, as the program checks.
    QFile::setPermissions(m_dir.filePath(QStringLiteral("xdg_runtime_dir")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

std::unique_ptr<QSettings> TestEnv::settings(const QString &name) const
{
    return std::make_unique<QSettings>(m_dir.filePath(name + QStringLiteral(".ini")), QSettings::IniFormat);
}

// Opens `f` for writing from scratch, making its folder first.
static bool create(QFile &f)
{
    QDir().mkpath(QFileInfo(f.fileName()).path());
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

bool TestEnv::writePattern(const QString &file, qint64 size)
{
    const QByteArray data = patterned(size);
    QFile f(file);
    return create(f) && f.write(data) == data.size();
}

bool TestEnv::writeSparse(const QString &file, qint64 size)
{
    QFile f(file);
    return create(f) && f.resize(size);
}

// One 440 Hz sine writer for both containers: a WAV is little-endian, an AIFF
// big-endian; `holds` may cut the samples short of what the header gives.
static bool writeSine(const QString &file, bool aiff, double seconds, double holds, int rate, int channels)
{
    const quint32 frames = quint32(std::llround(seconds * rate));
    const quint32 dataBytes = frames * quint32(channels) * 2;
    QByteArray out;
    auto u32 = [&](quint32 v) { char b[4]; aiff ? qToBigEndian(v, b) : qToLittleEndian(v, b); out.append(b, 4); };
    auto u16 = [&](quint16 v) { char b[2]; aiff ? qToBigEndian(v, b) : qToLittleEndian(v, b); out.append(b, 2); };
    if (aiff) {
        out.append("FORM");
        u32(4 + 26 + 16 + dataBytes);
        out.append("AIFFCOMM");
        u32(18);
        u16(quint16(channels));
        u32(frames);
        u16(16);
        // The rate as an 80-bit extended float: exponent, then the mantissa with its leading 1.
        const int shift = int(std::floor(std::log2(rate)));
        u16(quint16(16383 + shift));
        u32(quint32(quint64(rate) << (31 - shift)));
        u32(0);
        out.append("SSND");
        u32(8 + dataBytes);
        u32(0);
        u32(0);
    } else {
        out.append("RIFF");
        u32(36 + dataBytes);
        out.append("WAVEfmt ");
        u32(16);
        u16(1);
        u16(quint16(channels));
        u32(quint32(rate));
        u32(quint32(rate * channels * 2));
        u16(quint16(channels * 2));
        u16(16);
        out.append("data");
        u32(dataBytes);
    }
    const auto held = quint32(std::llround(holds * rate));
    for (quint32 i = 0; i < held; ++i) {
        const auto v = qint16(std::lround(std::sin(2 * M_PI * 440.0 * i / rate) * 12000));
        for (int c = 0; c < channels; ++c)
            u16(quint16(v));
    }
    QFile f(file);
    return create(f) && f.write(out) == out.size();
}

bool TestEnv::writeWav(const QString &file, double seconds, int rate, int channels)
{
    return writeSine(file, false, seconds, seconds, rate, channels);
}

bool TestEnv::writeCutAiff(const QString &file, double seconds, double holds, int rate, int channels)
{
    return writeSine(file, true, seconds, holds, rate, channels);
}
