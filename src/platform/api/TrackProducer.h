#pragma once
// The data side of one track of a burn: the burner service asks a producer
// for each block it writes and, when the burn is verified, hands it each block
// it read back from the disc.
//
// Threading: the service calls every method of one producer one after another
// on its own burn thread, never two at once; a producer belongs to one burn
// only and needs no lock. The producer must not touch models or the UI.
//
// Ownership: the deck that started the burn keeps its producers alive
// (shared_ptr) from the start of the burn until the burn has ended, so the
// service may call them until it reports its final status.
//
// Failures: a producer never fails a burn once it has started. prepare answers
// false when its file can't be opened (the service then fails the burn);
// read problems later become zero bytes on the disc, which the verify pass
// then reports as a mismatch.

#include <QtGlobal>

#include <cstring>
#include <vector>

class TrackProducer
{
public:
    virtual ~TrackProducer() = default;

    // Length of the track in blocks of the track's block size.
    virtual quint64 estimateLength() = 0;

    // Opens what the track is read from. False fails the burn.
    virtual bool prepareTrack() = 0;

    // Fills `length` bytes of `buffer` with the pre-gap (silence or zeros) for
    // the blocks starting at `address` (counted from the start of the gap).
    // Returns the number of bytes produced.
    virtual quint32 producePreGap(char *buffer, quint32 length, quint64 address, quint32 blockSize) = 0;

    // Fills `length` bytes of `buffer` with the track's data starting at block
    // `address` (from the start of the track, after its pre-gap). Returns the
    // number of bytes produced, always `length`.
    virtual quint32 produceData(char *buffer, quint32 length, quint64 address, quint32 blockSize) = 0;

    // The burn has written the track. Whatever stays open serves a verify pass.
    virtual void cleanupTrackAfterBurn() = 0;

    // Reopens what verification compares against. False fails the verify pass.
    virtual bool prepareTrackForVerification() = 0;

    // Checks blocks read back from the disc; true when they are as produced.
    virtual bool verifyPreGap(const char *buffer, quint32 length, quint64 address, quint32 blockSize) = 0;
    virtual bool verifyData(const char *buffer, quint32 length, quint64 address, quint32 blockSize) = 0;

    // Closes everything; the producer may be asked to prepare again afterwards.
    virtual bool cleanupTrackAfterVerification() = 0;
};

// A producer of a data file's blocks, whatever the file's form: gaps are
// zeros, and verifying compares what the disc holds with a fresh fill().
// Same threading, ownership and failure rules as TrackProducer.
class FilledTrackProducer : public TrackProducer
{
public:
    quint32 producePreGap(char *buffer, quint32 length, quint64, quint32) override
    {
        std::memset(buffer, 0, length);
        return length;
    }
    quint32 produceData(char *buffer, quint32 length, quint64 address, quint32 blockSize) override
    {
        fill(buffer, length, address, blockSize);
        return length;
    }
    // Always true: the gap isn't compared.
    bool verifyPreGap(const char *, quint32, quint64, quint32) override { return true; }
    // True when `buffer` holds exactly what produceData() gives for the blocks.
    bool verifyData(const char *buffer, quint32 length, quint64 address, quint32 blockSize) override
    {
        return std::memcmp(expected(length, address, blockSize), buffer, length) == 0;
    }

protected:
    // Puts exactly `length` bytes at `buffer`: the data from block `address`
    // on, zeros past its end or where it can't be read.
    virtual void fill(char *buffer, quint32 length, quint64 address, quint32 blockSize) = 0;

    // fill() into a buffer kept for the next call: a verify pass compares
    // every chunk, and a fresh megabyte each time was zeroed only to be
    // overwritten. Valid until the next call.
    const char *expected(quint32 length, quint64 address, quint32 blockSize)
    {
        if (m_expected.size() < length)
            m_expected.resize(length);
        fill(m_expected.data(), length, address, blockSize);
        return m_expected.data();
    }

private:
    std::vector<char> m_expected;
};
