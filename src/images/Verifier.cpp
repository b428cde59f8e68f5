#include "images/Verifier.h"

#include "base/Format.h"
#include "images/BlockReader.h"
#include "images/Checksums.h"
#include "platform/crypto/Digest.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

using Crypto::Digest;

// Reads and hashes the other source on a thread of its own, a few chunks
// ahead of the worker, so both SHA-256 runs use a core each. Chunk k covers
// the same bytes as the worker's chunk k (the sizes only depend on the image
// size). A chunk the source could not fill is zero-padded to its full size,
// hashed that way, and is the last one.
//
// The worker takes chunk k, compares it, and releases it before taking
// chunk k + 1; the helper never writes a slot that has not been released.
// The destructor stops and joins the helper, so an exception on the worker
// can't leave it running.
class OtherLane
{
public:
    static constexpr int slotCount = 4;

    struct Piece
    {
        const char *data = nullptr; // the full chunk, zero-padded past `got`
        qint64 got = 0;             // bytes the source really had
    };

    OtherLane(const BlockReader &reader, qint64 size)
        : m_reader(reader), m_size(size), m_sha(Digest::Algorithm::sha256),
          m_storage(new char[slotCount * BlockReader::chunk])
    {
        m_thread = std::thread([this] { run(); });
    }

    ~OtherLane()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    OtherLane(const OtherLane &) = delete;
    OtherLane &operator=(const OtherLane &) = delete;

    // Waits for chunk `k`; rethrows the helper's failure when it failed there.
    Piece take(qint64 k)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_produced > k || m_error || m_ended; });
        if (m_produced > k)
            return {m_storage.get() + (k % slotCount) * BlockReader::chunk, m_got[k % slotCount]};
        if (m_error)
            std::rethrow_exception(m_error);
        return {}; // not reached: the worker stops at the last chunk
    }

    // Gives the oldest taken chunk back to the helper.
    void release()
    {
        {
            std::lock_guard lock(m_mutex);
            ++m_released;
        }
        m_changed.notify_all();
    }

    // Waits for the helper to end and returns the other side's SHA-256.
    QByteArray finish()
    {
        m_thread.join();
        if (m_error)
            std::rethrow_exception(m_error);
        return m_sha.finish();
    }

private:
    void run()
    {
        try {
            for (qint64 k = 0, offset = 0; offset < m_size; ++k, offset += BlockReader::chunk) {
                {
                    std::unique_lock lock(m_mutex);
                    m_changed.wait(lock, [&] { return m_stop || k - m_released < slotCount; });
                    if (m_stop)
                        break;
                }
                char *slot = m_storage.get() + (k % slotCount) * BlockReader::chunk;
                const qint64 ask = std::min(m_size - offset, BlockReader::chunk);
                const qint64 got = m_reader.read(offset, slot, ask);
                if (got < ask)
                    std::memset(slot + got, 0, size_t(ask - got));
                m_sha.update(slot, size_t(ask));
                {
                    std::lock_guard lock(m_mutex);
                    m_got[k % slotCount] = got;
                    m_produced = k + 1;
                }
                m_changed.notify_all();
                if (got < ask)
                    break;
            }
        } catch (...) {
            std::lock_guard lock(m_mutex);
            m_error = std::current_exception();
        }
        {
            std::lock_guard lock(m_mutex);
            m_ended = true;
        }
        m_changed.notify_all();
    }

    const BlockReader &m_reader;
    const qint64 m_size;
    Digest m_sha; // the helper's until it is joined
    std::unique_ptr<char[]> m_storage;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::array<qint64, slotCount> m_got{};
    qint64 m_produced = 0;
    qint64 m_released = 0;
    bool m_stop = false;
    bool m_ended = false;
    std::exception_ptr m_error;

    std::thread m_thread; // last: starts after everything it uses exists
};

VerifyResult run(const QString &image, const QString &other, const std::function<void(double)> &progress,
                 CancelToken *cancel)
{
    const std::optional<qint64> size = fileSize(image);
    if (!size)
        throw TDError::cantOpen(image, ENOENT);
    const BlockReader imageReader(image);
    const BlockReader otherReader(other);

    Digest imageSha(Digest::Algorithm::sha256);
    const std::unique_ptr<char[]> buffer(new char[BlockReader::chunk]);

    VerifyResult result;
    qint64 done = 0;
    bool complete = true;
    bool sameSoFar = true;
    {
        OtherLane lane(otherReader, *size);
        for (qint64 k = 0; done < *size && complete; ++k) {
            if (cancel && cancel->isCancelled())
                throw TDError::cancelled();
            const qint64 ask = std::min(*size - done, BlockReader::chunk);
            const qint64 got = imageReader.read(done, buffer.get(), ask);
            if (got < ask) // the image shrank under us: its size no longer holds
                throw TDError::readFailed(image, done + got, EIO);
            imageSha.update(buffer.get(), size_t(ask));

            const OtherLane::Piece piece = lane.take(k);
            if (piece.got < ask) {
                result.shortBy = *size - done - piece.got;
                complete = false;
            }
            if (sameSoFar && std::memcmp(buffer.get(), piece.data, size_t(ask)) != 0) {
                const auto at = std::mismatch(buffer.get(), buffer.get() + ask, piece.data).first;
                result.firstDifference = done + (at - buffer.get());
                sameSoFar = false;
            }
            lane.release();
            done += ask;
            if (progress)
                progress(double(done) / double(*size));
        }
        result.otherSHA256 = Checksums::hex(lane.finish());
    }
    result.imageSHA256 = Checksums::hex(imageSha.finish());
    result.bytes = done;
    result.match = complete && result.imageSHA256 == result.otherSHA256;
    return result;
}

} // namespace

QString VerifyResult::summary() const
{
    if (match)
        return QStringLiteral("Match — SHA-256 ") + imageSHA256.left(16) + QStringLiteral("… is the same on both (")
               + fmtBytes(bytes) + QStringLiteral(" checked).");
    if (shortBy)
        return QStringLiteral("NO MATCH — the disc ends ") + fmtBytes(*shortBy)
               + QStringLiteral(" too early (it is shorter than the image).");
    if (firstDifference)
        return QStringLiteral("NO MATCH — first difference at ") + fmtBytes(*firstDifference)
               + QStringLiteral(" (byte ") + QString::number(*firstDifference)
               + QStringLiteral("). The copy is not the same as the image.");
    return QStringLiteral("NO MATCH — the checksums differ.");
}

namespace Verifier {

VerifyResult compare(const QString &image, const QString &other, const std::function<void(double)> &progress,
                     CancelToken *cancel)
{
    try {
        return run(image, other, progress, cancel);
    } catch (const std::runtime_error &e) {
        // The crypto library failing, or no thread to be had.
        throw TDError::tool(QString::fromLocal8Bit(e.what()));
    }
}

} // namespace Verifier
