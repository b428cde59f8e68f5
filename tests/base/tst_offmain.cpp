#include <QSemaphore>
#include "base/OffMain.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <memory>

class tst_OffMain : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void resultArrivesOnMainThreadLater()
    {
        QObject context;
        QThread *workThread = nullptr;
        QThread *doneThread = nullptr;
        int result = 0;
        offMain(
            &context,
            [&workThread] {
                workThread = QThread::currentThread();
                return 42;
            },
            [&](int r) {
                doneThread = QThread::currentThread();
                result = r;
            });
        // Never inside the call, even when the worker is quick.
        QCOMPARE(result, 0);
        QTRY_COMPARE(result, 42);
        QVERIFY(workThread != QThread::currentThread());
        QCOMPARE(doneThread, QThread::currentThread());
    }

    // Work without a result, and a result that can only be moved.
    void voidAndMoveOnlyResults()
    {
        QObject context;
        bool ran = false, done = false;
        int got = 0;
        offMain(&context, [&ran] { ran = true; }, [&] { done = ran; });
        offMain(&context, [] { return std::make_unique<int>(7); }, [&got](std::unique_ptr<int> p) { got = *p; });
        QTRY_VERIFY(done && got == 7);
    }

    void goneContextDropsDone()
    {
        QThreadPool pool;
        bool called = false;
        {
            auto context = std::make_unique<QObject>();
            QSemaphore release;
            offMain(
                context.get(),
                [&release] {
                    release.acquire();
                    return 1;
                },
                [&called](int) { called = true; }, &pool);
            context.reset();
            release.release();
        }
        pool.waitForDone();
        QCoreApplication::processEvents();
        QVERIFY(!called);
    }
};

QTEST_GUILESS_MAIN(tst_OffMain)
#include "tst_offmain.moc"
