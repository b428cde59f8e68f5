// The job objects on their own, for what the queue can't show reliably:
// a burn stopped while its image is still being looked at, and a worker job
// destroyed in the middle of its work.

#include "TestEnv.h"
#include "queue/BurnImageJob.h"
#include "queue/ChecksumJob.h"

#include <QElapsedTimer>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

class TstQueuedJob : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Stopped before the hand-over, a burn ends at once and the look at its
    // image, coming back later, must not end it a second time.
    void burnStoppedWhileItsImageIsLookedAtEndsOnce()
    {
        TestEnv env;
        const QString image = env.path(QStringLiteral("small.iso"));
        QVERIFY(TestEnv::writePattern(image, 2048 * 300));
        QThreadPool pool;
        pool.setMaxThreadCount(1);
        QSemaphore gate;
        pool.start([&gate] { gate.acquire(); }); // holds the look back

        // No deck: a look that went on regardless would end the job again,
        // as failed.
        BurnImageJob job(Jobs::BurnImage{image, 0, false, false, false}, nullptr, true, QStringLiteral("Burn"),
                         [] { return true; }, &pool);
        QSignalSpy finished(&job, &QueuedJob::finished);
        job.start();
        QCOMPARE(finished.count(), 0);
        job.cancel();
        QCOMPARE(finished.count(), 1);
        const auto outcome = finished.first().first().value<JobOutcome>();
        QVERIFY(outcome.cancelled && !outcome.ok);
        QCOMPARE(outcome.message, QStringLiteral("Stopped."));

        gate.release();
        pool.waitForDone();
        QTest::qWait(50);
        QCOMPARE(finished.count(), 1);
    }

    // Destroying a job whose work runs cancels the work, so whoever waits for
    // the pool does not wait for the whole file.
    void destroyingARunningWorkerJobStopsItsWork()
    {
        TestEnv env;
        const QString big = env.path(QStringLiteral("big.bin"));
        QVERIFY(TestEnv::writeSparse(big, 8LL * 1024 * 1024 * 1024));
        QThreadPool pool;
        auto job = std::make_unique<ChecksumJob>(big, &pool);
        QSignalSpy progressed(job.get(), &QueuedJob::progressed);
        job->start();
        QTRY_VERIFY(!progressed.isEmpty());
        job.reset();
        QElapsedTimer clock;
        clock.start();
        pool.waitForDone();
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TstQueuedJob)
#include "tst_queuedjob.moc"
