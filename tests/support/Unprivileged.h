#pragma once
// For tests of what an ordinary user may not open. Root passes every
// permission check, so a test run as root (as CI runs) first makes the nodes
// an ordinary user is refused, then runs its tests in a child process that
// has given up root for good (user and group nobody), with HOME and TMPDIR
// in a folder of its own. Run as an ordinary user, the tests run as they are
// and the cases that need root's nodes skip.

#include <QString>
#include <functional>

namespace Unprivileged {

// Runs `tests` (the body of a QTest main) as described above and returns its
// exit code. Call first thing in main(), before any Qt object exists.
int run(int argc, char **argv, const std::function<int(int, char **)> &tests);

// The node root made as `name`, or empty when none was made (not root, or
// the system lacks the group):
//   "cdrom", "tape"  a file of root and that group, mode 0660
//   "cdrom-block"    a block device node of root:cdrom, mode 0660, with a
//                    device number no driver has
//   "root-only"      a file of root:root, mode 0600
QString node(const QString &name);

} // namespace Unprivileged
