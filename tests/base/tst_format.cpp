// Playing times and byte counts as every message writes them.

#include "base/Format.h"

#include <QTest>

class TestFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void playingTime_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0:00";
        QTest::newRow("half rounds up") << 59.5 << "1:00";
        QTest::newRow("just under half") << 59.49 << "0:59";
        QTest::newRow("negative") << -3.0 << "0:00";
        QTest::newRow("negative half") << -0.5 << "0:00";
        QTest::newRow("padded seconds") << 187.0 << "3:07";
        QTest::newRow("over an hour") << 3725.0 << "62:05";
        QTest::newRow("95:12") << 5712.0 << "95:12";
        QTest::newRow("not a number") << qQNaN() << "0:00";
    }
    void playingTime()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(fmt(seconds), text);
    }

    void byteCount_data()
    {
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing") << qint64(0) << "0 KB";
        QTest::newRow("one byte is not zero") << qint64(1) << "1 KB";
        QTest::newRow("just under 1 MB") << qint64(999'499) << "999 KB";
        QTest::newRow("rounds into MB") << qint64(999'999) << "1 MB";
        QTest::newRow("one decimal") << qint64(1'234'567) << "1.2 MB";
        QTest::newRow("trailing zero dropped") << qint64(700'000'000) << "700 MB";
        QTest::newRow("CD") << qint64(737'280'000) << "737.3 MB";
        QTest::newRow("rounds into GB") << qint64(999'960'000) << "1 GB";
        QTest::newRow("DVD") << qint64(4'380'000'000) << "4.38 GB";
        QTest::newRow("one GB decimal") << qint64(4'400'000'000) << "4.4 GB";
        QTest::newRow("BD") << qint64(25'025'314'816) << "25.03 GB";
    }
    void byteCount()
    {
        QFETCH(qint64, count);
        QFETCH(QString, text);
        QCOMPARE(fmtBytes(count), text);
    }
};

QTEST_GUILESS_MAIN(TestFormat)
#include "tst_format.moc"
