#pragma once
// The CdReader of a real burner: MMC commands sent with SG_IO to its device
// node (/dev/srN, or a path given as an extra drive address).
//
// contents() asks READ TOC (the tracks, the sessions, CD-Text), READ
// SUB-CHANNEL (the catalogue number and ISRCs) and reads the Q sub-channel
// of single sectors with READ CD to find where pre-gaps and INDEX 02 on begin.
// read() is READ CD of whole 2352-byte sectors of any type, in commands of a
// size every host adapter takes.
//
// Threading: as CdReader: one thread at a time, every call blocks on the
// drive. Each call opens the node (read-only, not waiting for the tray) and
// closes it before it returns, so a burn can take the drive in between; each
// command has a timeout, so a drive that stops answering fails the call.
//
// Errors: as CdReader. readFailed carries the node, the byte offset (the
// sector times 2352) and the errno: ENOMEDIUM for a disc taken out, ENODEV
// or the open's errno for a drive gone, ETIMEDOUT for a command that never
// ended. refused: no disc, not a CD, a blank CD, or a CD of several sessions
// (whose gaps between sessions one image of the disc can't hold).

#include "platform/api/CdReader.h"

#include <QString>

class ScsiCdReader final : public CdReader
{
public:
    explicit ScsiCdReader(const QString &devicePath);

    DiscSheet contents() override;
    bool read(qint64 lba, int count, char *into) override;

private:
    QString m_path;
};
