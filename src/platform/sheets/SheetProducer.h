#pragma once
// Feeds one track of a sheet to a burner as whole 2352-byte sectors, the way
// a raw (BIN) image holds them: audio as little-endian samples (big-endian
// files swapped), raw data sectors as they are, MODE1/2048 sectors encoded
// into full Mode 1 sectors, and gaps no file holds as silence (audio) or
// empty sectors of the track's mode.
//
// Threading and ownership as TrackProducer.h says: one burn thread calls it.
//
// Failures: prepareTrack() is false when the file can't be opened; a read
// that comes up short later gives zero bytes, which a verify pass reports.

#include "platform/api/DiscService.h"
#include "platform/sheets/DiscSheet.h"

#include <QFile>
#include <vector>

class SheetProducer final : public TrackProducer
{
public:
    // `firstSector`: the disc address (logical block) of the track's first
    // sector, its pre-gap included; Mode 1 headers carry it.
    SheetProducer(SheetTrack track, quint32 firstSector);

    // Every track of `sheet` as a 2352-byte track of a burn layout: the
    // pre-gap and INDEX 00 sectors as its pre-gap, the post-gap after its
    // data. Audio tracks are audio, the others data.
    static QList<BurnTrack> tracksOf(const DiscSheet &sheet);

    quint64 estimateLength() override;
    bool prepareTrack() override;
    quint32 producePreGap(char *buffer, quint32 length, quint64 address, quint32 blockSize) override;
    quint32 produceData(char *buffer, quint32 length, quint64 address, quint32 blockSize) override;
    void cleanupTrackAfterBurn() override;
    bool prepareTrackForVerification() override;
    bool verifyPreGap(const char *buffer, quint32 length, quint64 address, quint32 blockSize) override;
    bool verifyData(const char *buffer, quint32 length, quint64 address, quint32 blockSize) override;
    bool cleanupTrackAfterVerification() override;

private:
    // Fills `count` sectors from `sector` (counted from the start of the
    // pre-gap) into `out`.
    void fill(char *out, quint64 sector, quint64 count);
    void silence(char *out, quint64 sector, quint64 count);
    void fromFile(char *out, quint64 sector, quint64 count);
    bool same(const char *buffer, quint32 length, quint64 sector);

    SheetTrack m_track;
    quint32 m_first;
    QFile m_file;
    std::vector<char> m_scratch;  // a chunk of 2048-byte sectors before encoding
    std::vector<char> m_expected; // what a verified chunk should hold
};
