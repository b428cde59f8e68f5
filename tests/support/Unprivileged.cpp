#include "Unprivileged.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <grp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char *const nodesVar = "TANDOR_TEST_NODES";
constexpr uid_t nobody = 65534;
constexpr gid_t nogroup = 65534;

// `name` in `dir`, of root and `group` (root's when null), with `mode`: a
// block node when `block`, else a file. Left out when the group is missing.
void make(const std::string &dir, const char *name, const char *group, mode_t mode, bool block = false)
{
    const ::group *g = group ? getgrnam(group) : nullptr;
    if (group && !g)
        return; // rows that need it skip
    const std::string path = dir + "/" + name;
    if (block) {
        // Major 240 is set aside for local use: no driver answers it.
        if (mknod(path.c_str(), S_IFBLK | mode, makedev(240, 0)) != 0)
            return;
    } else if (std::FILE *f = std::fopen(path.c_str(), "w")) {
        std::fputs("not a disc\n", f);
        std::fclose(f);
    }
    if (chown(path.c_str(), 0, g ? g->gr_gid : 0) != 0 || chmod(path.c_str(), mode) != 0)
        unlink(path.c_str());
}

} // namespace

namespace Unprivileged {

int run(int argc, char **argv, const std::function<int(int, char **)> &tests)
{
    if (geteuid() != 0)
        return tests(argc, argv);

    char dirTemplate[] = "/tmp/tandor-nodes-XXXXXX";
    if (!mkdtemp(dirTemplate)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = dirTemplate;
    chmod(dir.c_str(), 0755);
    make(dir, "cdrom", "cdrom", 0660);
    make(dir, "tape", "tape", 0660);
    make(dir, "root-only", nullptr, 0600);
    make(dir, "cdrom-block", "cdrom", 0660, true);
    // The child's TMPDIR and HOME: the caller's TMPDIR may be closed to
    // nobody, and a QTemporaryDir that can't be made fails far from here.
    const std::string home = dir + "/home";
    if (mkdir(home.c_str(), 0700) != 0 || chown(home.c_str(), nobody, nogroup) != 0) {
        std::perror("home for nobody");
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
        return 1;
    }

    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return 1;
    }
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(nogroup) != 0 || setuid(nobody) != 0 || setuid(0) == 0) {
            std::fprintf(stderr, "could not give up root\n");
            _exit(1);
        }
        // Don't outlive a parent killed by a test timeout.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() == 1)
            _exit(1);
        setenv(nodesVar, dir.c_str(), 1);
        // Root's home and runtime folder are closed to nobody.
        setenv("HOME", home.c_str(), 1);
        setenv("TMPDIR", home.c_str(), 1);
        unsetenv("XDG_RUNTIME_DIR");
        std::exit(tests(argc, argv));
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    std::fprintf(stderr, "test process ended by signal %d\n", WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return 1;
}

QString node(const QString &name)
{
    const QByteArray dir = qgetenv(nodesVar);
    if (dir.isEmpty())
        return {};
    const QString path = QFile::decodeName(dir) + QLatin1Char('/') + name;
    return QFileInfo::exists(path) ? path : QString();
}

} // namespace Unprivileged
