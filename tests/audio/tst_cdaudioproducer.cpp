#include "ImageFixtures.h"
#include "TestEnv.h"
#include "audio/CDAudioProducer.h"

#include <QFile>
#include <QTest>

namespace {

constexpr quint32 block = 2352;

// Bytes that are never zero, so padding shows.
QByteArray pattern(qint64 size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        b[i] = char((i * 7 + 3) % 251 + 1);
    return b;
}

} // namespace

class TstCDAudioProducer : public QObject
{
    Q_OBJECT

    TestEnv env;

    QString write(const QByteArray &bytes)
    {
        const QString path = env.path(QStringLiteral("track.cdda"));
        return writeFile(path, bytes) ? path : QString();
    }

private slots:
    void produce()
    {
        // audioBytes: file bytes expected at the start of the buffer; zeros after
        const struct { qint64 size; quint64 frames; quint64 address; quint32 length; quint32 blockSize; qint64 audioBytes; } rows[] = {
            {qint64(3 * block), quint64(3), quint64(0), block, block, qint64(block)}, // first block
            {qint64(5 * block), quint64(5), quint64(1), 3 * block, block, qint64(3 * block)}, // several blocks at once
            {qint64(block + 1), quint64(2), quint64(1), block, block, qint64(1)}, // 2353 bytes: the second block is 1 byte and zeros
            {qint64(2 * block + 100), quint64(3), quint64(1), 2 * block, block, qint64(block + 100)}, // read running over the end
            {qint64(block), quint64(1), quint64(1000000), block, block, qint64(0)}, // past the end is silence
            {qint64(block), quint64(1), quint64(UINT64_MAX / 2), 64u, block, qint64(0)}, // offset beyond 64 bits
            {qint64(4096), quint64(2), quint64(2), 2048u, 1024u, qint64(2048)}, // the block size given is used
            {qint64(0), quint64(0), quint64(0), block, block, qint64(0)}, // empty file, 0 blocks
        };
        for (auto [size, frames, address, length, blockSize, audioBytes] : rows) {
            const QByteArray content = pattern(size);
            CDAudioProducer p(write(content));
            QCOMPARE(p.byteLength(), quint64(size));
            QCOMPARE(p.estimateLength(), frames);
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
    }

    void burnThenVerify()
    {
        const QByteArray content = pattern(3 * block + 10);
        CDAudioProducer p(write(content));
        QByteArray buffer(block, char(1));
        // Before prepareTrack there is nothing to read: silence.
        p.produceData(buffer.data(), block, 0, block);
        QCOMPARE(buffer, QByteArray(block, '\0'));
        QVERIFY(p.prepareTrack());
        QVERIFY(p.prepareTrack()); // again: replaces the handle

        QByteArray gap(4 * block, char(0x7f));
        QCOMPARE(p.producePreGap(gap.data(), 4 * block, 0, block), 4 * block);
        QCOMPARE(gap, QByteArray(4 * block, '\0'));
        QVERIFY(p.verifyPreGap(content.constData(), block, 0, block));

        QByteArray disc;
        for (quint64 a = 0; a < p.frames(); ++a) {
            p.produceData(buffer.data(), block, a, block);
            disc += buffer;
        }
        QCOMPARE(disc.left(content.size()), content);
        p.cleanupTrackAfterBurn();
        // The handle stays open for verification, even with the file gone.
        QVERIFY(QFile::remove(p.path()));
        QVERIFY(p.prepareTrackForVerification());
        for (quint64 a = 0; a < p.frames(); ++a)
            QVERIFY(p.verifyData(disc.constData() + a * block, block, a, block));
        QCOMPARE(p.bytesCompared(), p.frames() * block);
        QVERIFY(!p.firstDifference());
        // A block past the end verifies only as zeros.
        QVERIFY(p.verifyData(QByteArray(block, '\0').constData(), block, p.frames(), block));
        QVERIFY(!p.verifyData(disc.constData() + 5, block, p.frames() + 1, block));
        QVERIFY(!p.verifyData(disc.constData(), block, p.frames(), block));
        // The earliest difference counts, whatever order the blocks came in.
        QCOMPARE(p.firstDifference(), std::optional<quint64>(p.frames() * block));
        QCOMPARE(p.bytesCompared(), (p.frames() + 3) * block);
        QVERIFY(p.cleanupTrackAfterVerification());
        QVERIFY(p.cleanupTrackAfterVerification());
        // Closed and the file gone: nothing to open any more, and a new pass
        // starts from nothing.
        QVERIFY(!p.prepareTrackForVerification());
        QCOMPARE(p.bytesCompared(), quint64(0));
        QVERIFY(!p.firstDifference());
        QVERIFY(!p.prepareTrack());
        QCOMPARE(CDAudioProducer(p.path()).frames(), quint64(0));
    }

    void preGapFrames()
    {
        const struct { int index; double gap; quint32 frames; } rows[] = {
            {0, 5.0, 150}, // the first track always has 2 s
            {3, 0.0, 0},
            {2, 5.0, 375},
            {1, 1.999, 149}, // fractions truncate
            {1, -2.0, 0}, // negative is no gap
        };
        for (const auto &r : rows)
            QCOMPARE(CDAudioProducer::preGapFrames(r.index, r.gap), r.frames);
    }
};

QTEST_GUILESS_MAIN(TstCDAudioProducer)
#include "tst_cdaudioproducer.moc"
