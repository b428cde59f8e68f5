#include "app/LogFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <future>
#include <unistd.h>

QString TDLogFile::defaultPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/KLVO Tandor/Burn Log.txt");
}

TDLogFile::TDLogFile(const QString &path)
    : m_path(path)
    , m_thread([this] { run(); })
{
}

TDLogFile::~TDLogFile()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

QString TDLogFile::path() const
{
    std::lock_guard lock(m_mutex);
    return m_path;
}

void TDLogFile::setPath(const QString &path)
{
    std::lock_guard lock(m_mutex);
    m_path = path;
}

static void appendBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QByteArray native = QFile::encodeName(path);
    // O_APPEND: each line lands at the end even if something else grew the file.
    const int fd = ::open(native.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const off_t start = ::lseek(fd, 0, SEEK_END);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    // A line cut short by a full disk would run into the next one: a line
    // is in the file whole or not at all.
    if (done < bytes.size() && done > 0 && start >= 0)
        [[maybe_unused]] const int ignored = ::ftruncate(fd, start); // as every append failure
    ::close(fd);
}

void TDLogFile::append(const QString &line)
{
    QByteArray bytes = line.toUtf8();
    bytes.append('\n');
    const QString target = path();
    post([target, bytes = std::move(bytes)] { appendBytes(target, bytes); });
}

void TDLogFile::flush()
{
    Q_ASSERT(std::this_thread::get_id() != m_thread.get_id());
    std::promise<void> done;
    auto written = done.get_future();
    post([&done] { done.set_value(); });
    written.wait();
}

void TDLogFile::whenWritten(std::function<void()> task)
{
    post(std::move(task));
}

void TDLogFile::post(std::function<void()> task)
{
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void TDLogFile::run()
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
            if (m_tasks.empty())
                return; // stopping, and nothing left to write
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
}
