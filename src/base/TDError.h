#pragma once
// The one error type of the program's work: thrown by value, caught as
// `catch (const TDError &e)`, shown to the user with text().
//
// A plain value (copyable, comparable, no heap identity), so it can cross
// threads inside a std::exception_ptr or be stored in a job's result. It is
// not derived from std::exception: code that means "anything went wrong in a
// job" catches TDError by name, and `catch (const std::exception &)` keeps
// meaning a bug or a library failure. Every function may be called from any
// thread.

#include <QString>

class TDError
{
public:
    enum class Kind { cantOpen, readFailed, writeFailed, tool, refused, cancelled };

    // A path that open() refused; `err` is the errno it left.
    static TDError cantOpen(const QString &path, int err);
    // A read of `path` failed at byte `offset` with errno `err`.
    static TDError readFailed(const QString &path, qint64 offset, int err);
    // Saving a file failed; `message` says why, in words.
    static TDError writeFailed(const QString &message);
    // An outside program failed; `message` is what to show, `detail` the
    // program's own words when `message` is not them (for the log only).
    static TDError tool(const QString &message, const QString &detail = {});
    // The program declines to go on; `message` is what to show.
    static TDError refused(const QString &message);
    // The user stopped the job.
    static TDError cancelled();

    Kind kind() const { return m_kind; }
    // cantOpen, readFailed: the path; empty for the others.
    const QString &path() const { return m_path; }
    // readFailed: the byte offset; 0 for the others.
    qint64 offset() const { return m_offset; }
    // cantOpen, readFailed: the errno; 0 for the others.
    int errorNumber() const { return m_errno; }
    // writeFailed, tool, refused: the message; empty for the others.
    const QString &message() const { return m_message; }
    // tool: what the program itself said, when text() puts it in other words;
    // empty otherwise. Not for the user's eyes except as a log detail.
    const QString &detail() const { return m_detail; }

    // The sentence shown to the user. System error texts come from strerror
    // and so follow the process locale.
    QString text() const;

    // Payloads a case doesn't use stay at their defaults, so this compares
    // the case and its own payloads.
    bool operator==(const TDError &) const = default;

private:
    explicit TDError(Kind kind) : m_kind(kind) {}

    Kind m_kind;
    QString m_path;
    qint64 m_offset = 0;
    int m_errno = 0;
    QString m_message;
    QString m_detail;
};
