#pragma once
// The program's own cue sheet reader. FILE types BINARY, MOTOROLA and WAVE
// (16-bit stereo 44.1 kHz PCM; the file itself is read for where its samples
// lie, and positions count from the first sample); TRACK modes AUDIO,
// MODE1/2048, MODE1/2352 and MODE2/2352; INDEX 00 to 99, numbered one after another as libburn wants them; PREGAP and
// POSTGAP; FLAGS DCP, PRE and 4CH (SCMS is taken and dropped); TITLE,
// PERFORMER, SONGWRITER and MESSAGE for the disc and each track; CATALOG and
// each track's ISRC; REM and CDTEXTFILE are passed over. Names may be quoted
// or not; lines may end in CRLF.
//
// A track runs from its INDEX 01 to the next track's first index in the same
// file, or to the end of its file.
//
// Threading: pure apart from `size` and the WAVE headers; any thread.

#include "platform/sheets/DiscSheet.h"

namespace CueSheet {

// `text` is the sheet, `name` its file name for messages and `folder` where
// relative FILE names are looked up; `size` answers for each file.
// Throws TDError::refused naming the line of the first problem.
DiscSheet parse(const QString &text, const QString &name, const QString &folder,
                const DiscSheet::FileSize &size);

} // namespace CueSheet
