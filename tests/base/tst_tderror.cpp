#include "base/TDError.h"

#include <QTest>

#include <cerrno>
#include <cstring>

Q_DECLARE_METATYPE(TDError)

class TstTDError : public QObject
{
    Q_OBJECT

private slots:
    // The texts built from a path, an offset and an errno.
    void text_data()
    {
        QTest::addColumn<TDError>("error");
        QTest::addColumn<QString>("expected");
        const auto sys = [](int err) { return QString::fromLocal8Bit(std::strerror(err)); };
        QTest::newRow("non-ASCII path") << TDError::cantOpen(QStringLiteral("/tmp/Größe ✓.iso"), EACCES) << QStringLiteral("Couldn't open /tmp/Größe ✓.iso (") + sys(EACCES) + ").";
        QTest::newRow("read at start") << TDError::readFailed(QStringLiteral("/dev/sr0"), 0, EIO) << QStringLiteral("Read error in /dev/sr0 at 0 KB (") + sys(EIO) + ").";
        QTest::newRow("read a few bytes in") << TDError::readFailed(QStringLiteral("a.iso"), 4, EIO) << QStringLiteral("Read error in a.iso at 1 KB (") + sys(EIO) + ").";
        // Offsets past 4 GiB must not wrap.
        QTest::newRow("read past 4 GiB") << TDError::readFailed(QStringLiteral("/dev/sr1"), 4380000000LL, EIO) << QStringLiteral("Read error in /dev/sr1 at 4.38 GB (") + sys(EIO) + ").";
        QTest::newRow("write") << TDError::writeFailed(QStringLiteral("No space left on the disk.")) << QStringLiteral("Couldn't save the file: No space left on the disk.");
    }

    void text()
    {
        QFETCH(TDError, error);
        QFETCH(QString, expected);
        QCOMPARE(error.text(), expected);
    }
};

QTEST_GUILESS_MAIN(TstTDError)
#include "tst_tderror.moc"
