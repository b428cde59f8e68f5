#pragma once
// Attaches images read-only and detaches them again.
//
// Two ways, chosen at each attach:
// - udisks2, when its daemon answers on the system bus: `udisksctl
//   loop-setup --read-only` makes a loop device, `udisksctl mount` mounts it
//   where the desktop mounts discs. The device is the loop device node.
// - FUSE otherwise: `fuseiso` mounts the image into a folder of its own under
//   "$XDG_RUNTIME_DIR/KLVO Tandor/mounts". FUSE has no device node, so the
//   device is that folder. fuseiso reads ISO 9660 (with Joliet and Rock
//   Ridge) images; it can't attach an image without mounting it.
//
// A DMG is first decoded by the UDIF reader into a file of its own in the
// cache folder ("$XDG_CACHE_HOME/KLVO Tandor/mounts"), which is attached
// like an ISO and removed again when it is detached. A cue or toc sheet
// opens its first data track: the track's own file when it is a plain
// image, else a copy of its 2048-byte sectors made the same way.
//
// Both calls block until the tools are done (a second or so): call them on a
// worker thread. They take no cancellation token, as neither tool can be
// stopped half-way without leaving a device or mount behind. Any thread; no
// state is kept between calls, so the caller owns what it attached and must
// detach it.

#include "base/TDError.h"

#include <QString>
#include <QStringList>

struct MountedImage
{
    QString image;           // the image file
    QString device;          // what detach() takes: the loop device, or the FUSE mount folder
    QStringList mountPoints; // where its files are; empty when attached without mounting
    QString decodedCopy;     // a DMG's or sheet's decoded image, removed by detach(); empty for other images

    bool operator==(const MountedImage &) const = default;
};

namespace Mounter {

// Attaches `image` read-only and, when `mount` is set, mounts it. `browse`
// asks for it to show in the file manager; both ways mount it where only
// file managers that look for it see it, so it changes nothing here.
//
// Throws TDError::tool: the UDIF reader's words for a DMG it can't decode,
// the sheet reader's for a sheet, "This sheet holds only audio tracks, so
// there are no files to show." for an audio-only one
// (and readFailed/writeFailed for the decoding itself, a full cache folder
// say); ToolMessages::noFileSystem() when nothing on it can be mounted (the attachment is undone first); "The image was attached, but
// gave no device." / "…, but the system didn't say where." when the tools
// report success but no device or mount point can be found; a refusal when
// `mount` is false and udisks2 isn't running; the tools' failures as
// ImageTool::run() words them.
MountedImage attach(const QString &image, bool browse, bool mount);

// Detaches `image` as detach(image.device, force) does, then removes its
// decoded copy, if any. The copy is removed even when detaching fails and
// `force` is set (the quitting program's last word); otherwise it stays for
// the mount that still uses it.
void detach(const MountedImage &image, bool force = false);

// Unmounts and detaches what attach() returned as `device`. A failed try
// without `force` (files still open, say) is retried once forced: a lazy
// unmount for FUSE, `unmount --force` for udisks2; only the error of that
// second try is thrown. With `force` the first error is thrown.
void detach(const QString &device, bool force = false);

// Whether the udisks2 daemon is on the system bus now (or can be started by it).
bool udisksAnswers();

// The folder decoded copies are made in (not created here).
QString decodedCopyFolder();

// The folder FUSE mounts go into (created when missing).
QString fuseMountRoot();

} // namespace Mounter
