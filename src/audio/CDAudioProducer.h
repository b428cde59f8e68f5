#pragma once
// Feeds one prepared CD audio file (AudioPrep::prepare) to a burn and checks
// it against the disc when the burn is verified.
//
// A burn makes one producer per prepared file and describes the track to the
// burner service as frames() blocks of 2352 bytes after a pre-gap of
// preGapFrames(index, gapSeconds) blocks, with this producer behind it.
// Threading, ownership and failures are FileTrackProducer's: a damaged cache
// file becomes silence, never a stopped burn.

#include "images/FileTrackProducer.h"

#include <QString>

class CDAudioProducer final : public FileTrackProducer
{
public:
    // Bytes of one CD audio block.
    static constexpr quint32 blockBytes = 2352;
    // CD frames per second, and the pre-gap of the first track (2 s).
    static constexpr quint32 framesPerSecond = 75;
    static constexpr quint32 firstPreGap = 150;

    // Reads the file's size once; a size that can't be read counts as 0.
    explicit CDAudioProducer(const QString &path);

    // Blocks the track occupies: the last, partial one is padded with zeros.
    quint64 frames() const { return (byteLength() + blockBytes - 1) / blockBytes; }

    // The pre-gap of the track at `index` (0-based) of a disc whose projects
    // asks for `gapSeconds` between tracks: 150 for the first track, whole
    // frames of the gap (truncated, never negative) for every later one.
    static quint32 preGapFrames(int index, double gapSeconds);

    quint64 estimateLength() override { return frames(); }
};
