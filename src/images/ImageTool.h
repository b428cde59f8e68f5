#pragma once
// Runs one of the command-line tools that make, attach and detach images
// (xorriso, udisksctl, fuseiso, fusermount) and turns what it prints into
// progress, a result or a TDError.
//
// An ImageTool value only describes a tool: its name, where to find it, and
// how to read its lines. It is a plain value, copyable, and may be used from
// any thread. run() is the only function that does anything.

#include "base/CancelToken.h"
#include "base/TDError.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class ImageTool
{
public:
    // The fraction done (0..1) a line announces, or nothing for other lines.
    using ProgressRule = std::function<std::optional<double>(const QString &line)>;
    // True for lines that never make an error message (banners, notes, progress).
    using ChatterRule = std::function<bool(const QString &line)>;

    // `name` is used in messages and, when `program` is empty, looked up on PATH.
    ImageTool(QString name, QString program, ProgressRule progressOf, ChatterRule isChatter);

    // The tools the program uses, found on PATH.
    static const ImageTool &xorriso();
    static const ImageTool &udisksctl();
    static const ImageTool &fuseiso();
    static const ImageTool &fusermount(); // fusermount, or fusermount3 where only FUSE 3 is installed

    const QString &name() const { return m_name; }
    // The same tool's rules with another program to run (a script in tests).
    ImageTool withProgram(const QString &program) const;
    // The fraction a line announces, or nothing (negative values included, as the tool printed them).
    std::optional<double> progressOf(const QString &line) const { return m_progressOf(line); }
    bool isChatter(const QString &line) const { return m_isChatter(line); }

    // Runs the tool with `args` and returns its standard output (UTF-8,
    // invalid bytes repaired). Both output streams are read on the calling
    // thread as they arrive, so they need no lock and the pipes never fill
    // up; each complete line of either stream that the progress rule
    // recognises is passed to `progress`, on the calling thread.
    //
    // Blocking: until the tool exits; call it on a worker thread.
    // Cancellation: `cancel` (may be null) gets the child attached
    // (CancelToken::ProcessScope), so cancel() sends it SIGTERM from any
    // thread; a child still running 10 s later is killed. A cancelled run
    // throws TDError::cancelled() whatever the tool's exit status was, and
    // a token already cancelled before the start stops the child at once.
    // The child's locale is C.UTF-8, so its messages are plain English and
    // file names are UTF-8, whatever the user's locale.
    //
    // Throws TDError::cancelled(), or TDError::tool when the tool isn't
    // installed (ToolMessages::notInstalled), can't be started ("Couldn't
    // start NAME: " + reason) or exits with a status other than 0 or
    // crashes. A failure's text is the ToolMessages sentence for what the
    // tool printed, with failureMessage(...) as its detail; a failure no
    // sentence fits keeps failureMessage(...) as its text.
    QString run(const QStringList &args, const std::function<void(double)> &progress = {},
                CancelToken *cancel = nullptr) const;

    // The error of a failed run: NAME + ": " + the last line of `errors`
    // then `output` that is neither blank nor chatter, with the tool's own
    // "NAME: " / "NAME : " prefixes and message severities removed;
    // NAME + ": " + NAME + " failed" when no such line is left. Pure.
    QString failureMessage(const QString &errors, const QString &output) const;

    // How long a cancelled tool gets to end after SIGTERM before it is killed.
    static constexpr int graceMs = 10000;

private:
    QString m_name;
    QString m_program;
    ProgressRule m_progressOf;
    ChatterRule m_isChatter;
};
