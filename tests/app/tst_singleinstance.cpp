// A second copy of the program hands its files to the first, over a socket
// in a folder only the user may enter.

#include "TestEnv.h"
#include "app/SingleInstance.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// What a crashed copy leaves: a socket file nothing listens on any more.
bool leaveStaleSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()) + 1);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 && ::listen(fd, 1) == 0;
    ::close(fd);
    return bound;
}

bool makeFolder(const QString &path, mode_t mode, uid_t owner = ::getuid())
{
    return QDir().mkpath(path) && ::chmod(QFile::encodeName(path).constData(), mode) == 0
           && ::chown(QFile::encodeName(path).constData(), owner, gid_t(-1)) == 0;
}

mode_t modeOf(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Someone else: any user id that isn't ours.
constexpr uid_t stranger = 54321;

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

    // A second copy's handOver, on a thread of its own, since it blocks
    // until the first has read the list from its event loop.
    static bool handOverFromThread(const QString &path, const QStringList &files, QSignalSpy &received)
    {
        bool tookThem = false;
        std::unique_ptr<QThread> second(
            QThread::create([&] { tookThem = SingleInstance(path).handOver(files, {}, 3000); }));
        second->start();
        const bool arrived = received.wait(5000);
        return second->wait(5000) && arrived && tookThem;
    }

private Q_SLOTS:
    // Where the socket goes, given what the runtime, temporary and cache
    // folders hold. "runtime", "temp" and "cache" name the folder expected
    // to hold it; "" means none qualifies.
    void socketFolder_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("expected");
        QTest::newRow("private runtime folder") << "" << "runtime";
        QTest::newRow("runtime folder holds a stale socket") << "runtime stale socket" << "runtime";
        QTest::newRow("runtime unset") << "runtime unset" << "temp";
        QTest::newRow("runtime relative") << "runtime relative" << "temp";
        QTest::newRow("runtime missing") << "runtime missing" << "temp";
        QTest::newRow("runtime open to others") << "runtime 0755" << "temp";
        QTest::newRow("runtime is a symlink") << "runtime symlink" << "temp";
        QTest::newRow("runtime is someone else's") << "runtime stranger" << "temp";
        QTest::newRow("socket name taken by a file") << "runtime file" << "temp";
        QTest::newRow("temp name is a symlink") << "runtime unset, temp symlink" << "cache";
        QTest::newRow("temp folder open to others") << "runtime unset, temp 0777" << "cache";
        QTest::newRow("temp folder inside a folder others write") << "runtime unset, parent 0777" << "cache";
        QTest::newRow("every folder taken") << "runtime unset, temp symlink, cache symlink" << "";
    }
    void socketFolder()
    {
        QFETCH(QString, setup);
        QFETCH(QString, expected);
        TestEnv env;
        const QString runtime = env.path(QStringLiteral("xdg_runtime_dir"));
        const QString tmp = env.path(QStringLiteral("tmp"));
        const QString temp = tmp + QStringLiteral("/klvo-tandor-%1").arg(::getuid());
        const QString cache = env.path(QStringLiteral("xdg_cache_home/KLVO Tandor/run"));
        const QString elsewhere = env.path(QStringLiteral("elsewhere"));
        const QString stale = runtime + QStringLiteral("/klvo-tandor.socket");
        QVERIFY(makeFolder(tmp, 01777));
        QVERIFY(makeFolder(elsewhere, 0700));
        const QByteArray oldTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(tmp));
        const auto restore = qScopeGuard([&] { qputenv("TMPDIR", oldTmp); });

        const auto has = [&setup](const char *part) { return setup.contains(QLatin1String(part)); };
        if (has("stranger") && ::getuid() != 0)
            QSKIP("Giving a folder to someone else needs root");
        if (has("runtime unset"))
            qunsetenv("XDG_RUNTIME_DIR");
        if (has("runtime relative"))
            qputenv("XDG_RUNTIME_DIR", "xdg_runtime_dir");
        if (has("runtime missing"))
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(env.path(QStringLiteral("nowhere"))));
        if (has("runtime 0755"))
            QVERIFY(makeFolder(runtime, 0755));
        if (has("runtime symlink")) {
            QVERIFY(QFile::link(elsewhere, env.path(QStringLiteral("link"))));
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(env.path(QStringLiteral("link"))));
        }
        if (has("runtime stranger"))
            QVERIFY(makeFolder(runtime, 0700, stranger));
        if (has("runtime file"))
            QVERIFY(TestEnv::writePattern(stale, 100));
        if (has("runtime stale socket"))
            QVERIFY(leaveStaleSocket(stale));
        if (has("temp symlink"))
            QVERIFY(QFile::link(elsewhere, temp));
        if (has("temp 0777"))
            QVERIFY(makeFolder(temp, 0777));
        if (has("parent 0777"))
            QVERIFY(makeFolder(tmp, 0777));
        if (has("cache symlink")) {
            QVERIFY(QDir().mkpath(QFileInfo(cache).path()));
            QVERIFY(QFile::link(elsewhere, cache));
        }
        const mode_t tempModeBefore = modeOf(temp);

        const QString path = SingleInstance::defaultSocketPath();
        const QMap<QString, QString> folders{{"runtime", runtime}, {"temp", temp}, {"cache", cache}};
        const QString folder = folders.value(expected);
        if (folder.isEmpty()) {
            QCOMPARE(path, QString());
        } else {
            QCOMPARE(path, folder + QStringLiteral("/klvo-tandor.socket"));
            QVERIFY(SingleInstance::isPrivateFolder(folder));
        }
        // What was passed over is left as it was.
        if (has("runtime file")) {
            QFile file(stale);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.size(), 100);
        }
        if (expected != QLatin1String("temp") && tempModeBefore)
            QCOMPARE(modeOf(temp), tempModeBefore);
        QVERIFY(QFileInfo(elsewhere).isDir());
        QCOMPARE(modeOf(elsewhere), mode_t(0700));
        QVERIFY(QDir(elsewhere).isEmpty());
    }

    // What a new copy finds at the socket's path, and what becomes of it.
    void takeover_data()
    {
        QTest::addColumn<QString>("occupant");
        QTest::addColumn<SingleInstance::Role>("role");
        QTest::newRow("nothing") << "" << SingleInstance::Role::first;
        QTest::newRow("a crashed copy's socket") << "stale" << SingleInstance::Role::first;
        QTest::newRow("a running copy") << "live" << SingleInstance::Role::handedOver;
        QTest::newRow("a file of the user's") << "file" << SingleInstance::Role::alone;
    }
    void takeover()
    {
        QFETCH(QString, occupant);
        QFETCH(SingleInstance::Role, role);
        TestEnv env;
        const QString path = env.path(QStringLiteral("xdg_runtime_dir/klvo-tandor.socket"));
        QLocalServer running;
        if (occupant == QLatin1String("stale"))
            QVERIFY(leaveStaleSocket(path));
        if (occupant == QLatin1String("live"))
            QVERIFY(running.listen(path));
        if (occupant == QLatin1String("file"))
            QVERIFY(TestEnv::writePattern(path, 4096));
        const QString image = env.path(QStringLiteral("disc.iso"));

        {
            SingleInstance copy(path);
            QCOMPARE(copy.start({image}), role);
            // Asked to listen anyway, it still leaves what it found alone.
            if (role != SingleInstance::Role::first)
                QVERIFY(!copy.listen());
            if (role == SingleInstance::Role::first) {
                // It now answers in its crashed predecessor's place, a
                // relative name made whole by the copy that sends it.
                QSignalSpy received(&copy, &SingleInstance::filesReceived);
                QVERIFY(handOverFromThread(path, {image, QStringLiteral("relative.wav")}, received));
                QCOMPARE(received.first().first().toStringList(),
                         (QStringList{image, QDir::current().absoluteFilePath(QStringLiteral("relative.wav"))}));
            }
        }
        if (occupant == QLatin1String("live")) {
            // The running copy got the files and still has its socket.
            QTRY_VERIFY(running.hasPendingConnections());
            QLocalSocket *socket = running.nextPendingConnection();
            QTRY_VERIFY(socket->bytesAvailable() > 0 || socket->state() != QLocalSocket::ConnectedState);
            QDataStream in(socket);
            QStringList got;
            in >> got;
            QCOMPARE(got, QStringList{image});
            QLocalSocket again;
            again.connectToServer(path);
            QVERIFY(again.waitForConnected(1000));
        }
        if (occupant == QLatin1String("file")) {
            // Not a socket: not ours to remove, even after the copy is gone.
            QCOMPARE(QFileInfo(path).size(), 4096);
            QVERIFY(QFileInfo(path).isFile());
        }
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
