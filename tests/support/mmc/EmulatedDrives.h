#pragma once
// Emulated burners for a test: each gets a state folder of its own, and
// TANDOR_EMULATED_DRIVES names them all before anything opens a device, in
// this process and in the programs it starts with run().

#include "MmcDrive.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

class EmulatedDrives
{
public:
    // `media` one per drive ("CD-R", "DVD+RW written", "none", ...), named /dev/sr50,
    // /dev/sr51, ...; `timeFactor` makes recording, and the waits of the programs
    // driving the drives, that much faster than real time.
    explicit EmulatedDrives(const QStringList &media, double timeFactor = 400)
    {
        QStringList entries;
        for (int i = 0; i < media.size(); ++i) {
            const QString folder = m_dir.filePath(QStringLiteral("drive%1").arg(i));
            QDir().mkpath(folder);
            QString medium = media[i];
            QFile conf(folder + QStringLiteral("/drive.conf"));
            if (conf.open(QIODevice::WriteOnly))
                conf.write("time_factor=" + QByteArray::number(timeFactor) + '\n');
            // "CD-RW written": a closed disc with one data track of 300 sectors of 0xff.
            if (medium.endsWith(QLatin1String(" written"))) {
                medium.chop(8);
                QFile disc(folder + QStringLiteral("/disc.txt"));
                if (disc.open(QIODevice::WriteOnly))
                    disc.write("medium " + medium.toLatin1() + "\nstatus 2\nformatted 1\nsession 1 300\ntrack 1 1 0 0 300 4 data -\n");
                QFile sectors(folder + QStringLiteral("/sectors.bin"));
                const int slot = medium.startsWith(QLatin1String("CD")) ? 2352 : 2048;
                if (sectors.open(QIODevice::WriteOnly))
                    sectors.write(QByteArray(450 * slot, '\xff'));
                medium = QStringLiteral("disc");
            }
            m_devices.append(device(i));
            entries.append(device(i) + QLatin1Char('=') + medium + QLatin1Char('@') + folder);
        }
        m_entries = entries.join(QLatin1Char(';'));
        qputenv("TANDOR_EMULATED_DRIVES", m_entries.toLocal8Bit());
        // Made now, each drive puts its disc in its folder for other programs too.
        for (const QString &d : std::as_const(m_devices))
            mmc::driveFor(d.toLocal8Bit().constData());
    }
    ~EmulatedDrives() { qunsetenv("TANDOR_EMULATED_DRIVES"); }

    static QString device(int i) { return QStringLiteral("/dev/sr%1").arg(50 + i); }
    // Every drive's device path, the hardware service's extra addresses.
    QStringList devices() const { return m_devices; }
    QString folder(int i) const { return m_dir.filePath(QStringLiteral("drive%1").arg(i)); }
    mmc::Drive &operator[](int i) const { return *mmc::driveFor(device(i).toLocal8Bit().constData()); }

    // The recordings the drive made, one line each (see MmcDrive.h).
    QStringList writes(int i) const { return readLines(folder(i) + QStringLiteral("/writes.log")); }

    // The disc's tracks as the drive keeps them (see MmcDrive.h).
    struct Track
    {
        int pregap = 0, start = 0, end = 0;
        bool audio = false;
    };
    QList<Track> tracks(int i) const
    {
        QList<Track> found;
        for (const QString &line : disc(i)) {
            const QStringList w = line.split(QLatin1Char(' '));
            if (w.value(0) == QLatin1String("track") && w.size() >= 8)
                found.append({w[3].toInt(), w[4].toInt(), w[5].toInt(), w[7] == QLatin1String("audio")});
        }
        return found;
    }
    QStringList disc(int i) const { return readLines(folder(i) + QStringLiteral("/disc.txt")); }
    bool hasCdText(int i) const { return QFile::exists(folder(i) + QStringLiteral("/cdtext.bin")); }

    // What `count` sectors from `lba` on hold: 2352 bytes each when audio,
    // the 2048 user bytes of a data sector otherwise.
    QByteArray sectors(int i, int lba, int count) const
    {
        const int slot = disc(i).value(0).startsWith(QLatin1String("medium CD")) ? 2352 : 2048;
        QByteArray out;
        QFile file(folder(i) + QStringLiteral("/sectors.bin"));
        if (!file.open(QIODevice::ReadOnly))
            return out;
        for (const Track &t : tracks(i))
            if (lba >= t.pregap && lba < t.end)
                for (int s = 0; s < count && file.seek(qint64(lba + 150 + s) * slot); ++s)
                    out += file.read(slot).left(t.audio ? 2352 : 2048);
        return out;
    }

    // Runs `program` in `folder`, seeing the same drives holding what they
    // hold now: its exit code (-1: crashed or hung) and its output.
    struct Ran
    {
        int code = -1;
        QString output;
    };
    Ran run(const QString &program, const QStringList &args, const QString &folder) const
    {
        QProcess p;
        p.setProcessEnvironment(childEnvironment());
        p.setWorkingDirectory(folder);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        if (!p.waitForFinished(60000))
            return {};
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLatin1(p.readAll())};
    }

private:
    QProcessEnvironment childEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(TANDOR_MMC_PRELOAD));
        // Every drive keeps the disc it holds now.
        const QString kept = QString(m_entries).replace(QRegularExpression(QStringLiteral("=[^@;]*@")), QStringLiteral("=disc@"));
        env.insert(QStringLiteral("TANDOR_EMULATED_DRIVES"), kept);
        return env;
    }
    static QStringList readLines(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                                              : QStringList{};
    }

    QTemporaryDir m_dir;
    QString m_entries;
    QStringList m_devices;
};
