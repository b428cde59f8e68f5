#pragma once
// The cue sheet a virtual burner writes beside the BIN image of an audio
// burn or of a burn from a sheet. Pure functions; any thread.

#include "platform/api/DiscService.h"
#include "platform/sheets/DiscSheet.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace VirtualCueSheet {

// The cue sheet of an audio burn whose sectors, pre-gaps included, all lie
// in `binName` one after the other: CD-Text as TITLE/PERFORMER, each pre-gap
// as INDEX 00, `catalog` (the disc's MCN) as CATALOG when not empty and each
// track's ISRC. UTF-8.
QByteArray forAudio(const QString &binName, const QList<BurnTrack> &tracks, const std::optional<CDText> &cdText,
                    const QString &catalog);

// The cue sheet of a disc burned from `sheet` into `binName`, every sector
// 2352 bytes: MODE1/2352 for both kinds of Mode 1 track, MODE2/2352, AUDIO;
// each track's pre-gap (silence and INDEX 00 sectors alike) as INDEX 00, its
// post-gap inside the track; the sheet's CD-Text, CATALOG, ISRCs, FLAGS and
// INDEX 02 on. UTF-8.
QByteArray forSheet(const QString &binName, const DiscSheet &sheet);

} // namespace VirtualCueSheet
