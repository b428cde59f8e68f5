#pragma once
// Makes a disc image of a folder with xorriso: ISO 9660 level 3 with Joliet
// and Rock Ridge, so the files open under their own names on any system; a
// DMG adds an HFS+ tree to it and wraps it in a compressed UDIF container.
//
// volumeName(), workPath() and arguments() are pure; folderBytes() reads the
// file system; make() runs xorriso. All may be called from any thread;
// folderBytes() and make() block and belong on a worker thread.

#include "base/CancelToken.h"
#include "base/TDError.h"
#include "images/ImageInfo.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace ImageMaker {

// A name that every file system accepts as a volume label: each character
// other than an ASCII letter, digit, space, "_" or "-" becomes "_"; trimmed,
// cut to 32 characters, trimmed again; "DISC" when nothing is left.
QString volumeName(const QString &name);

// The total size of the regular files under `folder`, hidden ones included
// (they go into the image too); 0 when it can't be listed. Symbolic links
// are not followed. Reads only directory entries, so it takes no token.
qint64 folderBytes(const QString &folder);

// Where make() writes before the image is complete: beside `output`, named
// after it without its extension + ".partial." + the format's extension.
QString workPath(const QString &output, ImageFormat format);

// xorriso's arguments for an image of `folder` written to `output`, with
// volume name volumeName(volume). For dmg they make the HFS+ hybrid that a
// UDIF container will wrap.
QStringList arguments(const QString &folder, const QString &output, ImageFormat format, const QString &volume);

// Makes the image: xorriso writes workPath(output), which replaces `output`
// (atomically, by rename) only once it is complete. A DMG is first an HFS+
// hybrid that xorriso writes beside the output (NAME.partial.hfs), which the
// UDIF writer then compresses into workPath(output). On any failure or
// cancellation the work files are removed and `output` is left as it was.
//
// Blocking: until xorriso ends; call it on a worker thread.
// `progress`, if set, gets xorriso's own percentage lines as fractions on
// the calling thread (for a DMG, the first part of the bar, the UDIF
// writer's progress the rest), then 1.0 once the image is in place. Small images
// finish before xorriso reports any percentage.
// Cancellation: `cancel` (may be null) terminates xorriso (ImageTool::run);
// the call then throws TDError::cancelled() after removing the work file.
//
// Throws TDError: tool("The folder NAME can't be found.") before anything is
// written when `folder` is not a directory; the UDIF writer's errors for a
// DMG; writeFailed(reason) when the finished image can't be moved
// into place; the failures of xorriso as ImageTool::run() words them (a
// full disk, whether xorriso saw it coming or ran into it, reads like any
// other save that runs out of room); cancelled.
QString make(const QString &folder, const QString &output, ImageFormat format, const QString &volume,
             const std::function<void(double)> &progress, CancelToken *cancel);

} // namespace ImageMaker
