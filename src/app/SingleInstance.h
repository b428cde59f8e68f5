#pragma once
// One running copy per user: a second copy hands its files to the first over
// a local socket and quits.
//
// The socket is "klvo-tandor.socket" in the first of these folders that is
// private to the user: a real folder (not a symlink) that the user owns and
// no one else may enter (mode 0700), so no one else can listen in our place
// or learn which files are opened:
// 1. $XDG_RUNTIME_DIR, the session's own folder (emptied at logout, so a
//    crashed copy's socket rarely outlives the session).
// 2. "klvo-tandor-<uid>" in the temporary folder (TMPDIR, else /tmp), made
//    with mode 0700 when missing. Whatever else holds that name (another
//    user's folder, a symlink, a folder others may enter) is passed over and
//    left alone; once the folder is ours, the sticky bit of /tmp keeps others
//    from swapping it.
// 3. "run" in the program's cache folder, made the same way, for when
//    someone else took the name in the temporary folder.
// A folder whose socket name is taken by something that is not a socket (a
// file of the user's, say) is passed over as well and the thing left alone;
// every copy makes the same choice, so they still find each other. With no
// folder left, every copy runs on its own.
//
// A socket left by a copy that crashed is taken over: one that nothing
// answers on is removed and listened on anew. One that answers is never taken.
//
// Threading: main thread only. handOver() and listen() wait on the local
// socket (a second at most); they are meant for start-up, before the window
// exists.

#include <QLocalServer>
#include <QObject>
#include <QStringList>

class AppModel;

class SingleInstance : public QObject
{
    Q_OBJECT
public:
    // The socket's path by the rules above, making the fallback folder when it
    // is needed; empty when no folder qualifies.
    static QString defaultSocketPath();
    // Whether `folder` is a real folder of this user's that only they may enter.
    static bool isPrivateFolder(const QString &folder);

    explicit SingleInstance(const QString &socketPath = defaultSocketPath(), QObject *parent = nullptr);

    QString socketPath() const { return m_path; }

    // Sends `paths` (made absolute) and the screen to show (a MainTab key
    // such as "data", or empty for the one showing) to a copy that is
    // already running. True when one took them: this copy should quit.
    // Waits at most `timeoutMs` for the local connection.
    bool handOver(const QStringList &paths, const QString &screen = {}, int timeoutMs = 1000);

    // Becomes the running copy: later copies' files arrive as filesReceived.
    // False when another copy answers on the socket (it is left alone) or
    // there is no socket to listen on.
    bool listen();

    enum class Role {
        handedOver, // a running copy took the files: quit
        first,      // this is the running copy
        alone,      // no socket to be found on: runs, but can't be handed files
    };
    Q_ENUM(Role)
    // Start-up: hands `files` and `screen` to a running copy or becomes the
    // running one.
    Role start(const QStringList &files, const QString &screen = {});
    // The line a copy that handed `count` files over prints before it quits.
    static QString handedOverLine(qsizetype count);

    // Later copies' files open in `model` (which must outlive this), the
    // screen they asked for is shown, and the window is asked to come to the
    // front.
    void serve(AppModel &model);

Q_SIGNALS:
    void filesReceived(const QStringList &paths, const QString &screen);

private:
    QString m_path;
    QLocalServer m_server;
};
