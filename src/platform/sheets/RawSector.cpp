#include "platform/sheets/RawSector.h"

#include <array>
#include <cstring>

namespace {

struct Tables
{
    std::array<quint32, 256> edc{};
    std::array<quint8, 256> f{}; // multiply by alpha in GF(2^8), x^8+x^4+x^3+x^2+1
    std::array<quint8, 256> b{}; // divide by (alpha + 1)

    constexpr Tables()
    {
        for (quint32 i = 0; i < 256; ++i) {
            quint32 e = i;
            for (int k = 0; k < 8; ++k)
                e = (e >> 1) ^ ((e & 1) ? 0xD8018001u : 0u);
            edc[i] = e;
            const quint32 j = (i << 1) ^ ((i & 0x80) ? 0x11Du : 0u);
            f[i] = quint8(j);
            b[i ^ j] = quint8(i);
        }
    }
};

constexpr Tables tables;

// One family of Reed-Solomon product code parity (P: 86 columns of 24
// bytes; Q: 52 diagonals of 43), over the sector from its header on.
void parity(const quint8 *src, quint32 majorCount, quint32 minorCount, quint32 majorMult, quint32 minorInc,
            quint8 *dest)
{
    const quint32 size = majorCount * minorCount;
    for (quint32 major = 0; major < majorCount; ++major) {
        quint32 index = (major >> 1) * majorMult + (major & 1);
        quint8 a = 0, b = 0;
        for (quint32 minor = 0; minor < minorCount; ++minor) {
            const quint8 v = src[index];
            index += minorInc;
            if (index >= size)
                index -= size;
            a ^= v;
            b ^= v;
            a = tables.f[a];
        }
        a = tables.b[tables.f[a] ^ b];
        dest[major] = a;
        dest[major + majorCount] = quint8(a ^ b);
    }
}

quint8 bcd(quint32 v)
{
    return quint8(((v / 10) << 4) | (v % 10));
}

void header(quint32 lba, quint8 mode, quint8 *out)
{
    static constexpr quint8 sync[12] = {0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00};
    std::memcpy(out, sync, sizeof sync);
    const quint32 address = lba + RawSector::msfOffset;
    out[12] = bcd(address / (75 * 60));
    out[13] = bcd((address / 75) % 60);
    out[14] = bcd(address % 75);
    out[15] = mode;
}

} // namespace

namespace RawSector {

quint32 edc(const char *data, quint32 length)
{
    quint32 e = 0;
    for (quint32 i = 0; i < length; ++i)
        e = (e >> 8) ^ tables.edc[(e ^ quint8(data[i])) & 0xff];
    return e;
}

void encodeMode1(quint32 lba, const char *user, char *out)
{
    auto *s = reinterpret_cast<quint8 *>(out);
    header(lba, 1, s);
    std::memcpy(s + 16, user, userBytes);
    const quint32 e = edc(out, 16 + userBytes);
    for (int i = 0; i < 4; ++i)
        s[0x810 + i] = quint8(e >> (8 * i));
    std::memset(s + 0x814, 0, 8);
    parity(s + 12, 86, 24, 2, 86, s + 0x81C);
    parity(s + 12, 52, 43, 86, 88, s + 0x8C8);
}

void encodeMode2Empty(quint32 lba, char *out)
{
    auto *s = reinterpret_cast<quint8 *>(out);
    header(lba, 2, s);
    std::memset(s + 16, 0, bytes - 16);
}

} // namespace RawSector
