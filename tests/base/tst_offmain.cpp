// Work off the main thread: offMain() and its result, and the token that
// stops a worker's child process.

#include "base/CancelToken.h"
#include "base/OffMain.h"

#include <QProcess>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <future>
#include <memory>
#include <thread>

namespace {

// Starts a child that would run for 30 s unless something ends it.
bool startSleeper(QProcess &child)
{
    child.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    return child.waitForStarted(10000);
}

} // namespace

class TstOffMain : public QObject
{
    Q_OBJECT

private slots:
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

    // cancel() from another thread ends a child the worker waits on; a cancel
    // that came before the attach makes the attach fail so the worker ends it.
    void cancelEndsTheChild()
    {
        for (const bool cancelFirst : {false, true}) {
            CancelToken token;
            QVERIFY(!token.isCancelled());
            if (cancelFirst)
                token.cancel();
            // A job's worker running a long child under the token's protocol;
            // `ready` once the attach was tried, then it waits for the child.
            std::promise<void> ready;
            bool started = false, attached = false, ended = false; // ended: within the wait, not after its 30 s
            QProcess::ExitStatus status = QProcess::NormalExit;
            std::thread worker([&] {
                QProcess child;
                started = startSleeper(child);
                if (started) {
                    CancelToken::ProcessScope scope(&token, child.processId());
                    attached = scope.attached();
                    if (!attached)
                        child.terminate();
                    ready.set_value();
                    ended = child.waitForFinished(15000);
                } else {
                    ready.set_value();
                }
                if (started && !ended) {
                    child.kill();
                    child.waitForFinished();
                }
                status = child.exitStatus();
            });
            ready.get_future().wait();
            if (!cancelFirst)
                token.cancel();
            worker.join();

            QVERIFY(started);
            QCOMPARE(attached, !cancelFirst);
            QVERIFY2(ended, "the child was still running");
            QCOMPARE(status, QProcess::CrashExit); // ended by a signal
            token.cancel(); // a second cancel, with nothing attached, is harmless
            QVERIFY(token.isCancelled());
        }
    }

    // Once the worker has detached its child (it is about to reap it, or has),
    // cancel() must leave that process id alone.
    void detachedChildIsLeftAlone()
    {
        CancelToken token;
        QProcess child;
        QVERIFY(startSleeper(child));
        {
            CancelToken::ProcessScope scope(&token, child.processId());
            QVERIFY(scope.attached());
        }
        token.cancel();
        QVERIFY(token.isCancelled());
        QVERIFY(!child.waitForFinished(100));
        QCOMPARE(child.state(), QProcess::Running);
        child.kill();
        QVERIFY(child.waitForFinished(10000));
    }

    // A second attach replaces the first: cancel() ends only the newer child.
    void attachReplaces()
    {
        CancelToken token;
        QProcess first, second;
        QVERIFY(startSleeper(first) && startSleeper(second));
        QVERIFY(token.attachProcess(first.processId()));
        QVERIFY(token.attachProcess(second.processId()));
        token.cancel();
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus(), QProcess::CrashExit);
        QCOMPARE(first.state(), QProcess::Running);
        first.kill();
        QVERIFY(first.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TstOffMain)
#include "tst_offmain.moc"
