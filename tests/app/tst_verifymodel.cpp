// The verify card: its refusal, its job, and the result, cleared by the next.

#include "ImageFixtures.h"
#include "TestEnv.h"
#include "app/VerifyModel.h"
#include "queue/JobQueue.h"
#include <QFile>
#include <QTest>

class TstVerifyModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void verifiesAndKeepsTheLastResult()
    {
        TestEnv env;
        JobQueue queue;
        QStringList lines;
        VerifyModel verify(&queue, [&](const QString &text, const QString &) { lines << text; }, nullptr);
        const QString image = env.path(QStringLiteral("a.iso"));
        verify.setImage(image);
        verify.verify();
        QCOMPARE(lines, QStringList{QStringLiteral("Choose the image and what to check it against.")});
        QVERIFY(queue.jobs().isEmpty());
        QVERIFY(TestEnv::writePattern(image, 2048 * 16) && QFile::copy(image, env.path(QStringLiteral("b.iso"))));
        verify.setAgainst(env.path(QStringLiteral("b.iso")));
        verify.verify();
        QCOMPARE(queue.jobs().first().title, QStringLiteral("Verify a.iso against b.iso"));
        QTRY_VERIFY(verify.result().has_value());
        QVERIFY(verify.result()->match);
        // A difference fails the job, which says what the card shows.
        QVERIFY(writeFile(env.path(QStringLiteral("c.iso")), QByteArray(2048 * 16, 'x')));
        verify.setAgainst(env.path(QStringLiteral("c.iso")));
        verify.verify();
        QTRY_COMPARE(queue.jobs().last().state, JobState::failed);
        QVERIFY(verify.result() && !verify.result()->match);
        QCOMPARE(queue.jobs().last().detail, verify.result()->summary());
        queue.setAutoStart(false);
        verify.verify();
        QVERIFY(!verify.result().has_value());
    }
};

QTEST_GUILESS_MAIN(TstVerifyModel)
#include "tst_verifymodel.moc"
