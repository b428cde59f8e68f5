#include "images/Checksums.h"

#include "images/BlockReader.h"
#include "platform/crypto/Digest.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace Checksums {

namespace {

using Crypto::Digest;

// MD5 is several times slower than SHA-256 with the CPU's SHA instructions,
// so it gets a core of its own: the worker reads a chunk into a free buffer,
// hands it here, and hashes SHA-256 of the same (read-only) buffer while this
// thread hashes MD5 of it. With a few buffers in the ring the MD5 thread
// always has the next chunk waiting, and the whole job takes about as long as
// MD5 alone.
//
// The helper never blocks on anything but the ring, and the destructor stops
// and joins it, so an exception thrown on the worker (cancellation, a read
// error) cannot leave it behind.
class Md5Lane
{
public:
    static constexpr int bufferCount = 4;

    Md5Lane()
        : m_md5(Digest::Algorithm::md5),
          m_storage(new char[bufferCount * BlockReader::chunk]) // left uninitialised: reads fill it
    {
        for (int i = 0; i < bufferCount; ++i)
            m_free[i] = m_storage.get() + i * BlockReader::chunk;
        m_freeCount = bufferCount;
        m_thread = std::thread([this] { run(); });
    }

    ~Md5Lane()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        if (m_thread.joinable())
            m_thread.join();
    }

    Md5Lane(const Md5Lane &) = delete;
    Md5Lane &operator=(const Md5Lane &) = delete;

    // A buffer of one chunk that nobody is reading. Waits for the helper to
    // finish one if all are in use; rethrows the helper's failure.
    char *acquire()
    {
        std::unique_lock lock(m_mutex);
        m_freed.wait(lock, [this] { return m_freeCount > 0 || m_error; });
        if (m_error)
            std::rethrow_exception(m_error);
        return m_free[--m_freeCount];
    }

    // Queues `size` bytes of a buffer from acquire(). The caller may go on
    // reading the buffer but not write to it; the helper gives it back.
    void submit(const char *data, qint64 size)
    {
        {
            std::lock_guard lock(m_mutex);
            m_queue[(m_head + m_queued) % bufferCount] = {const_cast<char *>(data), size};
            ++m_queued;
        }
        m_wake.notify_one();
    }

    // Waits for every queued chunk to be hashed, ends the helper and returns
    // the MD5. Rethrows the helper's failure.
    QByteArray finish()
    {
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
        }
        m_wake.notify_one();
        m_thread.join();
        if (m_error)
            std::rethrow_exception(m_error);
        return m_md5.finish();
    }

private:
    struct Piece
    {
        char *data = nullptr;
        qint64 size = 0;
    };

    void run()
    {
        try {
            for (;;) {
                Piece piece;
                {
                    std::unique_lock lock(m_mutex);
                    m_wake.wait(lock, [this] { return m_stop || m_closing || m_queued > 0; });
                    if (m_stop || m_queued == 0)
                        return;
                    piece = m_queue[m_head];
                    m_head = (m_head + 1) % bufferCount;
                    --m_queued;
                }
                m_md5.update(piece.data, size_t(piece.size));
                {
                    std::lock_guard lock(m_mutex);
                    m_free[m_freeCount++] = piece.data;
                }
                m_freed.notify_one();
            }
        } catch (...) {
            {
                std::lock_guard lock(m_mutex);
                m_error = std::current_exception();
            }
            m_freed.notify_one();
        }
    }

    Digest m_md5; // used by the helper until it is joined
    std::unique_ptr<char[]> m_storage;

    std::mutex m_mutex;
    std::condition_variable m_wake;  // helper: a chunk is queued, or stop/close
    std::condition_variable m_freed; // worker: a buffer is free, or the helper failed
    std::array<char *, bufferCount> m_free{};
    int m_freeCount = 0;
    std::array<Piece, bufferCount> m_queue{};
    int m_head = 0;
    int m_queued = 0;
    bool m_closing = false;
    bool m_stop = false;
    std::exception_ptr m_error;

    std::thread m_thread; // last: starts after everything it uses exists
};

Digests hashAll(const QString &path, std::optional<qint64> length, const std::function<void(double)> &progress,
                CancelToken *cancel)
{
    using Clock = std::chrono::steady_clock;
    constexpr auto reportEvery = std::chrono::milliseconds(100);

    const BlockReader reader(path);
    const qint64 total = length ? *length : fileSize(path).value_or(0);

    Digest sha256(Digest::Algorithm::sha256);
    Md5Lane md5;

    qint64 done = 0;
    auto lastReport = Clock::now();
    if (!length || *length > 0) {
        do {
            const qint64 ask = length ? std::min(*length - done, BlockReader::chunk) : BlockReader::chunk;
            char *buffer = md5.acquire();
            if (cancel && cancel->isCancelled())
                throw TDError::cancelled();
            const qint64 got = reader.read(done, buffer, ask);
            md5.submit(buffer, got);
            sha256.update(buffer, size_t(got));
            done += got;
            if (progress && total > 0) {
                const auto now = Clock::now();
                if (now - lastReport > reportEvery) {
                    lastReport = now;
                    progress(double(done) / double(total));
                }
            }
            if (got < ask)
                break;
        } while (!length || done < *length);
        if (length && done < *length)
            throw TDError::readFailed(path, done, EIO);
    }

    Digests result{hex(md5.finish()), hex(sha256.finish()), done};
    if (progress)
        progress(1.0);
    return result;
}

} // namespace

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

Digests compute(const QString &path, std::optional<qint64> length, const std::function<void(double)> &progress,
                CancelToken *cancel)
{
    try {
        return hashAll(path, length, progress, cancel);
    } catch (const std::runtime_error &e) {
        // The crypto library failing, or no thread to be had for MD5.
        throw TDError::tool(QString::fromLocal8Bit(e.what()));
    }
}

Digests compute(const QString &path, const std::function<void(double)> &progress, CancelToken *cancel)
{
    return compute(path, std::nullopt, progress, cancel);
}

QString normalize(const QString &text)
{
    const QString trimmed = text.trimmed();
    qsizetype end = 0;
    while (end < trimmed.size() && trimmed[end] != QLatin1Char(' ') && trimmed[end] != QLatin1Char('\t'))
        ++end;
    return trimmed.first(end).toLower();
}

ChecksumMatch match(const QString &text, const Digests &digests)
{
    const QString s = normalize(text);
    if (s.size() != 32 && s.size() != 64)
        return ChecksumMatch::notAChecksum;
    for (const QChar c : s) {
        const bool hexDigit = (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                              || (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
        if (!hexDigit)
            return ChecksumMatch::notAChecksum;
    }
    if (s == digests.md5)
        return ChecksumMatch::md5;
    if (s == digests.sha256)
        return ChecksumMatch::sha256;
    return ChecksumMatch::noMatch;
}

QString verdict(ChecksumMatch result)
{
    switch (result) {
    case ChecksumMatch::md5:
        return QStringLiteral("MATCH — the MD5 is the same.");
    case ChecksumMatch::sha256:
        return QStringLiteral("MATCH — the SHA-256 is the same.");
    case ChecksumMatch::noMatch:
        return QStringLiteral("NO MATCH — this file is not the one that checksum belongs to.");
    case ChecksumMatch::notAChecksum:
        return QStringLiteral("That isn't an MD5 or SHA-256 (32 or 64 letters and numbers).");
    }
    return {};
}

QString fileText(const Digests &digests, const QString &name)
{
    // The checking tools read one line per file, so a name holding a line
    // break (or the backslash that escapes it) is escaped the way they
    // write it themselves: a backslash in front of the line says so.
    QString escaped;
    escaped.reserve(name.size());
    bool marked = false;
    for (const QChar c : name) {
        switch (c.unicode()) {
        case u'\\':
            escaped += QStringLiteral("\\\\");
            break;
        case u'\n':
            escaped += QStringLiteral("\\n");
            break;
        case u'\r':
            escaped += QStringLiteral("\\r");
            break;
        default:
            escaped += c;
            continue;
        }
        marked = true;
    }
    const QString lead = marked ? QStringLiteral("\\") : QString();
    const auto line = [&](const QString &tag, const QString &digest) {
        return lead + tag + QStringLiteral(" (") + escaped + QStringLiteral(") = ") + digest + QLatin1Char('\n');
    };
    // Then a blank line and the plain form sha256sum itself writes.
    return line(QStringLiteral("SHA256"), digests.sha256) + line(QStringLiteral("MD5"), digests.md5)
           + QLatin1Char('\n') + lead + digests.sha256 + QStringLiteral("  ") + escaped + QLatin1Char('\n');
}

} // namespace Checksums
