#include "TestEnv.h"

#include <QDir>
#include <QFile>

TestEnv::TestEnv()
{
    for (const char *var : {"XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME",
                            "XDG_RUNTIME_DIR"}) {
        const QString dir = m_dir.filePath(QString::fromLatin1(var).toLower());
        QDir().mkpath(dir);
        qputenv(var, QFile::encodeName(dir));
    }
}

std::unique_ptr<QSettings> TestEnv::settings(const QString &name) const
{
    return std::make_unique<QSettings>(m_dir.filePath(name + QStringLiteral(".ini")), QSettings::IniFormat);
}

bool TestEnv::writePattern(const QString &file, qint64 size)
{
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray block(1 << 16, Qt::Uninitialized);
    for (qint64 done = 0; done < size;) {
        for (int i = 0; i < block.size(); ++i)
            block[i] = char(((done + i) * 131 + ((done + i) >> 12)) & 0xff);
        const qint64 n = std::min<qint64>(block.size(), size - done);
        if (f.write(block.constData(), n) != n)
            return false;
        done += n;
    }
    return true;
}
