// The checksum card: the sums of the chosen file, and no other.

#include "ImageFixtures.h"
#include "TestEnv.h"
#include "app/ChecksumModel.h"
#include "queue/JobQueue.h"
#include <QTest>

class TstChecksumModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sumsOfTheChosenFileOnly()
    {
        TestEnv env;
        JobQueue queue;
        ChecksumModel sums(&queue, [](const QString &, const QString &) {}, nullptr);
        const QString image = env.path(QStringLiteral("image.iso"));
        QVERIFY(TestEnv::writePattern(image, 4096));
        sums.checksum(image);
        QTRY_VERIFY(sums.sums().has_value());
        QCOMPARE(sums.sums()->sha256, opensslSha256(image));
        QTRY_COMPARE(queue.jobs().first().detail, QStringLiteral("MD5 ") + sums.sums()->md5 + QStringLiteral(" · SHA-256 ") + sums.sums()->sha256);
        QCOMPARE(sums.saveName(), QStringLiteral("image.iso.sha256"));
        // Another file drops the sums, and a late answer for the first file
        // is not taken as the second's.
        queue.setAutoStart(false);
        sums.checksum(env.path(QStringLiteral("other.bin")));
        QVERIFY(!sums.sums().has_value());
        Q_EMIT queue.checksumsComputed(image, Checksums::compute(image, {}, nullptr));
        QVERIFY(!sums.sums().has_value());
    }
};

QTEST_GUILESS_MAIN(TstChecksumModel)
#include "tst_checksummodel.moc"
