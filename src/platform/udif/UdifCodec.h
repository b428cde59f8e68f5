#pragma once
// Chunk decompression and CRC32 helpers for the UDIF reader and writer.
// Private to platform/udif. Stateless functions, callable from any thread.

#include <QString>
#include <QtGlobal>

#include <cstdint>

namespace Udif::Codec {

// Decodes `inLength` stored bytes of a chunk of `type` (zlib, bzip2 or LZMA)
// into exactly `outLength` bytes at `out`. Throws TDError::tool when the
// stream is damaged or decodes to more or fewer bytes than `outLength`;
// `where` names the chunk in that sentence ("the chunk at 1.0 MiB").
void decode(quint32 type, const char *in, qint64 inLength, char *out, qint64 outLength, const QString &where);

// CRC32 (the zlib/PNG polynomial) of `length` bytes, continuing from `crc`.
quint32 crc32(quint32 crc, const char *data, qint64 length);
// The CRC32 of `first` followed by `secondLength` bytes whose CRC32 is `second`.
quint32 crc32Combine(quint32 first, quint32 second, qint64 secondLength);
// crc32(crc, zeros, length) without touching memory: zero chunks may stand
// for gigabytes.
quint32 crc32Zeros(quint32 crc, qint64 length);

// The name the user knows a chunk's compression by ("LZFSE"), or empty for
// a type that isn't a known compression.
QString compressionName(quint32 type);

} // namespace Udif::Codec
