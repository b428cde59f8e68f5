#pragma once
// CD-Text as a disc carries it: 18-byte packs (type, track, sequence,
// character position, 12 bytes of text, CRC), as READ TOC/PMA/ATIP format 5
// returns them after its 4-byte header. Pure; any thread.

#include "platform/sheets/DiscSheet.h"

#include <QByteArray>

namespace CdTextPacks {

// Fills the titles, performers, songwriters and messages of `sheet` and of
// its tracks (track number N is sheet.tracks[N - 1]) from the first block's
// packs in `packs` (a whole number of packs, without the header). Packs whose
// CRC doesn't match are skipped, and so is a text they cut; a text for a
// track the sheet doesn't have is dropped, and so are double-byte texts. A
// lone TAB repeats the previous track's text. Text is ISO Latin-1, control
// characters becoming spaces; an empty text leaves its field as it was.
void apply(const QByteArray &packs, DiscSheet &sheet);

} // namespace CdTextPacks
