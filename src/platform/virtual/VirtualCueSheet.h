#pragma once
// The cue sheet a virtual burner writes beside the BIN image of an audio
// burn. Pure functions; any thread.

#include "platform/api/DiscService.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace VirtualCueSheet {

// The cue sheet of an audio burn whose sectors, pre-gaps included, all lie
// in `binName` one after the other: CD-Text as TITLE/PERFORMER, each pre-gap
// as INDEX 00. UTF-8.
QByteArray forAudio(const QString &binName, const QList<BurnTrack> &tracks, const std::optional<CDText> &cdText);

} // namespace VirtualCueSheet
