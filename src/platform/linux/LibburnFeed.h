#pragma once
// One track's data as libburn reads it: the pre-gap, then the track, both
// from the track's producer, through a libburn fifo.
//
// Threading: libburn's fifo thread calls read(); the job thread closes the
// feed before it cleans the producer up, so the two never meet.
//
// Ownership: the feed holds a reference to its producer; a fifo made by
// fifo() holds a reference to the feed until libburn frees the source.
//
// Cancelling: close() makes every later read fail, which also stops the fifo.

#include "platform/api/DiscService.h"

#include <QByteArray>
#include <atomic>
#include <memory>
#include <mutex>

namespace burn {
struct burn_source;
}

class LibburnFeed
{
public:
    // libburn's fifo between a producer and the writer. The writer sleeps
    // 50 ms whenever the fifo runs dry, so it holds several times a drive's
    // buffer: 16 MiB is 0.3 s of a BD-R at 12x.
    static constexpr int fifoBytes = 16 * 1024 * 1024;
    // The fifo reads whole blocks, 16 at a time.
    static constexpr int readBytes(quint32 blockSize) { return int(blockSize) * 16; }

    std::shared_ptr<TrackProducer> producer;
    quint32 blockSize = 2048;
    quint64 gapBlocks = 0;
    quint64 dataBlocks = 0;

    quint64 totalBytes() const { return (gapBlocks + dataBlocks) * blockSize; }
    // Silence after the data, when libburn lengthens a short track; set
    // before the fifo starts reading.
    quint64 padBytes = 0;

    // Copies up to `size` bytes from the current position; -1 once closed,
    // 0 at the end.
    int read(unsigned char *buffer, int size);
    void close();

    // A fifo source over `feed`, owning one reference; nullptr on failure.
    static burn::burn_source *fifo(const std::shared_ptr<LibburnFeed> &feed);

private:
    // Fills `count` blocks from `block` on, all in the gap or all in the data.
    void produce(quint64 block, quint64 count, char *out);

    std::mutex m_lock;
    std::atomic<bool> m_closed = false;
    quint64 m_position = 0;          // bytes handed out
    QByteArray m_staging;            // one block, for reads that split a block
    quint64 m_stagedBlock = ~quint64(0);
};
