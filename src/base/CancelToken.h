#pragma once
// A job's stop button, seen from the code doing the work.
//
// Sharing: one token per job, held as std::shared_ptr<CancelToken> by the UI
// (which calls cancel()), the job queue and the job's worker thread; it lives
// as long as the longest holder. Functions that only poll it take a plain
// CancelToken * borrowed for the length of the call (nullptr: can't be
// stopped).
//
// Threading: every member function may be called from any thread at any time;
// a mutex guards the state. Once cancelled, a token stays cancelled.
//
// Stopping: work loops call isCancelled() between steps (before each read of
// at most 1 MiB, say) and then throw TDError::cancelled(). A worker blocked in
// a child process can't poll, so cancel() also ends the child the worker has
// attached, with SIGTERM. QProcess is not thread-safe, so cancel() never
// touches the QProcess object; it signals the process by id.
//
// The child-process protocol, all on the worker thread:
//   QProcess p;                        // declared before the scope below
//   p.start(...); p.waitForStarted();
//   CancelToken::ProcessScope scope(token, p.processId());
//   if (!scope.attached()) {           // cancel() came before the attach:
//       p.terminate();                 // nobody else will end the child
//       p.waitForFinished();
//       throw TDError::cancelled();
//   }
//   p.waitForFinished(-1);             // or read its output in a loop
//   if (token->isCancelled()) throw TDError::cancelled();
// The scope detaches the process when it ends, which must be before the
// QProcess is destroyed (hence the declaration order). A cancel() after the
// attach signals the child (if it is still running) once, outside the lock;
// a cancel() after the detach leaves it alone.
//
// The child is held by a Linux pidfd where the kernel has them, so a signal
// can never reach an unrelated process that reused the id after the child was
// reaped; elsewhere it falls back to kill(pid).

#include <QtGlobal>

#include <mutex>

class CancelToken
{
public:
    CancelToken() = default;
    // Releases a still-attached process without signalling it.
    ~CancelToken();
    CancelToken(const CancelToken &) = delete;
    CancelToken &operator=(const CancelToken &) = delete;

    bool isCancelled() const;

    // Marks the token cancelled and sends SIGTERM to the attached child, if
    // any. Never blocks on the worker; calling it again does nothing more.
    void cancel();

    // Attaches the child `pid` that the calling worker just started. Returns
    // false, attaching nothing, when the token is already cancelled: then the
    // worker must end the child itself. Replaces a previous attachment.
    [[nodiscard]] bool attachProcess(qint64 pid);
    // Forgets the attached child; cancel() no longer signals it.
    void detachProcess();

    // attachProcess() for the length of a scope; detachProcess() on exit.
    // `token` may be null (nothing to attach; attached() is then true).
    class ProcessScope
    {
    public:
        ProcessScope(CancelToken *token, qint64 pid);
        ~ProcessScope();
        ProcessScope(const ProcessScope &) = delete;
        ProcessScope &operator=(const ProcessScope &) = delete;
        bool attached() const { return m_attached; }

    private:
        CancelToken *m_token;
        bool m_attached;
    };

private:
    struct Child
    {
        qint64 pid = 0;
        int pidfd = -1;
    };
    static void release(Child child);

    mutable std::mutex m_mutex;
    bool m_cancelled = false;
    Child m_child;
};
