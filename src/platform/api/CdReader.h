#pragma once
// A written CD read through the burner that holds it: what is on it (tracks,
// pre-gaps, indexes, flags, ISRCs, the catalogue number, CD-Text) and its
// sectors, raw. Both burner services make one (DiscService::openCd): the
// hardware one asks the drive with the MMC commands a real drive answers,
// the virtual one reads the image its tray holds.
//
// Threading: made on the main thread, then used from one worker thread at a
// time; every call blocks on the drive. A reader holds nothing between calls,
// so a burn or an eject meanwhile makes its next call fail, never hang.
//
// Errors: calls throw TDError::readFailed when the disc or the drive is gone
// (the tray opened, the burner unplugged) and TDError::refused for a disc
// that can't be read this way (none, not a CD, no track). A sector the drive
// can't read is not an error here: read() says so, and the caller decides how
// often to try again.

#include "platform/sheets/DiscSheet.h"

#include <QtGlobal>

class CdReader
{
public:
    virtual ~CdReader() = default;

    // Bytes of a raw sector: audio as little-endian samples, a data sector
    // whole (sync, header, user data, error codes).
    static constexpr qint64 sectorBytes = 2352;

    // The disc as the sheet of one file that holds every sector from LBA 0 to
    // the lead-out, sectorBytes each: a track's `start` is its INDEX 01 LBA
    // times sectorBytes, `fileGap` its INDEX 00 sectors (audio hidden before
    // track 1 too), `indexes` its INDEX 02 on, then flags, ISRCs, the catalogue
    // number and CD-Text. Track files are empty: the caller names the file.
    // Data tracks are Mode::mode1Raw.
    virtual DiscSheet contents() = 0;

    // Reads sectors [lba, lba + count) into `into` (count × sectorBytes);
    // 1 ≤ count ≤ 64. False when the drive reported it couldn't read them (a
    // medium error): nothing in `into` is to be trusted then.
    virtual bool read(qint64 lba, int count, char *into) = 0;
};
