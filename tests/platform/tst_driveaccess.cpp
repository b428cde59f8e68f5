// Burners the user may not use: the system's reasons turned into sentences,
// found on real nodes (as an ordinary user: see Unprivileged.h), the
// programs holding a node named, and the hardware service explaining such a
// drive instead of handing it to libburn.

#include "BurnFixtures.h"
#include "ImageFixtures.h"
#include "LibburnBarrier.h"
#include "Unprivileged.h"
#include "platform/linux/DriveAccess.h"
#include "platform/linux/HardwareDiscService.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QString modeText = QStringLiteral(
    "No permission to use %1: its mode doesn't let you read and write it (see ls -l %1), so ask your administrator "
    "for access.");
const QString groupText = QStringLiteral(
    "No permission to use %1: add yourself to the %2 group (sudo usermod -aG %2 $USER), then log out and back in.");

// A file of our own with `mode`.
QString ownNode(const QTemporaryDir &dir, const QString &name, int mode)
{
    const QString path = dir.filePath(name);
    if (!writeFile(path, "not a disc\n") || ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) != 0)
        return {};
    return path;
}

} // namespace

class TestDriveAccess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The cases real nodes can't stage here; the others are checked on nodes below.
    void refusalText()
    {
        using R = DriveAccess::Refusal;
        const QString n = QStringLiteral("/dev/sr1");
        const struct { R refusal; QString text; } rows[] = {
            {R{n, "cdrom", false, false, true, true}, "No permission to use /dev/sr1 yet: you are in the cdrom group from your next login on, so log out " "and back in."}, // joined, not logged in again
            {R{n, "cdrom", false, true, false, false}, "No permission to use /dev/sr1 although its owner and mode allow it: if the program runs in a " "sandbox (Flatpak or Snap), give it access to devices."}, // mode allows: a sandbox refuses
            {R{n, "cdrom", true, true, true, true}, "/dev/sr1 can only be read here, not written: if the program runs in a sandbox (Flatpak or Snap), " "give it access to devices."}, // read-only wins over everything
        };
        for (const auto &r : rows)
            QCOMPARE(DriveAccess::refusalText(r.refusal), r.text);
    }

    // One holder and none are read from real nodes below.
    void inUseText()
    {
        using Holders = QList<DriveAccess::Holder>;
        const struct { QString mountPoint; Holders holders; QString text; } rows[] = {
            {"/media/me/BACKUP 1", Holders{{"reader", 7}}, "The disc in /dev/sr0 is mounted at /media/me/BACKUP 1: unmount it (Unmount in the file manager, or " "udisksctl unmount -b /dev/sr0), then Refresh Drives."}, // mounted disc, holders aside
            {"", Holders{{"writer", 12}, {"", 13}, {"reader", 14}}, "/dev/sr0 is in use by writer (PID 12), a program (PID 13) and reader (PID 14). Close them, then " "Refresh Drives."}, // three programs, one without a name
        };
        for (const auto &r : rows)
            QCOMPARE(DriveAccess::inUseText(QStringLiteral("/dev/sr0"), r.mountPoint, r.holders), r.text);
    }

    // Real nodes, opened as an ordinary user. Rows on a node made by root
    // are left out unless the test runs as root.
    void check()
    {
        // rootNode: made by root; empty: a file of our own; ownMode: of our own file, -1: no file at all; text: %1 the node
        const struct { QString rootNode; int ownMode; QString text; } rows[] = {
            {"cdrom", 0, groupText.arg("%1", "cdrom")}, // cdrom group
            {"tape", 0, groupText.arg("%1", "tape")}, // the node's own group is named
            {"cdrom-block", 0, groupText.arg("%1", "cdrom")}, // block device of the cdrom group
            {"root-only", 0, modeText}, // root's alone
            {"", 0000, modeText}, // ours, no rights
            {"", 0460, modeText}, // ours, read-only; the group may write
            {"", 0600, ""}, // ours, read and write
            {"", -1, ""}, // no such node: libburn says so
        };
        for (auto [rootNode, ownMode, text] : rows) {
            QTemporaryDir dir;
            const QString node = !rootNode.isEmpty() ? Unprivileged::node(rootNode)
                                 : ownMode >= 0      ? ownNode(dir, "node", ownMode)
                                                     : dir.filePath("none");
            QVERIFY(!node.isEmpty() || !rootNode.isEmpty());
            if (!node.isEmpty())
                QCOMPARE(DriveAccess::check(node), text.isEmpty() ? QString() : text.arg(node));
        }
    }

    void holdersAreNamed()
    {
        QTemporaryDir dir;
        const QString node = ownNode(dir, "node", 0600);
        const QString link = dir.filePath("cdrom");
        QVERIFY(QFile::link(node, link));

        // Our own hold is never named: the program opens its burners itself.
        QFile mine(node);
        QVERIFY(mine.open(QIODevice::ReadOnly));
        QCOMPARE(DriveAccess::holders(node), QList<DriveAccess::Holder>{});

        QProcess holder;
        holder.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exec 3<\"$0\"; exec sleep 30"), node});
        QVERIFY(holder.waitForStarted());
        const QList<DriveAccess::Holder> expected{{QStringLiteral("sleep"), holder.processId()}};
        QTRY_VERIFY_WITH_TIMEOUT(DriveAccess::holders(node) == expected, 5000);
        // Asked by another name of the node, the holder is found all the same.
        QVERIFY(DriveAccess::holders(link) == expected);
        QCOMPARE(DriveAccess::inUse(node), node + " is in use by sleep (PID " + QString::number(holder.processId())
                                               + "). Close it, then Refresh Drives.");

        holder.kill();
        QVERIFY(holder.waitForFinished());
        QCOMPARE(DriveAccess::holders(node), QList<DriveAccess::Holder>{});
        QCOMPARE(DriveAccess::inUse(node), node + " is in use by another program. Close it, then Refresh Drives.");
    }

    // The service lists the drive, explains it once, and leaves libburn out.
    void serviceExplains_data()
    {
        QTest::addColumn<QString>("rootNode");
        QTest::addColumn<QString>("text");
        QTest::newRow("ours, no rights") << "" << modeText;
        QTest::newRow("block device of the cdrom group") << "cdrom-block" << groupText.arg("%1", "cdrom");
    }
    void serviceExplains()
    {
        QFETCH(QString, rootNode);
        QFETCH(QString, text);
        QTemporaryDir dir;
        const QString node = rootNode.isEmpty() ? ownNode(dir, "node", 0) : Unprivileged::node(rootNode);
        if (node.isEmpty())
            QSKIP("Needs a node made by root: run the test as root.");
        HardwareDiscService service({node});
        if (service.devices().size() != 1)
            QSKIP("This machine has an optical drive; its readings would be counted too.");
        QSignalSpy changed(&service, &DiscService::deviceStatusChanged);
        const DiscDeviceRef drive = service.devices().at(0);
        QCOMPARE(drive->info().ioPath, node);
        QVERIFY(drive->accessProblem().isEmpty()); // not read yet

        QVERIFY(libburnCaughtUp(dir.path()));
        QCOMPARE(drive->accessProblem(), text.arg(node));
        QVERIFY(!drive->status());
        QCOMPARE(changed.count(), 1);

        // Reading again finds the same: nothing to tell.
        for (int i = 0; i < 3; ++i)
            service.refresh();
        QVERIFY(libburnCaughtUp(dir.path()));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(drive->accessProblem(), text.arg(node));

        // A burn on it fails with the same sentence, without asking for data.
        auto producer = std::make_shared<PatternProducer>(300, 2048, 1);
        BurnLayout layout;
        layout.tracks.append(dataTrack(producer, 300));
        std::unique_ptr<DiscJob> job = service.burn(drive, keepDisc(), layout);
        QVERIFY(job);
        JobWatch watch(job.get());
        QVERIFY(watch.endsOnce());
        QCOMPARE(watch.last().state, DiscJobState::failed);
        QCOMPARE(watch.last().errorText, text.arg(node));
        QCOMPARE(producer->produced.load(), quint64(0));

        // The user fixes a node of their own and refreshes: the explanation
        // goes, and comes back when the node is closed again.
        if (!rootNode.isEmpty())
            return;
        QVERIFY(QFile::setPermissions(node, QFile::ReadOwner | QFile::WriteOwner));
        service.refresh();
        QVERIFY(changed.wait(10000));
        // libburn now has its say: a plain file is no burner, and nothing
        // explains that beyond its own complaint.
        QCOMPARE(drive->accessProblem(), QString());
        QVERIFY(!drive->status());
        QCOMPARE(readFile(node), QByteArray("not a disc\n"));

        QVERIFY(QFile::setPermissions(node, {}));
        service.refresh();
        QVERIFY(changed.wait(10000));
        QCOMPARE(drive->accessProblem(), text.arg(node));
    }
};

int main(int argc, char **argv)
{
    return Unprivileged::run(argc, argv, [](int c, char **v) {
        QCoreApplication app(c, v);
        TestDriveAccess test;
        return QTest::qExec(&test, c, v);
    });
}

#include "tst_driveaccess.moc"
