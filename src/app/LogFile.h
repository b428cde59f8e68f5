#pragma once
// The burn log file: every logged line appended for good, in logging order.
//
// Threading: one writer thread per TDLogFile does all file access, one task
// after another. append() and whenWritten() may be called from any thread and
// return at once; flush() blocks its caller until everything queued before it
// is on disk and must not be called from the writer thread (it would never
// return). No lock is held while the disk is touched.
//
// Failures: appends never fail for the caller. A folder that can't be made or
// a file that can't be written loses that line from the file only; the
// in-memory log still has it.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class TDLogFile
{
public:
    // "$XDG_STATE_HOME/KLVO Tandor/Burn Log.txt" (~/.local/state when unset).
    static QString defaultPath();

    explicit TDLogFile(const QString &path = defaultPath());
    // Writes everything still queued, then stops the writer.
    ~TDLogFile();
    TDLogFile(const TDLogFile &) = delete;
    TDLogFile &operator=(const TDLogFile &) = delete;

    // Main thread. Later appends go to the new path; queued ones keep the old.
    QString path() const;
    void setPath(const QString &path);

    // Queues `line` + "\n" for the end of the file. Creates the folder and the
    // file when they are missing.
    void append(const QString &line);

    // Returns once every append issued before it has been written.
    void flush();

    // Runs `task` on the writer thread after every earlier append, so it sees a
    // complete file. Used to read or copy the log without blocking the caller.
    void whenWritten(std::function<void()> task);

private:
    void run();
    void post(std::function<void()> task);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    bool m_stopping = false;
    QString m_path;
    std::thread m_thread;
};
