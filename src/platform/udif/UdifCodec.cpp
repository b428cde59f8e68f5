#include "platform/udif/UdifCodec.h"

#include "base/TDError.h"
#include "platform/udif/UdifLayout.h"

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <climits>

namespace Udif::Codec {

namespace {

// A hostile LZMA header can ask for a huge dictionary; no real DMG chunk
// needs more than a few MiB.
constexpr quint64 lzmaMemoryLimit = quint64(256) << 20;

// The library APIs count in unsigned int; chunks are capped far below that
// when the tables are read, so this only guards against a caller's mistake.
unsigned int clampUInt(qint64 n)
{
    return unsigned(std::clamp<qint64>(n, 0, UINT_MAX));
}

[[noreturn]] void damaged(const QString &where, const QString &what)
{
    throw TDError::tool(QStringLiteral("This DMG is damaged: %1 %2.").arg(where, what));
}

[[noreturn]] void sizeMismatch(const QString &where, bool more)
{
    damaged(where, more ? QStringLiteral("decompresses to more data than its table says")
                        : QStringLiteral("decompresses to less data than its table says"));
}

void decodeZlib(const char *in, qint64 inLength, char *out, qint64 outLength, const QString &where)
{
    z_stream s{};
    if (inflateInit(&s) != Z_OK)
        throw std::bad_alloc();
    s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in));
    s.avail_in = clampUInt(inLength);
    s.next_out = reinterpret_cast<Bytef *>(out);
    s.avail_out = clampUInt(outLength);
    int rc = inflate(&s, Z_FINISH);
    if ((rc == Z_OK || rc == Z_BUF_ERROR) && s.avail_out == 0) {
        // The output is full but the stream goes on: ask for one byte more
        // to tell a stream that ends exactly here from one that is too long.
        char probe;
        s.next_out = reinterpret_cast<Bytef *>(&probe);
        s.avail_out = 1;
        rc = inflate(&s, Z_FINISH);
        if (s.avail_out == 0) {
            inflateEnd(&s);
            sizeMismatch(where, true);
        }
    }
    const qint64 produced = qint64(s.total_out);
    inflateEnd(&s);
    if (rc == Z_STREAM_END) {
        if (produced != outLength)
            sizeMismatch(where, produced > outLength);
        return;
    }
    if (rc == Z_BUF_ERROR && produced < outLength)
        sizeMismatch(where, false); // the stored stream stops early
    damaged(where, QStringLiteral("is not a valid zlib stream"));
}

void decodeBzip2(const char *in, qint64 inLength, char *out, qint64 outLength, const QString &where)
{
    bz_stream s{};
    if (BZ2_bzDecompressInit(&s, 0, 0) != BZ_OK)
        throw std::bad_alloc();
    s.next_in = const_cast<char *>(in);
    s.avail_in = clampUInt(inLength);
    s.next_out = out;
    s.avail_out = clampUInt(outLength);
    int rc = BZ_OK;
    // bzip2 returns BZ_OK after each step while it can go on.
    // It may still hold output when the input is used up, so go on while
    // either side moves.
    unsigned inBefore, outBefore;
    do {
        inBefore = s.avail_in;
        outBefore = s.avail_out;
        rc = BZ2_bzDecompress(&s);
    } while (rc == BZ_OK && s.avail_out > 0 && (s.avail_in != inBefore || s.avail_out != outBefore));
    if (rc == BZ_OK && s.avail_out == 0) {
        char probe;
        s.next_out = &probe;
        s.avail_out = 1;
        rc = BZ2_bzDecompress(&s);
        if (s.avail_out == 0) {
            BZ2_bzDecompressEnd(&s);
            sizeMismatch(where, true);
        }
    }
    const qint64 produced = qint64(quint64(s.total_out_hi32) << 32 | s.total_out_lo32);
    BZ2_bzDecompressEnd(&s);
    if (rc == BZ_STREAM_END) {
        if (produced != outLength)
            sizeMismatch(where, produced > outLength);
        return;
    }
    if (rc == BZ_OK && produced < outLength)
        sizeMismatch(where, false);
    damaged(where, QStringLiteral("is not a valid bzip2 stream"));
}

// LZMA chunks of the images the other system makes are whole .xz streams
// (they start with FD 37 7A 58 5A); the auto decoder also takes the older
// .lzma ("LZMA alone") format, which some third-party tools wrote.
void decodeLzma(const char *in, qint64 inLength, char *out, qint64 outLength, const QString &where)
{
    lzma_stream s = LZMA_STREAM_INIT;
    if (lzma_auto_decoder(&s, lzmaMemoryLimit, 0) != LZMA_OK)
        throw std::bad_alloc();
    s.next_in = reinterpret_cast<const uint8_t *>(in);
    s.avail_in = size_t(inLength);
    s.next_out = reinterpret_cast<uint8_t *>(out);
    s.avail_out = size_t(outLength);
    lzma_ret rc = lzma_code(&s, LZMA_FINISH);
    if (rc == LZMA_OK || (rc == LZMA_BUF_ERROR && s.avail_out == 0)) {
        if (s.avail_out == 0) {
            uint8_t probe;
            s.next_out = &probe;
            s.avail_out = 1;
            rc = lzma_code(&s, LZMA_FINISH);
            if (s.avail_out == 0) {
                lzma_end(&s);
                sizeMismatch(where, true);
            }
        }
    }
    const qint64 produced = qint64(s.total_out);
    lzma_end(&s);
    if (rc == LZMA_STREAM_END) {
        if (produced != outLength)
            sizeMismatch(where, produced > outLength);
        return;
    }
    if ((rc == LZMA_BUF_ERROR || rc == LZMA_OK) && produced < outLength)
        sizeMismatch(where, false);
    if (rc == LZMA_MEMLIMIT_ERROR)
        damaged(where, QStringLiteral("asks for more memory than any DMG chunk needs"));
    damaged(where, QStringLiteral("is not a valid LZMA stream"));
}

} // namespace

void decode(quint32 type, const char *in, qint64 inLength, char *out, qint64 outLength, const QString &where)
{
    switch (type) {
    case Layout::zlib:
        return decodeZlib(in, inLength, out, outLength, where);
    case Layout::bzip2:
        return decodeBzip2(in, inLength, out, outLength, where);
    case Layout::lzma:
        return decodeLzma(in, inLength, out, outLength, where);
    default:
        throw TDError::tool(QStringLiteral("This DMG uses a chunk type (0x%1) that Tandor can't read.")
                                .arg(type, 8, 16, QLatin1Char('0')));
    }
}

quint32 crc32(quint32 crc, const char *data, qint64 length)
{
    const auto *p = reinterpret_cast<const Bytef *>(data);
    while (length > 0) {
        const uInt step = uInt(std::min<qint64>(length, 1 << 30));
        crc = quint32(::crc32(crc, p, step));
        p += step;
        length -= step;
    }
    return crc;
}

quint32 crc32Combine(quint32 first, quint32 second, qint64 secondLength)
{
    return quint32(::crc32_combine(first, second, z_off_t(secondLength)));
}

quint32 crc32Zeros(quint32 crc, qint64 length)
{
    // The CRC of 2^k zero bytes for each bit of `length`, built by doubling.
    static const char zeros[512] = {};
    quint32 block = crc32(0, zeros, sizeof zeros);
    qint64 blockLength = sizeof zeros;
    const qint64 tail = length % qint64(sizeof zeros);
    qint64 rest = length - tail;
    while (rest > 0) {
        if (rest & blockLength) {
            crc = crc32Combine(crc, block, blockLength);
            rest -= blockLength;
        }
        block = crc32Combine(block, block, blockLength);
        blockLength *= 2;
    }
    return crc32(crc, zeros, tail);
}

QString compressionName(quint32 type)
{
    switch (type) {
    case Layout::adc:
        return QStringLiteral("ADC");
    case Layout::zlib:
        return QStringLiteral("zlib");
    case Layout::bzip2:
        return QStringLiteral("bzip2");
    case Layout::lzfse:
        return QStringLiteral("LZFSE");
    case Layout::lzma:
        return QStringLiteral("LZMA");
    default:
        return {};
    }
}

} // namespace Udif::Codec
