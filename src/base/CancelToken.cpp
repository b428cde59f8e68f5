#include "base/CancelToken.h"

#include <cerrno>
#include <csignal>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

int openPidfd(qint64 pid)
{
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid_t(pid), 0));
#else
    Q_UNUSED(pid);
    errno = ENOSYS;
    return -1;
#endif
}

void terminate(qint64 pid, int pidfd)
{
#ifdef SYS_pidfd_send_signal
    if (pidfd >= 0) {
        // ESRCH: it has already ended, which is all we wanted.
        ::syscall(SYS_pidfd_send_signal, pidfd, SIGTERM, nullptr, 0);
        return;
    }
#else
    Q_UNUSED(pidfd);
#endif
    if (pid > 0)
        ::kill(pid_t(pid), SIGTERM);
}

} // namespace

CancelToken::~CancelToken()
{
    release(m_child);
}

void CancelToken::release(Child child)
{
    if (child.pidfd >= 0)
        ::close(child.pidfd);
}

bool CancelToken::isCancelled() const
{
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

void CancelToken::cancel()
{
    Child child;
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
        std::swap(child, m_child);
    }
    // Outside the lock: a worker attaching or polling never waits on a signal.
    terminate(child.pid, child.pidfd);
    release(child);
}

bool CancelToken::attachProcess(qint64 pid)
{
    Child child{pid, pid > 0 ? openPidfd(pid) : -1};
    if (child.pidfd < 0 && errno == ESRCH)
        child.pid = 0; // already ended and reaped: its id may name someone else soon
    {
        std::lock_guard lock(m_mutex);
        if (!m_cancelled) {
            std::swap(child, m_child);
            release(child);
            return true;
        }
    }
    release(child);
    return false;
}

void CancelToken::detachProcess()
{
    Child child;
    {
        std::lock_guard lock(m_mutex);
        std::swap(child, m_child);
    }
    release(child);
}

CancelToken::ProcessScope::ProcessScope(CancelToken *token, qint64 pid)
    : m_token(token), m_attached(!token || token->attachProcess(pid))
{
}

CancelToken::ProcessScope::~ProcessScope()
{
    if (m_token && m_attached)
        m_token->detachProcess();
}
