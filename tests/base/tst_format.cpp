// Playing times and byte counts as every message writes them, and the
// error texts built from a path, an offset and an errno.

#include "base/Format.h"
#include "base/TDError.h"

#include <QTest>

#include <cerrno>
#include <cstring>

class TestFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void playingTime()
    {
        const struct { double seconds; QString text; } rows[] = {
            {0.0, "0:00"}, // zero
            {59.5, "1:00"}, // half rounds up
            {59.49, "0:59"}, // just under half
            {-3.0, "0:00"}, // negative
            {-0.5, "0:00"}, // negative half
            {187.0, "3:07"}, // padded seconds
            {3725.0, "62:05"}, // over an hour
            {qQNaN(), "0:00"}, // not a number
        };
        for (const auto &r : rows)
            QCOMPARE(fmt(r.seconds), r.text);
    }

    void byteCount()
    {
        const struct { qint64 count; QString text; } rows[] = {
            {0, "0 KB"}, // nothing
            {1, "1 KB"}, // one byte is not zero
            {999'499, "999 KB"}, // just under 1 MB
            {999'999, "1 MB"}, // rounds into MB
            {1'234'567, "1.2 MB"}, // one decimal
            {700'000'000, "700 MB"}, // trailing zero dropped
            {999'949'999, "999.9 MB"}, // just under 1 GB
            {999'960'000, "1 GB"}, // rounds into GB
            {4'380'000'000, "4.38 GB"}, // two decimals
            {4'400'000'000, "4.4 GB"}, // trailing zero dropped
        };
        for (const auto &r : rows)
            QCOMPARE(fmtBytes(r.count), r.text);
    }

    void errorText()
    {
        const auto sys = [](int err) { return QString::fromLocal8Bit(std::strerror(err)); };
        const struct { TDError error; QString expected; } rows[] = {
            {TDError::cantOpen("/tmp/Größe ✓.iso", EACCES), "Couldn't open /tmp/Größe ✓.iso (" + sys(EACCES) + ")."}, // non-ASCII path
            {TDError::readFailed("/dev/sr0", 0, EIO), "Read error in /dev/sr0 at 0 KB (" + sys(EIO) + ")."}, // read at start
            {TDError::readFailed("a.iso", 4, EIO), "Read error in a.iso at 1 KB (" + sys(EIO) + ")."}, // a few bytes in
            {TDError::readFailed("/dev/sr1", 4380000000LL, EIO), "Read error in /dev/sr1 at 4.38 GB (" + sys(EIO) + ")."}, // past 4 GiB: no wrap
            {TDError::writeFailed("No space left on the disk."), "Couldn't save the file: No space left on the disk."}, // write
        };
        for (const auto &r : rows)
            QCOMPARE(r.error.text(), r.expected);
    }
};

QTEST_GUILESS_MAIN(TestFormat)
#include "tst_format.moc"
