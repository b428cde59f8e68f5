#include "platform/linux/LibburnFeed.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <libburn/libburn.h>

using namespace burn;

namespace {

LibburnFeed *feedOf(burn_source *source)
{
    return static_cast<std::shared_ptr<LibburnFeed> *>(source->data)->get();
}

int feedRead(burn_source *source, unsigned char *buffer, int size)
{
    return feedOf(source)->read(buffer, size);
}

off_t feedSize(burn_source *source)
{
    return off_t(feedOf(source)->totalBytes() + feedOf(source)->padBytes);
}

// libburn lengthens a track shorter than four seconds in the cue sheet it
// sends the drive, and then writes as much as the source says it holds.
int feedSetSize(burn_source *source, off_t size)
{
    LibburnFeed *feed = feedOf(source);
    feed->padBytes = quint64(std::max<off_t>(0, size - off_t(feed->totalBytes())));
    return 1;
}

void feedFree(burn_source *source)
{
    delete static_cast<std::shared_ptr<LibburnFeed> *>(source->data);
}

} // namespace

void LibburnFeed::produce(quint64 block, quint64 count, char *out)
{
    const quint32 length = quint32(count * blockSize);
    quint32 made = block < gapBlocks ? producer->producePreGap(out, length, block, blockSize)
                                     : producer->produceData(out, length, block - gapBlocks, blockSize);
    if (made < length)
        std::memset(out + made, 0, length - made);
}

int LibburnFeed::read(unsigned char *buffer, int size)
{
    std::lock_guard guard(m_lock);
    if (m_closed)
        return -1;
    const quint64 total = totalBytes();
    if (m_position >= total && m_position < total + padBytes && size > 0) {
        const quint64 zeros = std::min<quint64>(quint64(size), total + padBytes - m_position);
        std::memset(buffer, 0, zeros);
        m_position += zeros;
        return int(zeros);
    }
    if (m_position >= total || size <= 0)
        return 0;
    const quint64 wanted = std::min<quint64>(quint64(size), total - m_position);
    quint64 done = 0;
    while (done < wanted) {
        const quint64 block = m_position / blockSize;
        const quint64 offset = m_position % blockSize;
        if (offset == 0 && wanted - done >= blockSize) {
            const quint64 regionEnd = block < gapBlocks ? gapBlocks : gapBlocks + dataBlocks;
            const quint64 count = std::min<quint64>((wanted - done) / blockSize, regionEnd - block);
            produce(block, count, reinterpret_cast<char *>(buffer + done));
            done += count * blockSize;
            m_position += count * blockSize;
        } else {
            if (m_stagedBlock != block) {
                m_staging.resize(blockSize);
                produce(block, 1, m_staging.data());
                m_stagedBlock = block;
            }
            const quint64 part = std::min<quint64>(blockSize - offset, wanted - done);
            std::memcpy(buffer + done, m_staging.constData() + offset, part);
            done += part;
            m_position += part;
        }
    }
    return int(done);
}

void LibburnFeed::close()
{
    // Flagged before locking: a fifo that is never full reads again the
    // moment a read returns, and would otherwise keep the lock from us.
    m_closed = true;
    std::lock_guard guard(m_lock); // a read under way ends first
}

burn_source *LibburnFeed::fifo(const std::shared_ptr<LibburnFeed> &feed)
{
    auto *source = static_cast<burn_source *>(calloc(1, sizeof(burn_source)));
    if (!source)
        return nullptr;
    source->refcount = 1;
    source->read = feedRead;
    source->get_size = feedSize;
    source->set_size = feedSetSize;
    source->free_data = feedFree;
    source->data = new std::shared_ptr<LibburnFeed>(feed);
    // Fed whole blocks only (flag 0: in reads of one chunk): when the writer
    // drains the fifo and finds only part of a block, libburn 1.5 copies the
    // rest of it from the wrong place, and a 2352-byte audio sector goes out
    // scrambled. Sixteen blocks a read keep the fifo ahead of a fast burner.
    const int chunk = readBytes(feed->blockSize);
    burn_source *fifo = burn_fifo_source_new(source, chunk, std::max(2, fifoBytes / chunk), 0);
    burn_source_free(source);
    return fifo;
}
