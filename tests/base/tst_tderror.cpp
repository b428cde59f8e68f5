#include "base/TDError.h"

#include <QTest>

#include <cerrno>
#include <cstring>

Q_DECLARE_METATYPE(TDError)

namespace {
QString sys(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}
} // namespace

class TstTDError : public QObject
{
    Q_OBJECT

private slots:
    void text_data()
    {
        QTest::addColumn<TDError>("error");
        QTest::addColumn<QString>("expected");

        QTest::newRow("missing file") << TDError::cantOpen(QStringLiteral("/media/disc.iso"), ENOENT)
                                      << QStringLiteral("Couldn't open /media/disc.iso (") + sys(ENOENT)
                                             + QStringLiteral(").");
        QTest::newRow("non-ASCII path") << TDError::cantOpen(QStringLiteral("/tmp/Größe ✓.iso"), EACCES)
                                        << QStringLiteral("Couldn't open /tmp/Größe ✓.iso (") + sys(EACCES)
                                               + QStringLiteral(").");
        QTest::newRow("read at start") << TDError::readFailed(QStringLiteral("/dev/sr0"), 0, EIO)
                                       << QStringLiteral("Read error in /dev/sr0 at 0 KB (") + sys(EIO)
                                              + QStringLiteral(").");
        QTest::newRow("read a few bytes in") << TDError::readFailed(QStringLiteral("a.iso"), 4, EIO)
                                             << QStringLiteral("Read error in a.iso at 1 KB (") + sys(EIO)
                                                    + QStringLiteral(").");
        QTest::newRow("read in MB") << TDError::readFailed(QStringLiteral("a.iso"), 1048586, EIO)
                                    << QStringLiteral("Read error in a.iso at 1 MB (") + sys(EIO)
                                           + QStringLiteral(").");
        // Offsets past 4 GiB must not wrap.
        QTest::newRow("read past 4 GiB") << TDError::readFailed(QStringLiteral("/dev/sr1"), 4380000000LL, EIO)
                                         << QStringLiteral("Read error in /dev/sr1 at 4.38 GB (") + sys(EIO)
                                                + QStringLiteral(").");
        QTest::newRow("write") << TDError::writeFailed(QStringLiteral("No space left on the disk."))
                               << QStringLiteral("Couldn't save the file: No space left on the disk.");
        QTest::newRow("tool") << TDError::tool(QStringLiteral("cdrdao ended with code 3."))
                              << QStringLiteral("cdrdao ended with code 3.");
        QTest::newRow("refused") << TDError::refused(QStringLiteral("The disc is full."))
                                 << QStringLiteral("The disc is full.");
        QTest::newRow("cancelled") << TDError::cancelled() << QStringLiteral("Stopped.");
    }

    void text()
    {
        QFETCH(TDError, error);
        QFETCH(QString, expected);
        QCOMPARE(error.text(), expected);
    }

    void equality_data()
    {
        QTest::addColumn<TDError>("a");
        QTest::addColumn<TDError>("b");
        QTest::addColumn<bool>("equal");

        const QString p = QStringLiteral("/x");
        QTest::newRow("same read error") << TDError::readFailed(p, 7, EIO) << TDError::readFailed(p, 7, EIO) << true;
        QTest::newRow("other offset") << TDError::readFailed(p, 7, EIO) << TDError::readFailed(p, 8, EIO) << false;
        QTest::newRow("other errno") << TDError::readFailed(p, 7, EIO) << TDError::readFailed(p, 7, EACCES) << false;
        QTest::newRow("other path") << TDError::cantOpen(p, ENOENT) << TDError::cantOpen(QStringLiteral("/y"), ENOENT)
                                    << false;
        QTest::newRow("open vs read at 0") << TDError::cantOpen(p, EIO) << TDError::readFailed(p, 0, EIO) << false;
        QTest::newRow("tool vs refused, same words")
            << TDError::tool(QStringLiteral("m")) << TDError::refused(QStringLiteral("m")) << false;
        QTest::newRow("cancelled") << TDError::cancelled() << TDError::cancelled() << true;
    }

    void equality()
    {
        QFETCH(TDError, a);
        QFETCH(TDError, b);
        QFETCH(bool, equal);
        QCOMPARE(a == b, equal);
        QCOMPARE(b == a, equal);
    }
};

QTEST_GUILESS_MAIN(TstTDError)
#include "tst_tderror.moc"
