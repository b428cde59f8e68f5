#include "platform/udif/Udif.h"

#include "base/CancelToken.h"
#include "base/Format.h"
#include "base/TDError.h"
#include "platform/udif/UdifCodec.h"
#include "platform/udif/UdifFile.h"
#include "platform/udif/UdifLayout.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <cstring>
#include <deque>
#include <future>
#include <vector>

namespace Udif {

namespace {

using namespace Layout;

// A property list bigger than this is not a disk image's.
constexpr qint64 maxPlistBytes = qint64(64) << 20;
// Chunks that are decoded into memory (raw and compressed ones) may be no
// larger than this, stored or decoded, so a hostile table can't make us
// allocate gigabytes. Real images use 1 MiB or less.
constexpr qint64 maxChunkBytes = qint64(64) << 20;
// Sector numbers beyond this can't be turned into byte offsets safely.
constexpr quint64 maxSectors = quint64(1) << 50;
constexpr int maxPlistDepth = 32;
// Chunks decoded ahead of a sequential reader: two keep two cores busy while
// the reader copies out the current one.
constexpr size_t aheadDepth = 2;

[[noreturn]] void damaged(const QString &what)
{
    throw TDError::tool(QStringLiteral("This DMG is damaged: %1.").arg(what));
}

QString hex32(quint32 v)
{
    return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0'));
}

// ---- the property list -------------------------------------------------

struct PlistNode
{
    enum class Kind { dict, array, data, string, other };
    Kind kind = Kind::other;
    QByteArray bytes;                   // data: decoded; string: UTF-8
    std::vector<QString> keys;          // dict only, parallel to children
    std::vector<PlistNode> children;    // dict values or array items

    const PlistNode *value(QLatin1StringView key, Kind wanted) const
    {
        for (size_t i = 0; i < keys.size(); ++i)
            if (keys[i] == key && children[i].kind == wanted)
                return &children[i];
        return nullptr;
    }
};

// Throws when the XML itself is broken, which readNextStartElement() only
// reports as "no more elements".
void checkXml(const QXmlStreamReader &xml)
{
    if (xml.hasError())
        damaged(QStringLiteral("its property list is not well-formed XML (%1)").arg(xml.errorString()));
}

// Reads the value whose start tag the reader stands on.
PlistNode parseValue(QXmlStreamReader &xml, int depth)
{
    if (depth > maxPlistDepth)
        damaged(QStringLiteral("its property list is nested too deeply"));
    PlistNode node;
    const auto name = xml.name();
    if (name == QLatin1StringView("dict")) {
        node.kind = PlistNode::Kind::dict;
        while (xml.readNextStartElement()) {
            if (xml.name() != QLatin1StringView("key"))
                damaged(QStringLiteral("its property list has a value without a key"));
            QString key = xml.readElementText();
            checkXml(xml);
            if (!xml.readNextStartElement()) {
                checkXml(xml);
                damaged(QStringLiteral("its property list has a key without a value"));
            }
            node.keys.push_back(std::move(key));
            node.children.push_back(parseValue(xml, depth + 1));
        }
        checkXml(xml);
    } else if (name == QLatin1StringView("array")) {
        node.kind = PlistNode::Kind::array;
        while (xml.readNextStartElement())
            node.children.push_back(parseValue(xml, depth + 1));
        checkXml(xml);
    } else if (name == QLatin1StringView("data")) {
        node.kind = PlistNode::Kind::data;
        QByteArray text = xml.readElementText().toLatin1();
        text.removeIf([](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; });
        auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            damaged(QStringLiteral("its property list holds data that isn't valid base64"));
        node.bytes = std::move(decoded.decoded);
    } else if (name == QLatin1StringView("string")) {
        node.kind = PlistNode::Kind::string;
        node.bytes = xml.readElementText().toUtf8();
    } else {
        xml.skipCurrentElement();
    }
    return node;
}

// ---- the decoded image's map -------------------------------------------

struct ChunkInfo
{
    quint32 type = 0;
    qint64 start = 0;       // byte offset in the decoded image
    qint64 length = 0;      // decoded bytes
    qint64 stored = 0;      // byte offset of the stored data in the file
    qint64 storedLength = 0;
    int table = 0;
};

struct TableInfo
{
    qint64 start = 0;
    qint64 length = 0;
    quint32 checksumType = 0;
    quint32 checksum = 0;
    int plistIndex = 0;     // position in the blkx array, for messages
    QString name;
};

bool needsBuffer(quint32 type)
{
    return type != zeroFill && type != ignore;
}

class ReaderImpl final : public Reader
{
public:
    explicit ReaderImpl(const QString &path) : m_file(path, UdifFile::Mode::read)
    {
        readTrailer();
        readTables(readPlist());
    }

    ~ReaderImpl() override { dropAhead(); }

    qint64 size() const override { return m_size; }

    void read(qint64 offset, char *out, qint64 length) override
    {
        if (offset < 0 || length < 0 || offset > m_size || length > m_size - offset)
            throw TDError::tool(QStringLiteral("A read of %1 bytes at byte %2 falls outside the %3-byte DMG image.")
                                    .arg(length)
                                    .arg(offset)
                                    .arg(m_size));
        while (length > 0) {
            const size_t i = chunkAt(offset);
            const ChunkInfo &c = m_chunks[i];
            const qint64 within = offset - c.start;
            const qint64 n = std::min(length, c.length - within);
            if (needsBuffer(c.type)) {
                decodeCached(i);
                std::memcpy(out, m_cache.data() + within, size_t(n));
            } else {
                std::memset(out, 0, size_t(n));
            }
            out += n;
            offset += n;
            length -= n;
        }
    }

    void verify(const std::function<void(double)> &progress, const CancelToken *cancel) override
    {
        walk(nullptr, progress, cancel);
    }

    void decodeTo(const QString &output, const std::function<void(double)> &progress,
                  const CancelToken *cancel) override
    {
        UdifFile out(output, UdifFile::Mode::createTruncate);
        walk(&out, progress, cancel);
        // Zero chunks were skipped; the holes read back as zeros.
        out.resize(m_size);
    }

private:
    void readTrailer()
    {
        const qint64 fileSize = m_file.size();
        if (fileSize < trailerSize)
            throw TDError::tool(QStringLiteral("This file is too short to be a DMG."));
        unsigned char k[trailerSize];
        m_file.readExactly(fileSize - trailerSize, reinterpret_cast<char *>(k), trailerSize);
        if (std::memcmp(k, "koly", 4) != 0)
            throw TDError::tool(QStringLiteral("This file is not a DMG: it has no UDIF trailer (\"koly\")."));
        if (be32(k + Koly::version) != 4 || be32(k + Koly::headerSize) != trailerSize)
            damaged(QStringLiteral("its trailer has version %1 and size %2, not version 4 and size 512")
                        .arg(be32(k + Koly::version))
                        .arg(be32(k + Koly::headerSize)));
        if (be32(k + Koly::segmentCount) > 1)
            throw TDError::tool(QStringLiteral("This DMG is split into %1 segments, which Tandor can't read. "
                                               "Join it into one DMG first.")
                                    .arg(be32(k + Koly::segmentCount)));

        // Everything the trailer points at must lie before the trailer.
        const quint64 limit = quint64(fileSize - trailerSize);
        const quint64 forkOffset = be64(k + Koly::dataForkOffset);
        const quint64 forkLength = be64(k + Koly::dataForkLength);
        if (forkOffset > limit || forkLength > limit - forkOffset)
            damaged(QStringLiteral("its data fork lies outside the file"));
        const quint64 xmlOffset = be64(k + Koly::xmlOffset);
        const quint64 xmlLength = be64(k + Koly::xmlLength);
        if (xmlLength == 0)
            throw TDError::tool(QStringLiteral("This DMG has no property list (an old format Tandor can't read)."));
        if (xmlOffset > limit || xmlLength > limit - xmlOffset)
            damaged(QStringLiteral("its property list lies outside the file"));
        if (xmlLength > quint64(maxPlistBytes))
            damaged(QStringLiteral("its property list is %1, more than any disk image needs")
                        .arg(fmtBytes(qint64(xmlLength))));
        const quint64 sectors = be64(k + Koly::sectorCount);
        if (sectors > maxSectors)
            damaged(QStringLiteral("its trailer claims %1 sectors").arg(sectors));

        m_forkOffset = qint64(forkOffset);
        m_forkLength = qint64(forkLength);
        m_xmlOffset = qint64(xmlOffset);
        m_xmlLength = qint64(xmlLength);
        m_size = qint64(sectors) * sectorSize;
        if (be32(k + Koly::dataChecksumType) == checksumCRC32 && be32(k + Koly::dataChecksumBits) == 32) {
            m_forkChecked = true;
            m_forkChecksum = be32(k + Koly::dataChecksum);
        }
        if (be32(k + Koly::masterChecksumType) == checksumCRC32 && be32(k + Koly::masterChecksumBits) == 32) {
            m_masterChecked = true;
            m_masterChecksum = be32(k + Koly::masterChecksum);
        }
    }

    std::vector<std::pair<QByteArray, QString>> readPlist()
    {
        QByteArray text(m_xmlLength, Qt::Uninitialized);
        m_file.readExactly(m_xmlOffset, text.data(), m_xmlLength);
        QXmlStreamReader xml(text);
        if (!xml.readNextStartElement() || xml.name() != QLatin1StringView("plist")
            || !xml.readNextStartElement()) {
            checkXml(xml);
            damaged(QStringLiteral("its property list is not a property list"));
        }
        const PlistNode root = parseValue(xml, 0);
        checkXml(xml);

        const PlistNode *fork = root.value(QLatin1StringView("resource-fork"), PlistNode::Kind::dict);
        const PlistNode *blkx = fork ? fork->value(QLatin1StringView("blkx"), PlistNode::Kind::array) : nullptr;
        if (!blkx)
            damaged(QStringLiteral("its property list has no blkx tables"));
        std::vector<std::pair<QByteArray, QString>> tables;
        for (const PlistNode &entry : blkx->children) {
            const PlistNode *data = entry.value(QLatin1StringView("Data"), PlistNode::Kind::data);
            if (!data)
                damaged(QStringLiteral("blkx entry %1 has no Data").arg(tables.size() + 1));
            const PlistNode *name = entry.value(QLatin1StringView("Name"), PlistNode::Kind::string);
            if (!name)
                name = entry.value(QLatin1StringView("CFName"), PlistNode::Kind::string);
            tables.emplace_back(data->bytes, name ? QString::fromUtf8(name->bytes) : QString());
        }
        return tables;
    }

    void readTables(const std::vector<std::pair<QByteArray, QString>> &plist)
    {
        for (size_t t = 0; t < plist.size(); ++t)
            readTable(int(t), plist[t].first, plist[t].second);

        // Tables in the order of the sectors they cover; each must start where
        // the previous one ended, and together they must cover the image.
        std::vector<int> order(m_tables.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = int(i);
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return m_tables[a].start < m_tables[b].start; });
        qint64 expected = 0;
        for (int t : order) {
            const TableInfo &table = m_tables[t];
            if (table.start != expected)
                damaged(QStringLiteral("its blkx tables %1 at sector %2 (table %3)")
                            .arg(table.start > expected ? QStringLiteral("leave a gap") : QStringLiteral("overlap"))
                            .arg(std::min(expected, table.start) / sectorSize)
                            .arg(table.plistIndex + 1));
            expected = table.start + table.length;
        }
        if (expected != m_size)
            damaged(QStringLiteral("its blkx tables cover %1 sectors but the trailer says the image has %2")
                        .arg(expected / sectorSize)
                        .arg(m_size / sectorSize));
        std::stable_sort(m_chunks.begin(), m_chunks.end(),
                         [](const ChunkInfo &a, const ChunkInfo &b) { return a.start < b.start; });
    }

    void readTable(int index, const QByteArray &data, const QString &name)
    {
        const auto *p = reinterpret_cast<const unsigned char *>(data.constData());
        const QString which = QStringLiteral("blkx table %1").arg(index + 1);
        if (data.size() < tableHeaderSize || std::memcmp(p, "mish", 4) != 0)
            damaged(which + QStringLiteral(" is not a mish table"));
        if (be32(p + Mish::version) != 1)
            damaged(which + QStringLiteral(" has version %1, not 1").arg(be32(p + Mish::version)));
        const quint64 first = be64(p + Mish::firstSector);
        const quint64 count = be64(p + Mish::sectorCount);
        const quint64 dataOffset = be64(p + Mish::dataOffset);
        const quint64 chunks = be32(p + Mish::chunkCount);
        if (first > maxSectors || count > maxSectors)
            damaged(which + QStringLiteral(" claims sectors beyond any disk"));
        if (dataOffset > quint64(m_forkLength))
            damaged(which + QStringLiteral(" points past the data fork"));
        if (quint64(data.size() - tableHeaderSize) / chunkEntrySize < chunks)
            damaged(which + QStringLiteral(" is shorter than its %1 chunks").arg(chunks));

        TableInfo table;
        table.start = qint64(first) * sectorSize;
        table.length = qint64(count) * sectorSize;
        table.plistIndex = index;
        table.name = name;
        if (be32(p + Mish::checksumType) == checksumCRC32 && be32(p + Mish::checksumBits) == 32) {
            table.checksumType = checksumCRC32;
            table.checksum = be32(p + Mish::checksum);
        }

        const quint64 room = quint64(m_forkLength) - dataOffset;
        quint64 next = 0; // the sector, relative to the table, the next chunk must start at
        for (quint64 i = 0; i < chunks; ++i) {
            const unsigned char *e = p + tableHeaderSize + i * chunkEntrySize;
            const quint32 type = be32(e + Chunk::type);
            if (type == end)
                break;
            if (type == comment)
                continue;
            const quint64 sector = be64(e + Chunk::sector);
            const quint64 sectors = be64(e + Chunk::sectorCount);
            const quint64 offset = be64(e + Chunk::offset);
            const quint64 length = be64(e + Chunk::length);
            const QString chunk = which + QStringLiteral(", chunk %1,").arg(i + 1);

            switch (type) {
            case zeroFill:
            case ignore:
            case raw:
            case zlib:
            case bzip2:
            case lzma:
                break;
            case adc:
            case lzfse:
                throw TDError::tool(QStringLiteral("This DMG uses %1 compression, which Tandor can't read. "
                                                   "Convert it to a zlib-compressed DMG or an ISO first.")
                                        .arg(Codec::compressionName(type)));
            default:
                throw TDError::tool(QStringLiteral("This DMG uses an unknown chunk type (0x%1), which Tandor "
                                                   "can't read. Convert it to a zlib-compressed DMG or an ISO first.")
                                        .arg(hex32(type)));
            }
            if (sector != next)
                damaged(chunk + (sector > next ? QStringLiteral(" leaves a gap before it")
                                               : QStringLiteral(" overlaps the one before it")));
            if (sectors > count - next)
                damaged(chunk + QStringLiteral(" reaches past the end of its table"));
            next += sectors;
            if (sectors == 0)
                continue;

            ChunkInfo info;
            info.type = type;
            info.start = qint64(first + sector) * sectorSize;
            info.length = qint64(sectors) * sectorSize;
            info.table = int(m_tables.size());
            if (needsBuffer(type)) {
                if (info.length > maxChunkBytes || length > quint64(maxChunkBytes))
                    damaged(chunk + QStringLiteral(" is larger than any real DMG chunk"));
                if (offset > room || length > room - offset)
                    damaged(chunk + QStringLiteral(" points past the end of the data fork"));
                if (type == raw && qint64(length) < info.length)
                    damaged(chunk + QStringLiteral(" stores less data than it covers"));
                info.stored = m_forkOffset + qint64(dataOffset + offset);
                info.storedLength = type == raw ? info.length : qint64(length);
            }
            m_chunks.push_back(info);
        }
        if (next != count)
            damaged(which + QStringLiteral(" has chunks for %1 of its %2 sectors").arg(next).arg(count));
        m_tables.push_back(table);
    }

    size_t chunkAt(qint64 offset) const
    {
        // Sequential reads stay in the cached chunk or move to the next one.
        if (m_cacheIndex < m_chunks.size()) {
            for (size_t i = m_cacheIndex; i < std::min(m_cacheIndex + 2, m_chunks.size()); ++i)
                if (offset >= m_chunks[i].start && offset < m_chunks[i].start + m_chunks[i].length)
                    return i;
        }
        auto it = std::upper_bound(m_chunks.begin(), m_chunks.end(), offset,
                                   [](qint64 o, const ChunkInfo &c) { return o < c.start; });
        return size_t(it - m_chunks.begin()) - 1; // the tables cover 0..size, so it exists
    }

    QString chunkName(const ChunkInfo &c) const
    {
        return QStringLiteral("the chunk at sector %1").arg(c.start / sectorSize);
    }

    // A chunk's stored bytes and, unless it is raw, what they decode to.
    struct Decoded
    {
        std::vector<char> stored;
        std::vector<char> decoded;
        const char *data() const { return decoded.empty() ? stored.data() : decoded.data(); }
    };

    // Touches only `d` and positional reads of the file, so it may run on a
    // helper thread while the owner's thread reads on. Reuses d's buffers:
    // fresh megabytes cost a page fault every 4 KiB.
    void decodeChunk(const ChunkInfo &c, Decoded &d) const
    {
        d.stored.resize(size_t(c.storedLength));
        m_file.readExactly(c.stored, d.stored.data(), c.storedLength);
        if (c.type == raw) {
            d.decoded.clear();
        } else {
            d.decoded.resize(size_t(c.length));
            Codec::decode(c.type, d.stored.data(), c.storedLength, d.decoded.data(), c.length, chunkName(c));
        }
    }

    Decoded spare()
    {
        if (m_spare.empty())
            return {};
        Decoded d = std::move(m_spare.back());
        m_spare.pop_back();
        return d;
    }

    void recycle(Decoded &&d)
    {
        if (m_spare.size() <= aheadDepth)
            m_spare.push_back(std::move(d));
    }

    // Chunk `i` decoded, taken from the read-ahead when it was decoding that
    // one. Then keeps the next chunks that need decoding in flight on helper
    // threads, so a sequential reader gets several cores' decompression.
    Decoded take(size_t i)
    {
        Decoded d;
        if (!m_ahead.empty() && m_ahead.front().first == i) {
            std::future<Decoded> pending = std::move(m_ahead.front().second);
            m_ahead.pop_front();
            d = pending.get(); // rethrows the chunk's own error, now that it is read
        } else {
            dropAhead();
            d = spare();
            decodeChunk(m_chunks[i], d);
        }
        size_t next = m_ahead.empty() ? i + 1 : m_ahead.back().first + 1;
        // Zero chunks need no decoding; look past a few of them.
        for (size_t skipped = 0; m_ahead.size() < aheadDepth && next < m_chunks.size() && skipped < 64; ++next) {
            if (!needsBuffer(m_chunks[next].type)) {
                ++skipped;
                continue;
            }
            m_ahead.emplace_back(next, std::async(std::launch::async,
                                                  [this, c = m_chunks[next], d = spare()]() mutable {
                                                      decodeChunk(c, d);
                                                      return std::move(d);
                                                  }));
        }
        return d;
    }

    void dropAhead()
    {
        // Their errors, if any, belong to chunks nobody asked for.
        for (auto &[index, pending] : m_ahead)
            pending.wait();
        m_ahead.clear();
    }

    void decodeCached(size_t i)
    {
        if (m_cacheIndex == i)
            return;
        m_cacheIndex = size_t(-1);
        Decoded d = take(i);
        recycle(std::move(m_cache));
        m_cache = std::move(d);
        m_cacheIndex = i;
    }

    // Decodes the whole image in order, checking every checksum the image
    // carries, and writes non-zero chunks to `out` when given.
    void walk(UdifFile *out, const std::function<void(double)> &progress, const CancelToken *cancel)
    {
        std::vector<quint32> tableCrc(m_tables.size(), 0);
        quint32 forkCrc = 0;
        qint64 forkDone = m_forkOffset; // the data fork is checksummed in file order
        bool forkInOrder = true;
        // The walk leaves the read cache as it was, apart from the read-ahead.
        for (size_t i = 0; i < m_chunks.size(); ++i) {
            const ChunkInfo &c = m_chunks[i];
            if (cancel && cancel->isCancelled()) {
                dropAhead();
                throw TDError::cancelled();
            }
            quint32 &crc = tableCrc[size_t(c.table)];
            if (needsBuffer(c.type)) {
                Decoded taken;
                const Decoded *d = &m_cache;
                if (m_cacheIndex != i) {
                    taken = take(i);
                    d = &taken;
                }
                crc = Codec::crc32(crc, d->data(), c.length);
                if (out)
                    out->writeAt(c.start, d->data(), c.length);
                if (m_forkChecked && forkInOrder) {
                    if (c.stored < forkDone) {
                        forkInOrder = false;
                    } else {
                        forkCrc = checksumFork(forkCrc, forkDone, c.stored, cancel);
                        forkCrc = Codec::crc32(forkCrc, d->stored.data(), c.storedLength);
                        forkDone = c.stored + c.storedLength;
                    }
                }
                if (d == &taken)
                    recycle(std::move(taken));
            } else {
                crc = Codec::crc32Zeros(crc, c.length);
            }
            if (progress && m_size > 0)
                progress(double(c.start + c.length) / double(m_size));
        }

        for (const TableInfo &t : m_tables) {
            const quint32 crc = tableCrc[size_t(&t - m_tables.data())];
            if (t.checksumType == checksumCRC32 && crc != t.checksum)
                throw TDError::tool(
                    QStringLiteral("This DMG is damaged: the data of blkx table %1%2 doesn't match its checksum "
                                   "(CRC32 %3, expected %4).")
                        .arg(t.plistIndex + 1)
                        .arg(t.name.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(t.name), hex32(crc),
                             hex32(t.checksum)));
        }
        if (m_forkChecked) {
            if (forkInOrder)
                forkCrc = checksumFork(forkCrc, forkDone, m_forkOffset + m_forkLength, cancel);
            else
                forkCrc = checksumFork(0, m_forkOffset, m_forkOffset + m_forkLength, cancel);
            if (forkCrc != m_forkChecksum)
                throw TDError::tool(QStringLiteral("This DMG is damaged: its data fork doesn't match its checksum "
                                                   "(CRC32 %1, expected %2).")
                                        .arg(hex32(forkCrc), hex32(m_forkChecksum)));
        }
        if (m_masterChecked) {
            // The master checksum is the CRC32 of the tables' own CRC32s, each
            // as 4 big-endian bytes, in the order the property list has them.
            bool all = !m_tables.empty();
            quint32 master = 0;
            for (const TableInfo &t : m_tables) {
                all = all && t.checksumType == checksumCRC32;
                unsigned char be[4];
                put32(be, t.checksum);
                master = Codec::crc32(master, reinterpret_cast<const char *>(be), 4);
            }
            if (all && master != m_masterChecksum)
                throw TDError::tool(QStringLiteral("This DMG is damaged: its master checksum doesn't match its "
                                                   "tables (CRC32 %1, expected %2).")
                                        .arg(hex32(master), hex32(m_masterChecksum)));
        }
    }

    // Adds the file's bytes [from, to) to `crc`.
    quint32 checksumFork(quint32 crc, qint64 from, qint64 to, const CancelToken *cancel)
    {
        constexpr qint64 step = 1 << 20;
        std::vector<char> buffer;
        while (from < to) {
            if (cancel && cancel->isCancelled())
                throw TDError::cancelled();
            const qint64 n = std::min(step, to - from);
            buffer.resize(size_t(n));
            m_file.readExactly(from, buffer.data(), n);
            crc = Codec::crc32(crc, buffer.data(), n);
            from += n;
        }
        return crc;
    }

    UdifFile m_file;
    qint64 m_forkOffset = 0;
    qint64 m_forkLength = 0;
    qint64 m_xmlOffset = 0;
    qint64 m_xmlLength = 0;
    qint64 m_size = 0;
    bool m_forkChecked = false;
    quint32 m_forkChecksum = 0;
    bool m_masterChecked = false;
    quint32 m_masterChecksum = 0;
    std::vector<TableInfo> m_tables;   // in property-list order
    std::vector<ChunkInfo> m_chunks;   // in decoded order, covering 0..size
    Decoded m_cache;                   // the chunk read() decoded last
    size_t m_cacheIndex = size_t(-1);
    // The chunks after it, decoding on helper threads, in order.
    std::deque<std::pair<size_t, std::future<Decoded>>> m_ahead;
    std::vector<Decoded> m_spare;      // buffers of chunks done with, for the next ones
};

} // namespace

std::unique_ptr<Reader> Reader::open(const QString &path)
{
    return std::make_unique<ReaderImpl>(path);
}

} // namespace Udif
