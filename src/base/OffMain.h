#pragma once
// The one way work leaves the main thread: `offMain` runs a function on a
// worker and hands its result back to the main thread.
//
// Threading: call from the main thread. `work` runs on a thread of `pool`
// (Qt's global pool unless given) and must not touch models, the UI or
// `context`; `done` runs on the main thread, always later from the event loop,
// never inside the offMain call, so a caller may finish setting up after it.
//
// Ownership: `work` and `done` are moved into the task. `done` is dropped
// without being called when `context` (a main-thread QObject) is destroyed
// before the result arrives; the work still runs to its end, so long work
// takes a CancelToken its owner cancels when it goes. An owner that must not
// outlive its workers gives them a pool of its own and waits for it.
//
// Failures: `work` must not throw; work that can fail returns a value saying
// so (an optional, a struct with an error text).

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThreadPool>
#include <type_traits>
#include <utility>

// Queues `fn` to run on the main thread from the event loop, unless the
// guarded context is gone by then. Callable from any thread.
// The guard is copied, never rebuilt from a raw pointer, so a worker holding
// it never races the context's destructor.
template<typename Fn>
void postToMain(const QPointer<QObject> &guard, Fn fn)
{
    // The application object outlives every context; the guard is looked at
    // on the main thread, where the context is destroyed.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [guard, fn = std::move(fn)]() mutable {
            if (guard)
                fn();
        },
        Qt::QueuedConnection);
}

template<typename Work, typename Done>
void offMain(QObject *context, Work work, Done done, QThreadPool *pool = QThreadPool::globalInstance())
{
    pool->start([guard = QPointer<QObject>(context), work = std::move(work), done = std::move(done)]() mutable {
        if constexpr (std::is_void_v<std::invoke_result_t<Work &>>) {
            work();
            postToMain(guard, std::move(done));
        } else {
            postToMain(guard, [done = std::move(done), result = work()]() mutable { done(std::move(result)); });
        }
    });
}
