#include "TestEnv.h"
#include "audio/CDAudioProducer.h"

#include <QFile>
#include <QTest>

namespace {

constexpr quint32 block = 2352;

// A prepared file of `size` bytes whose byte at offset i is (i * 7 + 3) % 251 + 1,
// never zero, so padding shows.
QByteArray pattern(qint64 size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        b[i] = char((i * 7 + 3) % 251 + 1);
    return b;
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

class TstCDAudioProducer : public QObject
{
    Q_OBJECT

    TestEnv env;
    QString file(const QString &name) const { return env.path(name); }

private slots:
    void frames_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<quint64>("frames");
        QTest::newRow("empty") << qint64(0) << quint64(0);
        QTest::newRow("one byte") << qint64(1) << quint64(1);
        QTest::newRow("one block") << qint64(block) << quint64(1);
        QTest::newRow("one byte over") << qint64(block + 1) << quint64(2);
        QTest::newRow("two blocks") << qint64(2 * block) << quint64(2);
        QTest::newRow("a second of CD audio") << qint64(176400) << quint64(75);
    }

    void frames()
    {
        QFETCH(qint64, size);
        QFETCH(quint64, frames);
        QVERIFY(write(file("f.cdda"), pattern(size)));
        CDAudioProducer p(file("f.cdda"));
        QCOMPARE(p.byteLength(), quint64(size));
        QCOMPARE(p.frames(), frames);
        QCOMPARE(p.estimateLength(), frames);
    }

    void missingFile()
    {
        CDAudioProducer p(file("never-made.cdda"));
        QCOMPARE(p.byteLength(), quint64(0));
        QCOMPARE(p.frames(), quint64(0));
        QVERIFY(!p.prepareTrack());
        QVERIFY(!p.prepareTrackForVerification());
        QVERIFY(p.cleanupTrackAfterVerification());
    }

    void produce_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<quint64>("address");
        QTest::addColumn<quint32>("length");
        QTest::addColumn<quint32>("blockSize");
        QTest::addColumn<qint64>("audioBytes"); // bytes of the file expected at the start, zeros after
        QTest::newRow("first block") << qint64(3 * block) << quint64(0) << block << block << qint64(block);
        QTest::newRow("middle, several blocks") << qint64(5 * block) << quint64(1) << 3 * block << block
                                                << qint64(3 * block);
        QTest::newRow("partial last block is padded") << qint64(block + 1) << quint64(1) << block << block
                                                      << qint64(1);
        QTest::newRow("read running over the end") << qint64(2 * block + 100) << quint64(1) << 2 * block << block
                                                   << qint64(block + 100);
        QTest::newRow("past the end is silence") << qint64(block) << quint64(1) << block << block << qint64(0);
        QTest::newRow("far past the end") << qint64(block) << quint64(1000000) << block << block << qint64(0);
        QTest::newRow("address beyond 64-bit offsets") << qint64(block) << quint64(UINT64_MAX / 2) << 64u << block
                                                       << qint64(0);
        QTest::newRow("its own block size") << qint64(4096) << quint64(2) << 2048u << 1024u << qint64(2048);
        QTest::newRow("empty file") << qint64(0) << quint64(0) << block << block << qint64(0);
    }

    void produce()
    {
        QFETCH(qint64, size);
        QFETCH(quint64, address);
        QFETCH(quint32, length);
        QFETCH(quint32, blockSize);
        QFETCH(qint64, audioBytes);
        const QByteArray content = pattern(size);
        QVERIFY(write(file("p.cdda"), content));
        CDAudioProducer p(file("p.cdda"));
        QVERIFY(p.prepareTrack());

        QByteArray buffer(length, char(0x55)); // stale bytes that must not survive
        QCOMPARE(p.produceData(buffer.data(), length, address, blockSize), length);
        const qint64 offset = audioBytes > 0 ? qint64(address * blockSize) : 0;
        QCOMPARE(buffer.left(audioBytes), content.mid(offset, audioBytes));
        QCOMPARE(buffer.mid(audioBytes), QByteArray(length - audioBytes, '\0'));

        // The disc holding exactly these bytes verifies; one changed byte doesn't.
        QVERIFY(p.verifyData(buffer.constData(), length, address, blockSize));
        buffer[length - 1] = char(buffer[length - 1] ^ 1);
        QVERIFY(!p.verifyData(buffer.constData(), length, address, blockSize));
    }

    void preGapIsSilence()
    {
        QVERIFY(write(file("g.cdda"), pattern(block)));
        CDAudioProducer p(file("g.cdda"));
        QVERIFY(p.prepareTrack());
        QByteArray buffer(4 * block, char(0x7f));
        QCOMPARE(p.producePreGap(buffer.data(), 4 * block, 0, block), 4 * block);
        QCOMPARE(buffer, QByteArray(4 * block, '\0'));
        QVERIFY(p.verifyPreGap(pattern(block).constData(), block, 0, block));
    }

    void withoutHandle()
    {
        // Before prepareTrack and after the cleanup the producer gives silence.
        QVERIFY(write(file("h.cdda"), pattern(block)));
        CDAudioProducer p(file("h.cdda"));
        QByteArray buffer(block, char(1));
        QCOMPARE(p.produceData(buffer.data(), block, 0, block), block);
        QCOMPARE(buffer, QByteArray(block, '\0'));
        QVERIFY(p.verifyData(QByteArray(block, '\0').constData(), block, 0, block));
        QVERIFY(!p.verifyData(pattern(block).constData(), block, 0, block));
    }

    void burnThenVerify()
    {
        const QByteArray content = pattern(3 * block + 10);
        QVERIFY(write(file("v.cdda"), content));
        CDAudioProducer p(file("v.cdda"));
        QVERIFY(p.prepareTrack());
        QVERIFY(p.prepareTrack()); // again: replaces the handle
        QByteArray disc;
        for (quint64 a = 0; a < p.frames(); ++a) {
            QByteArray b(block, Qt::Uninitialized);
            QCOMPARE(p.produceData(b.data(), block, a, block), block);
            disc += b;
        }
        p.cleanupTrackAfterBurn();
        // The handle stays open for verification, even with the file gone.
        QVERIFY(QFile::remove(file("v.cdda")));
        QVERIFY(p.prepareTrackForVerification());
        for (quint64 a = 0; a < p.frames(); ++a)
            QVERIFY(p.verifyData(disc.constData() + a * block, block, a, block));
        // A block past the end verifies only as zeros.
        QVERIFY(p.verifyData(QByteArray(block, '\0').constData(), block, p.frames(), block));
        QVERIFY(!p.verifyData(disc.constData(), block, p.frames(), block));
        QVERIFY(p.cleanupTrackAfterVerification());
        QVERIFY(p.cleanupTrackAfterVerification());
        // Closed and the file gone: nothing left to verify against.
        QVERIFY(!p.prepareTrackForVerification());
        QCOMPARE(disc.left(content.size()), content);
    }

    void preGapFrames_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<double>("gap");
        QTest::addColumn<quint32>("frames");
        QTest::newRow("first track is always 2 s") << 0 << 5.0 << 150u;
        QTest::newRow("first track with no gap") << 0 << 0.0 << 150u;
        QTest::newRow("later track, 2 s") << 1 << 2.0 << 150u;
        QTest::newRow("later track, no gap") << 3 << 0.0 << 0u;
        QTest::newRow("later track, 5 s") << 2 << 5.0 << 375u;
        QTest::newRow("fractions truncate") << 1 << 1.999 << 149u;
        QTest::newRow("negative is no gap") << 1 << -2.0 << 0u;
    }

    void preGapFrames()
    {
        QFETCH(int, index);
        QFETCH(double, gap);
        QFETCH(quint32, frames);
        QCOMPARE(CDAudioProducer::preGapFrames(index, gap), frames);
    }
};

QTEST_GUILESS_MAIN(TstCDAudioProducer)
#include "tst_cdaudioproducer.moc"
