#pragma once
// Optical discs as the system sees them: libudev for the drives and what
// they hold, /proc/self/mountinfo for where their volumes are, SG_IO for the
// DVD copy-protection query, the tray and the drives udev doesn't know.
// No system headers here.
//
// list() and describe() read udev's database and sysfs (no device is opened,
// so they never spin up a drive); dvdCopyProtection(), tray() and
// becomingReady() send one command to the drive and wait for it, askDrive()
// a few. All block briefly; call them on a worker thread. Any thread;
// nothing is kept between calls.
#include "platform/api/DiscInfo.h"
#include "platform/linux/MountTable.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace OpticalDiscs {

// Names ("sr0", ...) of the optical drives that hold a disc, as udev lists them.
QStringList names();

// The disc in drive `name`; nothing when it is not an optical drive or is empty.
std::optional<DiscInfo> describe(const QString &name);

// What describe() makes of one drive's udev properties, its size in bytes,
// its logical block size (0 when unknown), the mount table and its device
// number. Partitions on the disc fill in a volume the whole disc lacks:
// `partitions` holds their properties and device numbers, in name order.
struct Partition
{
    QMap<QString, QString> properties;
    unsigned major = 0;
    unsigned minor = 0;
};
std::optional<DiscInfo> fromProperties(const QString &name, const QMap<QString, QString> &properties, qint64 bytes,
                                       int blockSize, unsigned major, unsigned minor,
                                       const QList<MountTable::Entry> &mounts,
                                       const QList<Partition> &partitions = {});

// The disc in the drive at `devicePath`, described by the drive itself
// (GET CONFIGURATION, READ DISC INFORMATION, READ TOC, READ CAPACITY and the
// volume descriptor), for a drive udev doesn't know. bsdName is the path.
// Waits up to 5 s for a disc that is spinning up. Nothing when the drive
// can't be asked or holds no disc.
std::optional<DiscInfo> askDrive(const QString &devicePath);

// READ DISC STRUCTURE, format 01h (copyright information) on the device at
// `devicePath`: the copy protection system type, or -1 when the device can't
// be opened or the command fails.
int dvdCopyProtection(const QString &devicePath);

// The tray of the drive at `devicePath`, by GET EVENT STATUS NOTIFICATION
// (what the kernel polls drives with): whether a disc is in, whether the
// tray is open, and whether the drive reported a new or removed medium since
// it was last asked. Absent when the drive can't be asked.
struct Tray
{
    bool present = false;
    bool open = false;
    bool changed = false;
};
std::optional<Tray> tray(const QString &devicePath);

// TEST UNIT READY on the drive at `devicePath`: true only when it answers
// NOT READY, becoming ready (02/04/01), as a drive spinning a disc up does.
// A drive that can't be asked, or answers anything else, is not waiting.
bool becomingReady(const QString &devicePath);

} // namespace OpticalDiscs
