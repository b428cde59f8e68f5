// The checksum card: the sums of the chosen file (no other), saved as .sha256.

#include "ImageFixtures.h"
#include "TestEnv.h"
#include "app/ChecksumModel.h"
#include "queue/JobQueue.h"
#include <QSignalSpy>
#include <QTest>

class TstChecksumModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sumsOfTheChosenFileAreSaved()
    {
        TestEnv env;
        JobQueue queue;
        QStringList lines;
        ChecksumModel sums(&queue, [&](const QString &text, const QString &) { lines << text; }, nullptr);
        const QString image = env.path(QStringLiteral("image.iso"));
        QVERIFY(TestEnv::writePattern(image, 4096));
        sums.checksum(image);
        QTRY_VERIFY(sums.sums().has_value());
        QCOMPARE(sums.sums()->sha256, opensslSha256(image));
        QTRY_COMPARE(queue.jobs().first().detail, QStringLiteral("MD5 ") + sums.sums()->md5 + QStringLiteral(" · SHA-256 ") + sums.sums()->sha256);
        QCOMPARE(sums.saveName(), QStringLiteral("image.iso.sha256"));
        QSignalSpy saved(&sums, &ChecksumModel::saved);
        const QString target = env.path(QStringLiteral("image.iso.sha256"));
        sums.save(target);
        QTRY_COMPARE(saved.count(), 1);
        QVERIFY(saved.first().at(1).toBool());
        QCOMPARE(QString::fromUtf8(readFile(target)), Checksums::fileText(*sums.sums(), QStringLiteral("image.iso")));
        sums.save(env.path(QStringLiteral("no/such/folder/x.sha256")));
        QTRY_COMPARE(saved.count(), 2);
        QVERIFY(!saved.last().at(1).toBool());
        QVERIFY(lines.size() == 1 && lines.first().startsWith(QStringLiteral("Couldn't save: ")));
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
