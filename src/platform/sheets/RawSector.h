#pragma once
// Whole 2352-byte CD sectors as a raw (BIN) image holds them, built the way
// ECMA-130 lays them out. Pure functions; any thread.

#include <QtGlobal>

namespace RawSector {

inline constexpr quint32 bytes = 2352;
inline constexpr quint32 userBytes = 2048;
// Where a Mode 1 sector's user data begins: after its sync and header.
inline constexpr quint32 userOffset = 16;
// Logical block 0 sits 2 seconds (150 sectors) into the disc's address space.
inline constexpr quint32 msfOffset = 150;

// Writes a Mode 1 sector for logical block `lba` carrying the 2048 bytes at
// `user` into `out` (2352 bytes): sync, the BCD address header, the data,
// its EDC, eight zero bytes and the P and Q parity. `user` and `out` may not
// overlap.
void encodeMode1(quint32 lba, const char *user, char *out);

// An empty Mode 2 (formless) sector for `lba`: sync, header, zeros; what a
// pre-gap of a Mode 2 track holds.
void encodeMode2Empty(quint32 lba, char *out);

// The EDC (CRC-32 with polynomial 0x8001801B, bit-reversed) of `length`
// bytes.
quint32 edc(const char *data, quint32 length);

} // namespace RawSector
