#pragma once
// The program's own reader of cdrdao's table-of-contents files. Session
// types CD_DA, CD_ROM and CD_ROM_XA; TRACK modes AUDIO, MODE1, MODE1_RAW and
// MODE2_RAW; FILE/AUDIOFILE "name" [#offset] start [length], DATAFILE
// "name" [#offset] [length]; SILENCE, ZERO and PREGAP before the track's
// data (its pre-gap) or after it (its post-gap); START and INDEX (counted
// from the track's start); CD_TEXT blocks (language 0's TITLE, PERFORMER,
// SONGWRITER and MESSAGE are kept); ISRC and CATALOG; [NO] COPY,
// [NO] PRE_EMPHASIS, TWO_CHANNEL_AUDIO and FOUR_CHANNEL_AUDIO; // comments.
//
// As cdrdao reads them, raw audio files hold big-endian samples, and a
// ".wav" name makes a WAVE file of CD audio.
//
// Threading: pure apart from `size` and the WAVE headers; any thread.

#include "platform/sheets/DiscSheet.h"

namespace TocSheet {

// As CueSheet::parse: throws TDError::refused naming the line.
DiscSheet parse(const QString &text, const QString &name, const QString &folder,
                const DiscSheet::FileSize &size);

} // namespace TocSheet
