#pragma once
// The on-disk layout shared by the UDIF reader and writer: the koly trailer,
// the mish (blkx) table and its chunk entries, all big-endian. Private to
// platform/udif; plain functions on byte buffers, callable from any thread.

#include <QtGlobal>

#include <array>
#include <cstdint>

namespace Udif::Layout {

constexpr int sectorSize = 512;
constexpr int trailerSize = 512;
constexpr int tableHeaderSize = 204;
constexpr int chunkEntrySize = 40;

// Checksum type meaning CRC32 (the only one checked here; 0 means none).
constexpr quint32 checksumCRC32 = 2;

enum ChunkType : quint32 {
    zeroFill = 0x00000000,
    raw = 0x00000001,
    ignore = 0x00000002,
    adc = 0x80000004,
    zlib = 0x80000005,
    bzip2 = 0x80000006,
    lzfse = 0x80000007,
    lzma = 0x80000008,
    comment = 0x7ffffffe,
    end = 0xffffffff,
};

inline quint32 be32(const unsigned char *p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
}
inline quint64 be64(const unsigned char *p)
{
    return quint64(be32(p)) << 32 | be32(p + 4);
}
inline void put32(unsigned char *p, quint32 v)
{
    p[0] = uchar(v >> 24);
    p[1] = uchar(v >> 16);
    p[2] = uchar(v >> 8);
    p[3] = uchar(v);
}
inline void put64(unsigned char *p, quint64 v)
{
    put32(p, quint32(v >> 32));
    put32(p + 4, quint32(v));
}

// Field offsets inside the 512-byte trailer.
namespace Koly {
constexpr int signature = 0;
constexpr int version = 4;
constexpr int headerSize = 8;
constexpr int flags = 12;
constexpr int dataForkOffset = 24;
constexpr int dataForkLength = 32;
constexpr int segmentNumber = 56;
constexpr int segmentCount = 60;
constexpr int segmentId = 64;
constexpr int dataChecksumType = 80;
constexpr int dataChecksumBits = 84;
constexpr int dataChecksum = 88;
constexpr int xmlOffset = 216;
constexpr int xmlLength = 224;
constexpr int masterChecksumType = 352;
constexpr int masterChecksumBits = 356;
constexpr int masterChecksum = 360;
constexpr int imageVariant = 488;
constexpr int sectorCount = 492;
} // namespace Koly

// Field offsets inside a mish table header; chunk entries follow it.
namespace Mish {
constexpr int signature = 0;
constexpr int version = 4;
constexpr int firstSector = 8;
constexpr int sectorCount = 16;
constexpr int dataOffset = 24;
constexpr int buffersNeeded = 32;
constexpr int blockDescriptors = 36;
constexpr int checksumType = 64;
constexpr int checksumBits = 68;
constexpr int checksum = 72;
constexpr int chunkCount = 200;
} // namespace Mish

namespace Chunk {
constexpr int type = 0;
constexpr int comment = 4;
constexpr int sector = 8;
constexpr int sectorCount = 16;
constexpr int offset = 24;
constexpr int length = 32;
} // namespace Chunk

} // namespace Udif::Layout
