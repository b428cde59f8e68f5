#include "platform/udif/Udif.h"

#include "base/CancelToken.h"
#include "base/TDError.h"
#include "platform/udif/UdifCodec.h"
#include "platform/udif/UdifFile.h"
#include "platform/udif/UdifLayout.h"

#include <QUuid>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <future>
#include <thread>
#include <vector>

namespace Udif {

namespace {

using namespace Layout;

// 2048 sectors per chunk, as the other system's own compressed images use.
constexpr qint64 chunkBytes = qint64(1) << 20;
constexpr qint64 chunkSectors = chunkBytes / sectorSize;
// Level 1: the image is made once and read many times, but making it must
// not be slower than gzip -1; the larger levels gain a few percent for
// several times the time.
constexpr int zlibLevel = 1;

struct Packed
{
    quint32 type = zeroFill;
    qint64 decodedLength = 0;
    quint32 crc = 0;               // of the decoded bytes
    std::vector<char> stored;      // empty for a zero chunk
};

bool allZero(const char *p, qint64 n)
{
    // Word-wise while aligned, the tail byte-wise.
    qint64 i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 w;
        std::memcpy(&w, p + i, 8);
        if (w)
            return false;
    }
    for (; i < n; ++i)
        if (p[i])
            return false;
    return true;
}

Packed pack(std::vector<char> input)
{
    Packed out;
    out.decodedLength = qint64(input.size());
    out.crc = Codec::crc32(0, input.data(), out.decodedLength);
    if (allZero(input.data(), out.decodedLength))
        return out;
    uLongf length = compressBound(uLong(input.size()));
    out.stored.resize(length);
    if (compress2(reinterpret_cast<Bytef *>(out.stored.data()), &length,
                  reinterpret_cast<const Bytef *>(input.data()), uLong(input.size()), zlibLevel)
            == Z_OK
        && qint64(length) < out.decodedLength) {
        out.type = zlib;
        out.stored.resize(length);
    } else {
        // Random data grows a little when compressed; keep it as it is.
        out.type = raw;
        out.stored = std::move(input);
    }
    return out;
}

QByteArray base64Lines(const QByteArray &data)
{
    // Wrapped the way the other system writes property-list data.
    const QByteArray text = data.toBase64();
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); i += 52)
        out += "\t\t\t" + text.mid(i, 52) + '\n';
    return out;
}

QByteArray plist(const QByteArray &table)
{
    QByteArray x;
    x += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
         "<plist version=\"1.0\">\n"
         "<dict>\n"
         "\t<key>resource-fork</key>\n"
         "\t<dict>\n"
         "\t\t<key>blkx</key>\n"
         "\t\t<array>\n"
         "\t\t\t<dict>\n"
         "\t\t\t\t<key>Attributes</key>\n"
         "\t\t\t\t<string>0x0050</string>\n"
         "\t\t\t\t<key>CFName</key>\n"
         "\t\t\t\t<string>whole disk (Apple_ISO : 0)</string>\n"
         "\t\t\t\t<key>Data</key>\n"
         "\t\t\t\t<data>\n";
    x += base64Lines(table);
    x += "\t\t\t\t</data>\n"
         "\t\t\t\t<key>ID</key>\n"
         "\t\t\t\t<string>0</string>\n"
         "\t\t\t\t<key>Name</key>\n"
         "\t\t\t\t<string>whole disk (Apple_ISO : 0)</string>\n"
         "\t\t\t</dict>\n"
         "\t\t</array>\n"
         "\t</dict>\n"
         "</dict>\n"
         "</plist>\n";
    return x;
}

class TableBuilder
{
public:
    void add(quint32 type, qint64 sectors, qint64 offset, qint64 length)
    {
        unsigned char e[chunkEntrySize] = {};
        put32(e + Chunk::type, type);
        put64(e + Chunk::sector, quint64(m_sectors));
        put64(e + Chunk::sectorCount, quint64(sectors));
        put64(e + Chunk::offset, quint64(offset));
        put64(e + Chunk::length, quint64(length));
        m_entries.append(reinterpret_cast<const char *>(e), chunkEntrySize);
        m_sectors += sectors;
    }
    qint64 sectors() const { return m_sectors; }

    QByteArray finish(qint64 forkEnd, quint32 crc)
    {
        add(end, 0, forkEnd, 0);
        unsigned char h[tableHeaderSize] = {};
        std::memcpy(h, "mish", 4);
        put32(h + Mish::version, 1);
        put64(h + Mish::firstSector, 0);
        put64(h + Mish::sectorCount, quint64(m_sectors));
        put64(h + Mish::dataOffset, 0);
        // Sectors a reader must buffer for one chunk, with the usual margin.
        put32(h + Mish::buffersNeeded, quint32(chunkSectors + 8));
        put32(h + Mish::checksumType, checksumCRC32);
        put32(h + Mish::checksumBits, 32);
        put32(h + Mish::checksum, crc);
        put32(h + Mish::chunkCount, quint32(m_entries.size() / chunkEntrySize));
        return QByteArray(reinterpret_cast<const char *>(h), tableHeaderSize) + m_entries;
    }

private:
    QByteArray m_entries;
    qint64 m_sectors = 0;
};

} // namespace

void write(const QString &input, const QString &output, const std::function<void(double)> &progress,
           const CancelToken *cancel)
{
    if (cancel && cancel->isCancelled())
        throw TDError::cancelled();
    UdifFile in(input, UdifFile::Mode::read);
    const qint64 inputSize = in.size();
    UdifFile out(output, UdifFile::Mode::createTruncate);

    // Chunks are packed on worker threads, a bounded number ahead of the one
    // being written, and written in order.
    const int workers = int(std::clamp(std::thread::hardware_concurrency(), 2u, 8u));
    const size_t ahead = size_t(workers) + 2;
    std::deque<std::future<Packed>> pending;

    TableBuilder table;
    qint64 readPos = 0;
    qint64 fork = 0;
    quint32 tableCrc = 0;
    quint32 forkCrc = 0;
    bool inputEnded = false;
    for (;;) {
        while (!inputEnded && pending.size() < ahead) {
            if (cancel && cancel->isCancelled())
                throw TDError::cancelled();
            std::vector<char> buffer(static_cast<size_t>(chunkBytes));
            const qint64 got = in.readSome(readPos, buffer.data(), chunkBytes);
            if (got == 0) {
                inputEnded = true;
                break;
            }
            readPos += got;
            // A last sector cut short is padded with zeros: the decoded image
            // is whole sectors, a few bytes longer than such an input.
            buffer.resize(size_t((got + sectorSize - 1) / sectorSize * sectorSize));
            std::fill(buffer.begin() + got, buffer.end(), 0);
            pending.push_back(std::async(std::launch::async, pack, std::move(buffer)));
        }
        if (pending.empty())
            break;
        Packed p = pending.front().get();
        pending.pop_front();

        const qint64 sectors = p.decodedLength / sectorSize;
        table.add(p.type, sectors, fork, qint64(p.stored.size()));
        tableCrc = Codec::crc32Combine(tableCrc, p.crc, p.decodedLength);
        if (!p.stored.empty()) {
            out.writeAt(fork, p.stored.data(), qint64(p.stored.size()));
            forkCrc = Codec::crc32(forkCrc, p.stored.data(), qint64(p.stored.size()));
            fork += qint64(p.stored.size());
        }
        if (progress && inputSize > 0)
            progress(double(std::min(table.sectors() * sectorSize, inputSize)) / double(inputSize));
    }
    if (cancel && cancel->isCancelled())
        throw TDError::cancelled();

    const QByteArray mish = table.finish(fork, tableCrc);
    const QByteArray xml = plist(mish);
    out.writeAt(fork, xml.constData(), xml.size());

    unsigned char k[trailerSize] = {};
    std::memcpy(k, "koly", 4);
    put32(k + Koly::version, 4);
    put32(k + Koly::headerSize, trailerSize);
    put32(k + Koly::flags, 1); // flattened: data fork and property list in one file
    put64(k + Koly::dataForkOffset, 0);
    put64(k + Koly::dataForkLength, quint64(fork));
    put32(k + Koly::segmentNumber, 1);
    put32(k + Koly::segmentCount, 1);
    const QByteArray uuid = QUuid::createUuid().toRfc4122();
    std::memcpy(k + Koly::segmentId, uuid.constData(), 16);
    put32(k + Koly::dataChecksumType, checksumCRC32);
    put32(k + Koly::dataChecksumBits, 32);
    put32(k + Koly::dataChecksum, forkCrc);
    put64(k + Koly::xmlOffset, quint64(fork));
    put64(k + Koly::xmlLength, quint64(xml.size()));
    // The master checksum: CRC32 of each table's CRC32 as big-endian bytes.
    unsigned char tableCrcBytes[4];
    put32(tableCrcBytes, tableCrc);
    put32(k + Koly::masterChecksumType, checksumCRC32);
    put32(k + Koly::masterChecksumBits, 32);
    put32(k + Koly::masterChecksum, Codec::crc32(0, reinterpret_cast<const char *>(tableCrcBytes), 4));
    put32(k + Koly::imageVariant, 1);
    put64(k + Koly::sectorCount, quint64(table.sectors()));
    out.writeAt(fork + xml.size(), reinterpret_cast<const char *>(k), trailerSize);
    if (progress)
        progress(1.0);
}

} // namespace Udif
