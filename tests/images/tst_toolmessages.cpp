// What the user reads when an image tool fails: the tools' real words
// (as captured from xorriso 1.5, fuseiso, udisksctl and fusermount in the
// C locale) and the sentences they become.

#include "base/TDError.h"
#include "images/ToolMessages.h"

#include <QTest>

#include <cerrno>
#include <cstring>

class TstToolMessages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sentence_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("printed");
        QTest::addColumn<QString>("sentence"); // empty: none is known

        const QString banner = QStringLiteral("xorriso 1.5.4 : RockRidge filesystem manipulator, libburnia project.\n\n");
        const QString drive = QStringLiteral("Drive current: -outdev 'stdio:/home/me/out/x.partial.iso'\nMedia current: stdio file, "
                                             "overwriteable\nMedia status : is blank\nAdded to ISO image: directory '/'="
                                             "'/home/me/Photos'\nxorriso : UPDATE :       1 files added in 1 seconds\n");
        const QString noFileSystem = QStringLiteral("This image holds no file system Linux can mount.");
        const QString diskFull = TDError::writeFailed(QString::fromLocal8Bit(std::strerror(ENOSPC))).text();
        const QString busy = QStringLiteral("The image is busy: close the files and windows that use it, then try again.");
        const QString noFuse = QStringLiteral("FUSE isn't available on this computer, so the image can't be mounted.");

        // xorriso making an image.
        QTest::newRow("xorriso: the folder to save in is gone") << "xorriso" << banner + "libburn : SORRY : Neither stdio-path nor its directory exist\n" "xorriso : FAILURE : Cannot acquire drive 'stdio:/home/me/gone/x.partial.iso'\n" "xorriso : aborting : -abort_on 'FAILURE' encountered 'FAILURE'\n" << "The folder to save the image in doesn't exist.";
        QTest::newRow("xorriso: drive not acquired for another reason") << "xorriso" << banner + "xorriso : FAILURE : Cannot acquire drive 'stdio:/dev/null/x.iso'\n" << "The image file couldn't be created there. Choose another folder.";
        QTest::newRow("xorriso: a folder has the image's name") << "xorriso" << banner + "xorriso : FAILURE : -as mkisofs: Cannot accept directory as target: -o '/home/me/x.iso'\n" << "A folder is in the way where the image should be saved. Choose another name.";
        QTest::newRow("xorriso: the place to save in is a file") << "xorriso" << banner + drive + "libburn : SORRY : Failed to open device (a pseudo-drive) : Not a directory\n" "xorriso : FAILURE : libburn indicates failure with writing.\n" << "The place to save the image in isn't a folder.";
        QTest::newRow("xorriso: read-only place") << "xorriso" << banner + drive + "libburn : SORRY : Failed to open device (a pseudo-drive) : Read-only file system\n" "libburn : FATAL : Burn run failed\n" "xorriso : FAILURE : libburn indicates failure with writing.\n" << "That place is read-only. Choose another folder to save the image in.";
        QTest::newRow("xorriso: not allowed to write there") << "xorriso" << banner + drive + "libburn : SORRY : Failed to open device (a pseudo-drive) : Permission denied\n" "xorriso : FAILURE : libburn indicates failure with writing.\n" << "Tandor isn't allowed to save there. Choose another folder for the image.";
        QTest::newRow("xorriso: sees the disk is too small") << "xorriso" << banner + drive + "xorriso : FAILURE : Image size 673s exceeds free space on media 32s\n" << diskFull;
        QTest::newRow("xorriso: runs out of room while writing") << "xorriso" << banner + drive + "libburn : SORRY : Failed to write to file: No space left on device\n" "xorriso : FAILURE : libburn indicates failure with writing.\n" << diskFull;
        QTest::newRow("xorriso: a file in the folder can't be read") << "xorriso" << banner + "libisofs: FAILURE : Access to file is not allowed\n" "xorriso : FAILURE : Grafting failed:  '/secret' = '/home/me/Photos/secret'\n" << "Tandor isn't allowed to read a file in the folder, so the image wasn't made.";
        QTest::newRow("xorriso: a folder it may not read") << "xorriso" << banner + drive + "xorriso : FAILURE : Cannot open as source directory: '/home/me/Photos/private'\n" "xorriso : aborting : -abort_on 'FAILURE' encountered 'FAILURE'\n" << "Tandor has no permission to read the folder “private”, so the image wasn't made.";
        QTest::newRow("xorriso: a source file vanished is not a missing image") << "xorriso" << banner + "xorriso : FAILURE : Cannot determine attributes of source file '/a' : No such file or directory\n" << "";
        QTest::newRow("xorriso: unknown failure") << "xorriso" << banner + "xorriso : FAILURE : Something new\n" << "";

        // fuseiso mounting.
        QString descriptors;
        for (int i = 0; i < 17; ++i)
            descriptors += QStringLiteral("init: wrong standard identifier in volume descriptor %1, skipping..\n").arg(i);
        QTest::newRow("fuseiso: random bytes") << "fuseiso" << descriptors + "init: wrong standard identifier in volume descriptor 17, exiting..\n" << noFileSystem;
        QTest::newRow("fuseiso: file too short") << "fuseiso" << "only 0 bytes read from position 32768, 2048 required; is it really supported file?\n" << noFileSystem;
        QTest::newRow("fuseiso: image missing") << "fuseiso" << "Can`t open image file: No such file or directory\n" << "The image file can't be found.";
        QTest::newRow("fuseiso: image unreadable") << "fuseiso" << "Can`t open image file: Permission denied\n" << "Tandor isn't allowed to read this image file.";
        QTest::newRow("fuseiso: fusermount missing, not the image") << "fuseiso" << "fuse: failed to exec fusermount: No such file or directory\n" << "Tandor needs fusermount for this, and it isn't installed. Install the fuse3 package.";
        QTest::newRow("fuseiso: no FUSE module") << "fuseiso" << "fuse: device not found, try 'modprobe fuse' first\n" << noFuse;
        QTest::newRow("fuseiso: no FUSE device") << "fuseiso" << "fusermount: fuse device not found, try 'modprobe fuse' first\n" << noFuse;
        QTest::newRow("fuseiso: not a directory is xorriso's") << "fuseiso" << "fuse: bad mount point `/x': Not a directory\n" << "";

        // udisksctl mounting and ejecting.
        QTest::newRow("udisksctl: not authorized") << "udisksctl" << "Error setting up loop device for /home/me/x.iso: GDBus.Error:org.freedesktop.UDisks2.Error." "NotAuthorizedCanObtain: Not authorized to perform operation\n" << "The system didn't allow Tandor to mount or eject images (not authorized).";
        QTest::newRow("udisksctl: loop device refused otherwise") << "udisksctl" << "Error setting up loop device for /home/me/x.iso: GDBus.Error:org.freedesktop.UDisks2.Error.Failed: " "Error creating loop device: Device or resource busy\n" << "The system couldn't open the image file.";
        QTest::newRow("udisksctl: image missing") << "udisksctl" << "Error opening file /home/me/x.iso: No such file or directory\n" << "The image file can't be found.";
        QTest::newRow("udisksctl: nothing to mount") << "udisksctl" << "Object /org/freedesktop/UDisks2/block_devices/loop0 is not a mountable filesystem.\n" << noFileSystem;
        QTest::newRow("udisksctl: mount(8) can't read it") << "udisksctl" << "Error mounting /dev/loop0: GDBus.Error:org.freedesktop.UDisks2.Error.Failed: Error mounting " "system-managed device /dev/loop0: wrong fs type, bad option, bad superblock on /dev/loop0, missing " "codepage or helper program, or other error\n" << noFileSystem;
        QTest::newRow("udisksctl: busy") << "udisksctl" << "Error unmounting /dev/loop0: GDBus.Error:org.freedesktop.UDisks2.Error.DeviceBusy: Error unmounting " "/dev/loop0: target is busy\n" << busy;

        // fusermount ejecting.
        QTest::newRow("fusermount: busy") << "fusermount" << "fusermount: failed to unmount /run/user/0/KLVO Tandor/mounts/x: Device or resource busy\n" << busy;
        QTest::newRow("fusermount3 is fusermount") << "fusermount3" << "fusermount3: failed to unmount /run/user/0/KLVO Tandor/mounts/x: Device or resource busy\n" << busy;
        QTest::newRow("fusermount: not mounted any more") << "fusermount" << "fusermount: entry for /run/user/0/KLVO Tandor/mounts/x not found in /etc/mtab\n" << "The image was no longer mounted.";

        QTest::newRow("nothing printed") << "xorriso" << "" << "";
    }

    void sentence()
    {
        QFETCH(QString, tool);
        QFETCH(QString, printed);
        QFETCH(QString, sentence);
        QCOMPARE(ToolMessages::sentence(tool, printed).value_or(QString()), sentence);
    }

    void notInstalled_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("sentence");
        QTest::newRow("xorriso") << "xorriso" << "Tandor needs xorriso for this, and it isn't installed. Install the xorriso package.";
        QTest::newRow("fusermount3 comes with fuse3") << "fusermount3" << "Tandor needs fusermount for this, and it isn't installed. Install the fuse3 package.";
        QTest::newRow("udisksctl comes with udisks2") << "udisksctl" << "Tandor needs udisksctl for this, and it isn't installed. Install the udisks2 package.";
    }

    void notInstalled()
    {
        QFETCH(QString, tool);
        QFETCH(QString, sentence);
        QCOMPARE(ToolMessages::notInstalled(tool), sentence);
    }
};

QTEST_GUILESS_MAIN(TstToolMessages)
#include "tst_toolmessages.moc"
