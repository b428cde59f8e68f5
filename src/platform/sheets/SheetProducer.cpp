#include "platform/sheets/SheetProducer.h"

#include "platform/sheets/RawSector.h"

#include <algorithm>
#include <cstring>

SheetProducer::SheetProducer(SheetTrack track, quint32 firstSector)
    : m_track(std::move(track)), m_first(firstSector), m_file(m_track.file)
{
}

QList<BurnTrack> SheetProducer::tracksOf(const DiscSheet &sheet)
{
    QList<BurnTrack> tracks;
    quint64 at = 0;
    for (const SheetTrack &t : sheet.tracks) {
        BurnTrack b;
        b.kind = t.mode == SheetTrack::Mode::audio ? BurnTrack::Kind::audio : BurnTrack::Kind::data;
        b.producer = std::make_shared<SheetProducer>(t, quint32(at));
        b.blockSize = RawSector::bytes;
        b.preGapFrames = t.preGap + t.fileGap;
        b.lengthBlocks = t.length + t.postGap;
        tracks.append(b);
        at += t.discSectors();
    }
    return tracks;
}

quint64 SheetProducer::estimateLength()
{
    return m_track.length + m_track.postGap;
}

bool SheetProducer::prepareTrack()
{
    return m_file.isOpen() || m_file.open(QIODevice::ReadOnly);
}

quint32 SheetProducer::producePreGap(char *buffer, quint32 length, quint64 address, quint32)
{
    fill(buffer, address, length / RawSector::bytes);
    return length;
}

quint32 SheetProducer::produceData(char *buffer, quint32 length, quint64 address, quint32)
{
    fill(buffer, quint64(m_track.preGap) + m_track.fileGap + address, length / RawSector::bytes);
    return length;
}

void SheetProducer::cleanupTrackAfterBurn() {}

bool SheetProducer::prepareTrackForVerification()
{
    return prepareTrack();
}

bool SheetProducer::verifyPreGap(const char *buffer, quint32 length, quint64 address, quint32)
{
    return same(buffer, length, address);
}

bool SheetProducer::verifyData(const char *buffer, quint32 length, quint64 address, quint32)
{
    return same(buffer, length, quint64(m_track.preGap) + m_track.fileGap + address);
}

bool SheetProducer::cleanupTrackAfterVerification()
{
    m_file.close();
    m_scratch = {};
    m_expected = {};
    return true;
}

bool SheetProducer::same(const char *buffer, quint32 length, quint64 sector)
{
    m_expected.resize(length);
    fill(m_expected.data(), sector, length / RawSector::bytes);
    return std::memcmp(m_expected.data(), buffer, length) == 0;
}

void SheetProducer::fill(char *out, quint64 sector, quint64 count)
{
    const quint64 dataFirst = m_track.preGap;
    const quint64 dataEnd = dataFirst + m_track.fileGap + m_track.length;
    while (count > 0) {
        quint64 n = 0;
        if (sector < dataFirst) {
            n = std::min(count, dataFirst - sector);
            silence(out, sector, n);
        } else if (sector < dataEnd) {
            n = std::min(count, dataEnd - sector);
            fromFile(out, sector, n);
        } else {
            n = count;
            silence(out, sector, n);
        }
        out += n * RawSector::bytes;
        sector += n;
        count -= n;
    }
}

void SheetProducer::silence(char *out, quint64 sector, quint64 count)
{
    static const char zeros[RawSector::userBytes] = {};
    for (quint64 i = 0; i < count; ++i, out += RawSector::bytes) {
        const quint32 lba = quint32(m_first + sector + i);
        switch (m_track.mode) {
        case SheetTrack::Mode::audio: std::memset(out, 0, RawSector::bytes); break;
        case SheetTrack::Mode::mode1Cooked:
        case SheetTrack::Mode::mode1Raw: RawSector::encodeMode1(lba, zeros, out); break;
        case SheetTrack::Mode::mode2Raw: RawSector::encodeMode2Empty(lba, out); break;
        }
    }
}

void SheetProducer::fromFile(char *out, quint64 sector, quint64 count)
{
    const quint32 sb = m_track.sectorBytes();
    const qint64 first = m_track.start - qint64(m_track.fileGap) * sb;
    const qint64 want = qint64(count) * sb;
    const bool cooked = m_track.mode == SheetTrack::Mode::mode1Cooked;
    char *target = out;
    if (cooked) {
        m_scratch.resize(std::max<std::size_t>(m_scratch.size(), std::size_t(want)));
        target = m_scratch.data();
    }
    qint64 got = 0;
    if (m_file.isOpen() && m_file.seek(first + qint64(sector - m_track.preGap) * sb)) {
        while (got < want) {
            const qint64 n = m_file.read(target + got, want - got);
            if (n <= 0)
                break;
            got += n;
        }
    }
    std::memset(target + got, 0, std::size_t(want - got));
    if (cooked) {
        for (quint64 i = 0; i < count; ++i)
            RawSector::encodeMode1(quint32(m_first + sector + i), target + i * sb, out + i * RawSector::bytes);
    } else if (m_track.bigEndian) {
        for (qint64 i = 0; i + 1 < want; i += 2)
            std::swap(out[i], out[i + 1]);
    }
}
