#include "platform/virtual/VirtualCdReader.h"

#include "base/TDError.h"
#include "platform/sheets/SheetProducer.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>

VirtualCdReader::VirtualCdReader(const DiscSheet &sheet, QString burner,
                                 std::shared_ptr<const VirtualTrayStamp> stamp)
    : m_sheet(sheet), m_tracks(sheet.tracks), m_burner(std::move(burner)), m_stamp(std::move(stamp)),
      m_changes(m_stamp->changes.load())
{
    if (!m_tracks.isEmpty())
        m_tracks.first().preGap = 0;
    qint64 lba = 0;
    for (const SheetTrack &t : std::as_const(m_tracks)) {
        m_first.append(lba);
        lba += qint64(t.discSectors());
    }
    m_first.append(lba);
}

DiscSheet VirtualCdReader::discOf(const DiscSheet &sheet)
{
    DiscSheet disc = sheet;
    qint64 lba = 0;
    for (int i = 0; i < disc.tracks.size(); ++i) {
        SheetTrack &t = disc.tracks[i];
        // A burner writes track 1's 2-second pre-gap into the lead-in, before
        // LBA 0; only audio held in the sheet's file before INDEX 01 is
        // readable there.
        if (i == 0)
            t.preGap = 0;
        const quint32 gap = t.preGap + t.fileGap;
        if (t.mode != SheetTrack::Mode::audio && t.mode != SheetTrack::Mode::mode2Raw)
            t.mode = SheetTrack::Mode::mode1Raw;
        t.file.clear();
        t.bigEndian = false;
        t.waveHeader = 0;
        t.start = (lba + gap) * sectorBytes;
        t.fileGap = gap;
        t.preGap = 0;
        t.length += t.postGap;
        t.postGap = 0;
        lba += gap + qint64(t.length);
    }
    return disc;
}

DiscSheet VirtualCdReader::contents()
{
    check(0);
    return discOf(m_sheet);
}

bool VirtualCdReader::read(qint64 lba, int count, char *into)
{
    check(lba * sectorBytes);
    const qint64 from = lba;
    const qint64 end = lba + count;
    if (count < 1 || count > 64 || lba < 0 || end > m_first.last())
        return false;
    for (int i = 0; lba < end; ++i) {
        if (lba >= m_first[i + 1])
            continue;
        const SheetTrack &t = m_tracks[i];
        SheetProducer producer(t, quint32(m_first[i]));
        if (!producer.prepareTrack())
            throw TDError::readFailed(t.file, 0, QFileInfo::exists(t.file) ? EACCES : ENOENT);
        const quint64 gap = quint64(t.preGap) + t.fileGap;
        quint64 sector = quint64(lba - m_first[i]);
        const quint64 last = quint64(std::min(end, m_first[i + 1]) - m_first[i]);
        while (sector < last) {
            const quint64 n = sector < gap ? std::min(last, gap) - sector : last - sector;
            const quint32 bytes = quint32(n * sectorBytes);
            char *out = into + (m_first[i] + qint64(sector) - from) * sectorBytes;
            if (sector < gap)
                producer.producePreGap(out, bytes, sector, sectorBytes);
            else
                producer.produceData(out, bytes, sector - gap, sectorBytes);
            sector += n;
        }
        lba = m_first[i] + qint64(last);
    }
    return true;
}

void VirtualCdReader::check(qint64 offset) const
{
    if (m_stamp->unplugged.load())
        throw TDError::readFailed(m_burner, offset, ENODEV);
    if (m_stamp->changes.load() != m_changes)
        throw TDError::readFailed(m_burner, offset, ENOMEDIUM);
}
