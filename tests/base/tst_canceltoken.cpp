#include "base/CancelToken.h"

#include <QProcess>
#include <QTest>

#include <future>
#include <memory>
#include <thread>

namespace {

struct ChildOutcome
{
    bool started = false;
    bool attached = false;
    bool ended = false; // within the wait, rather than running its 30 s
    QProcess::ExitStatus status = QProcess::NormalExit;
};

// A job's worker running a long child under the token's protocol. `ready` is
// set once the attach was tried; the worker then waits for the child.
ChildOutcome runChild(const std::shared_ptr<CancelToken> &token, std::promise<void> &ready)
{
    ChildOutcome out;
    QProcess child;
    child.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    out.started = child.waitForStarted(10000);
    if (!out.started) {
        ready.set_value();
        return out;
    }
    {
        CancelToken::ProcessScope scope(token.get(), child.processId());
        out.attached = scope.attached();
        if (!out.attached)
            child.terminate();
        ready.set_value();
        out.ended = child.waitForFinished(15000);
    }
    if (!out.ended) {
        child.kill();
        child.waitForFinished();
    }
    out.status = child.exitStatus();
    return out;
}

} // namespace

class TstCancelToken : public QObject
{
    Q_OBJECT

private slots:
    void cancelEndsTheChild_data()
    {
        QTest::addColumn<bool>("cancelFirst");
        QTest::newRow("cancel while the child runs") << false;
        QTest::newRow("cancel before the child is attached") << true;
    }

    // cancel() from another thread ends a child the worker waits on; a cancel
    // that came before the attach makes the attach fail so the worker ends it.
    void cancelEndsTheChild()
    {
        QFETCH(bool, cancelFirst);
        auto token = std::make_shared<CancelToken>();
        QVERIFY(!token->isCancelled());
        if (cancelFirst)
            token->cancel();

        std::promise<void> ready;
        std::future<void> attachTried = ready.get_future();
        ChildOutcome out;
        std::thread worker([&] { out = runChild(token, ready); });
        attachTried.wait();
        if (!cancelFirst)
            token->cancel();
        worker.join();

        QVERIFY(out.started);
        QCOMPARE(out.attached, !cancelFirst);
        QVERIFY2(out.ended, "the child was still running");
        QCOMPARE(out.status, QProcess::CrashExit); // ended by a signal
        QVERIFY(token->isCancelled());
        token->cancel(); // a second cancel, with nothing attached, is harmless
        QVERIFY(token->isCancelled());
    }

    // Once the worker has detached its child (it is about to reap it, or has),
    // cancel() must leave that process id alone.
    void detachedChildIsLeftAlone()
    {
        CancelToken token;
        QProcess child;
        child.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(child.waitForStarted(10000));
        {
            CancelToken::ProcessScope scope(&token, child.processId());
            QVERIFY(scope.attached());
        }
        token.cancel();
        QVERIFY(token.isCancelled());
        QVERIFY(!child.waitForFinished(300));
        QCOMPARE(child.state(), QProcess::Running);
        child.kill();
        QVERIFY(child.waitForFinished(10000));
    }

    // A second attach replaces the first: cancel() ends only the newer child.
    void attachReplaces()
    {
        CancelToken token;
        QProcess first, second;
        first.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        second.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(first.waitForStarted(10000));
        QVERIFY(second.waitForStarted(10000));
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

QTEST_GUILESS_MAIN(TstCancelToken)
#include "tst_canceltoken.moc"
