// UDIF images: ours written and read back (and by dmg2img), and hand-built
// ones with every chunk type and the damage a reader must refuse.

#include "FuzzSeeds.h"
#include "ImageBytes.h"
#include "ImageFixtures.h"
#include "base/CancelToken.h"
#include "platform/udif/Udif.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>

#include <optional>

namespace {

const QString nothingThrown = QStringLiteral("(nothing was thrown)");

// The images of these tests are the udif target's seed corpus.
void keepSeed(const QByteArray &bytes) { keepFuzzSeed(QStringLiteral("udif"), bytes); }

void put32(QByteArray &b, qsizetype at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (24 - 8 * i));
}
void put64(QByteArray &b, qsizetype at, quint64 v)
{
    put32(b, at, quint32(v >> 32));
    put32(b, at + 4, quint32(v));
}

quint32 crcOf(const QByteArray &b)
{
    return quint32(crc32(0, reinterpret_cast<const Bytef *>(b.constData()), uInt(b.size())));
}

// ---- a hand-written UDIF builder -----------------------------------------

enum : quint32 {
    tZero = 0, tRaw = 1, tIgnore = 2, tAdc = 0x80000004, tZlib = 0x80000005, tBzip2 = 0x80000006,
    tLzfse = 0x80000007, tLzma = 0x80000008, tComment = 0x7ffffffe, tEnd = 0xffffffff,
};

QByteArray zlibOf(const QByteArray &plain)
{
    uLongf n = compressBound(uLong(plain.size()));
    QByteArray out(qsizetype(n), Qt::Uninitialized);
    compress2(reinterpret_cast<Bytef *>(out.data()), &n, reinterpret_cast<const Bytef *>(plain.constData()),
              uLong(plain.size()), 6);
    out.truncate(qsizetype(n));
    return out;
}

QByteArray bzip2Of(const QByteArray &plain)
{
    unsigned n = unsigned(plain.size() + plain.size() / 100 + 700);
    QByteArray out(n, Qt::Uninitialized);
    BZ2_bzBuffToBuffCompress(out.data(), &n, const_cast<char *>(plain.constData()), unsigned(plain.size()), 9, 0, 0);
    out.truncate(n);
    return out;
}

QByteArray xzOf(const QByteArray &plain)
{
    QByteArray out(plain.size() + 1024, Qt::Uninitialized);
    size_t n = 0;
    lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr, reinterpret_cast<const uint8_t *>(plain.constData()),
                            size_t(plain.size()), reinterpret_cast<uint8_t *>(out.data()), &n, size_t(out.size()));
    out.truncate(qsizetype(n));
    return out;
}

QByteArray lzmaAloneOf(const QByteArray &plain)
{
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    lzma_stream s = LZMA_STREAM_INIT;
    if (lzma_alone_encoder(&s, &options) != LZMA_OK)
        return {};
    QByteArray out(plain.size() + 1024, Qt::Uninitialized);
    s.next_in = reinterpret_cast<const uint8_t *>(plain.constData());
    s.avail_in = size_t(plain.size());
    s.next_out = reinterpret_cast<uint8_t *>(out.data());
    s.avail_out = size_t(out.size());
    while (lzma_code(&s, LZMA_FINISH) == LZMA_OK) {
    }
    out.truncate(qsizetype(s.total_out));
    lzma_end(&s);
    return out;
}

struct Chunk
{
    quint32 type = tRaw;
    quint64 sectors = 0;
    QByteArray plain;      // what the chunk decodes to (zeros for zero chunks)
    QByteArray stored;     // what goes into the data fork
    std::optional<quint64> sector;  // the entry's sector, when not the running one
    std::optional<quint64> offset;  // the entry's offset in its table's data, when not the real one
    std::optional<quint64> length;  // the entry's stored length, when not the real one
};

// A chunk whose entry is made from `plain` stored as `type`.
Chunk chunkOf(quint32 type, const QByteArray &plain)
{
    Chunk c;
    c.type = type;
    c.sectors = quint64(plain.size() / 512);
    c.plain = plain;
    switch (type) {
    case tRaw: c.stored = plain; break;
    case tZlib: c.stored = zlibOf(plain); break;
    case tBzip2: c.stored = bzip2Of(plain); break;
    case tLzma: c.stored = xzOf(plain); break;
    default: c.stored = "not a stream of any known kind";
    }
    return c;
}

Chunk zeros(quint32 type, quint64 sectors) { return {type, sectors, QByteArray(qsizetype(sectors * 512), '\0')}; }

struct Table
{
    quint64 first = 0;
    std::optional<quint64> count;   // the sum of the chunks' when not given
    QList<Chunk> chunks;
    bool checksum = true;
    quint32 crcXor = 0;             // flips bits of the stored checksum
    QByteArray mish;                // when set, the Data verbatim
    std::optional<quint64> dataOffset; // when not where its data starts
};

struct Image
{
    QList<Table> tables;
    bool checksums = true;
    quint32 forkCrcXor = 0;
    quint32 masterCrcXor = 0;
    std::optional<quint64> sectorCount;
    quint32 version = 4;
    QByteArray xmlOverride;
    qint64 xmlLengthExtra = 0;
    // Bytes the data fork's length reaches past the start of the trailer.
    std::optional<qint64> forkIntoTrailer;
    qsizetype forkAt = 0;           // other bytes before the data fork
};

// Writes the data fork, the property list and the trailer the way the
// format lays them out, and returns the file's bytes. Each table's data
// starts where the one before it ended.
QByteArray build(const Image &image)
{
    QByteArray fork;
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
                     "<key>resource-fork</key>\n<dict>\n<key>blkx</key>\n<array>\n";
    QByteArray tableCrcs;
    quint64 total = 0;
    for (const Table &t : image.tables) {
        QByteArray entries;
        const quint64 dataOffset = t.dataOffset.value_or(quint64(fork.size()));
        quint64 running = 0;
        QByteArray plain;
        for (const Chunk &c : t.chunks) {
            QByteArray e(40, '\0');
            put32(e, 0, c.type);
            put64(e, 8, c.sector.value_or(running));
            put64(e, 16, c.sectors);
            put64(e, 24, c.offset.value_or(quint64(fork.size()) - dataOffset));
            put64(e, 32, c.length.value_or(quint64(c.stored.size())));
            entries += e;
            fork += c.stored;
            plain += c.plain;
            running += c.sectors;
        }
        const quint64 count = t.count.value_or(running);
        QByteArray end(40, '\0');
        put32(end, 0, tEnd);
        put64(end, 8, count);
        entries += end;

        QByteArray mish(204, '\0');
        mish.replace(0, 4, "mish");
        put32(mish, 4, 1);
        put64(mish, 8, t.first);
        put64(mish, 16, count);
        put64(mish, 24, dataOffset);
        put32(mish, 32, 2056);
        const quint32 crc = crcOf(plain) ^ t.crcXor;
        if (t.checksum) {
            put32(mish, 64, 2);
            put32(mish, 68, 32);
            put32(mish, 72, crc);
        }
        put32(mish, 200, quint32(entries.size() / 40));
        mish += entries;
        QByteArray be(4, '\0');
        put32(be, 0, crc);
        tableCrcs += be;
        total += count;

        xml += "<dict>\n<key>Name</key>\n<string>part</string>\n<key>Data</key>\n<data>\n"
               + (t.mish.isEmpty() ? mish : t.mish).toBase64() + "\n</data>\n</dict>\n";
    }
    xml += "</array>\n</dict>\n</dict>\n</plist>\n";
    if (!image.xmlOverride.isEmpty())
        xml = image.xmlOverride;

    QByteArray koly(512, '\0');
    koly.replace(0, 4, "koly");
    put32(koly, 4, image.version);
    put32(koly, 8, 512);
    put32(koly, 12, 1);
    put64(koly, 24, quint64(image.forkAt));
    put64(koly, 32, quint64(image.forkIntoTrailer ? fork.size() + xml.size() + *image.forkIntoTrailer : fork.size()));
    put32(koly, 56, 1);
    put32(koly, 60, 1);
    if (image.checksums) {
        put32(koly, 80, 2);
        put32(koly, 84, 32);
        put32(koly, 88, crcOf(fork) ^ image.forkCrcXor);
        put32(koly, 352, 2);
        put32(koly, 356, 32);
        put32(koly, 360, crcOf(tableCrcs) ^ image.masterCrcXor);
    }
    put64(koly, 216, quint64(image.forkAt + fork.size()));
    put64(koly, 224, quint64(xml.size() + image.xmlLengthExtra));
    put64(koly, 492, image.sectorCount.value_or(total));
    return QByteArray(image.forkAt, 'j') + fork + xml + koly;
}

// The file of `image` with a field of its trailer changed.
QByteArray withTrailer(const Image &image, int at, quint64 value, int bytes = 4)
{
    QByteArray file = build(image);
    const qsizetype koly = file.size() - 512;
    bytes == 8 ? put64(file, koly + at, value) : put32(file, koly + at, quint32(value));
    return file;
}

QByteArray decodedOf(const QList<Table> &tables)
{
    QList<Table> sorted = tables;
    std::sort(sorted.begin(), sorted.end(), [](const Table &a, const Table &b) { return a.first < b.first; });
    QByteArray out;
    for (const Table &t : sorted)
        for (const Chunk &c : t.chunks)
            out += c.plain;
    return out;
}

Table tableAt(quint64 first, QList<Chunk> chunks) { return {first, std::nullopt, std::move(chunks)}; }

Image oneTable(QList<Chunk> chunks) { return {{tableAt(0, std::move(chunks))}}; }

Chunk &first(Image &image) { return image.tables[0].chunks[0]; }

} // namespace

class TestUdif : public QObject
{
    Q_OBJECT

private slots:
    void writerSizes_data();
    void writerSizes();
    void handBuilt_data();
    void handBuilt();
    void readOutsideImage();
    void readsAfterDamage();
    void cancelled();
};

// Inputs that are not whole chunks or not whole sectors, written and read
// back (and by dmg2img); the last sector is padded with zeros.
void TestUdif::writerSizes_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("compresses"); // to less than half its size
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("one byte") << QByteArray("x") << false;
    QTest::newRow("one sector") << textPattern(512) << false;
    QTest::newRow("part of a sector") << textPattern(1000) << false;
    QTest::newRow("a chunk and a sector") << textPattern((1 << 20) + 512) << true;
    QTest::newRow("random, two chunks and a bit") << noise((2 << 20) + 4096, 3) << false;
    QTest::newRow("zeros, text, random, text") << QByteArray(1 << 20, '\0') + textPattern(1 << 20) + noise((1 << 20) + 100, 7) + textPattern(2048) << true;
}

void TestUdif::writerSizes()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, compresses);
    QTemporaryDir dir;
    const QString raw = dir.filePath(QStringLiteral("in.img"));
    const QString dmg = dir.filePath(QStringLiteral("out.dmg"));
    QVERIFY(writeFile(raw, input));
    double last = -1;
    bool ordered = true;
    Udif::write(raw, dmg, [&](double p) {
        ordered = ordered && p >= last && p <= 1.0;
        last = p;
    });
    QVERIFY(ordered);
    QCOMPARE(last, 1.0);
    if (compresses)
        QVERIFY(QFileInfo(dmg).size() < input.size() / 2);
    keepSeed(readFile(dmg));

    QByteArray expected = input;
    expected.append(QByteArray((512 - input.size() % 512) % 512, '\0'));
    auto reader = Udif::Reader::open(dmg);
    QCOMPARE(reader->size(), expected.size());
    reader->verify();
    QByteArray all(expected.size(), Qt::Uninitialized);
    reader->read(0, all.data(), all.size());
    QVERIFY(all == expected);
    // Reads of every size at random places, some crossing chunk edges.
    QRandomGenerator gen(42);
    for (int i = 0; i < 100 && !expected.isEmpty(); ++i) {
        const qint64 length = gen.bounded(std::min(qint64(1) << (i % 21 + 1), qint64(expected.size())) + 1);
        const qint64 offset = gen.bounded(expected.size() - length + 1);
        QByteArray got(length, Qt::Uninitialized);
        reader->read(offset, got.data(), length);
        QVERIFY2(got == expected.mid(offset, length), qPrintable(QStringLiteral("%1 at %2").arg(length).arg(offset)));
    }

    if (!QStandardPaths::findExecutable(QStringLiteral("dmg2img")).isEmpty() && !input.isEmpty()) {
        const QString theirs = dir.filePath(QStringLiteral("theirs.img"));
        QProcess dmg2img;
        dmg2img.start(QStringLiteral("dmg2img"), {QStringLiteral("-i"), dmg, QStringLiteral("-o"), theirs});
        QVERIFY(dmg2img.waitForFinished(120000));
        QVERIFY2(dmg2img.exitStatus() == QProcess::NormalExit && dmg2img.exitCode() == 0, dmg2img.readAllStandardError().constData());
        QVERIFY(readFile(theirs) == expected);
    }
}

void TestUdif::handBuilt_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("decoded");  // when it reads
    QTest::addColumn<QString>("failsAt");     // open, read or verify; empty when it doesn't
    QTest::addColumn<QString>("error");

    const QByteArray text = textPattern(4096, 1);
    const auto ok = [&](const char *name, const Image &image) {
        QTest::newRow(name) << build(image) << decodedOf(image.tables) << QString() << QString();
    };
    const auto fails = [&](const char *name, const QByteArray &file, const char *at, const char *error) {
        QTest::newRow(name) << file << QByteArray() << QString::fromLatin1(at) << QString::fromUtf8(error);
    };

    {
        Chunk c = chunkOf(tLzma, text);
        c.stored = lzmaAloneOf(text);
        ok("lzma (lzma alone)", oneTable({c}));
    }
    {
        Chunk note = zeros(tComment, 0);
        note.plain.clear();
        ok("every kind, with a comment", oneTable({chunkOf(tZlib, textPattern(1024, 5)), note, zeros(tIgnore, 2),
                                                   chunkOf(tRaw, textPattern(512, 9)), chunkOf(tBzip2, text),
                                                   zeros(tZero, 1), chunkOf(tLzma, textPattern(2048, 3))}));
    }
    {
        Image image;
        image.tables = {tableAt(4, {chunkOf(tZlib, textPattern(1024, 2))}),
                        tableAt(0, {chunkOf(tRaw, textPattern(2048, 8))}),
                        tableAt(6, {zeros(tZero, 2)})};
        ok("tables out of order", image);
    }
    {
        Image image = oneTable({chunkOf(tRaw, text)});
        image.checksums = false;
        image.tables[0].checksum = false;
        image.tables[0].crcXor = 1; // ignored: the image says it has no checksums
        ok("no checksums", image);
        image.forkIntoTrailer = 0;
        ok("data fork up to the trailer", image);
        image = oneTable({chunkOf(tZlib, text)});
        image.forkAt = 100;
        ok("data fork after other bytes", image);
    }
    // The trailer's fields at their limits: the data fork and the property
    // list lie before it, the first byte past that is outside.
    const Image zeroOnly = oneTable({zeros(tZero, 2)}), rawOnly = oneTable({chunkOf(tRaw, text)});
    const qint64 beforeTrailer = build(zeroOnly).size() - 512;
    QTest::newRow("empty data fork at the trailer") << withTrailer(zeroOnly, 24, beforeTrailer, 8) << QByteArray(1024, '\0') << QString() << QString();
    fails("empty data fork a byte into the trailer", withTrailer(zeroOnly, 24, beforeTrailer + 1, 8), "open", "its data fork lies outside the file");
    fails("property list a byte into the trailer", withTrailer(zeroOnly, 216, beforeTrailer + 1, 8), "open", "its property list lies outside the file");
    fails("no property list", withTrailer(rawOnly, 224, 0, 8), "open", "This DMG has no property list");
    fails("trailer size 511", withTrailer(rawOnly, 8, 511), "open", "its trailer has version 4 and size 511");
    fails("two segments", withTrailer(rawOnly, 60, 2), "open", "This DMG is split into 2 segments");
    fails("2^50 sectors and one", withTrailer(rawOnly, 492, (quint64(1) << 50) + 1, 8), "open", "its trailer claims 1125899906842625 sectors");

    // One table of `chunks`, then `change`d.
    const auto broken = [&](const char *name, QList<Chunk> chunks, const std::function<void(Image &)> &change,
                            const char *at, const char *error) {
        Image image = oneTable(std::move(chunks));
        change(image);
        fails(name, build(image), at, error);
    };
    const auto same = [](Image &) {};
    const QList<Chunk> zlib = {chunkOf(tZlib, text)}, raw = {chunkOf(tRaw, text)};
    const QList<Chunk> twoTables = {chunkOf(tRaw, textPattern(1024))};
    const char *more = "decompresses to more data than its table says", *less = "decompresses to less data than its table says";

    broken("ADC", {chunkOf(tAdc, text)}, same, "open", "This DMG uses ADC compression, which Tandor can't read. Convert it to a zlib-compressed DMG or an ISO first.");
    broken("LZFSE", {chunkOf(tRaw, text), chunkOf(tLzfse, text)}, same, "open", "This DMG uses LZFSE compression, which Tandor can't read.");
    broken("unknown type", {chunkOf(0x80000009, text)}, same, "open", "unknown chunk type (0x80000009)");
    broken("bad data fork checksum", {chunkOf(tZlib, text), zeros(tZero, 2)}, [](Image &i) { i.forkCrcXor = 0x10; }, "verify", "its data fork doesn't match its checksum");
    // The master checksum follows the changed one.
    broken("bad table checksum", {chunkOf(tZlib, text), zeros(tZero, 2)}, [](Image &i) { i.tables[0].crcXor = 0x8000; }, "verify", "the data of blkx table 1 (part) doesn't match its checksum");
    broken("bad master checksum", raw, [](Image &i) { i.masterCrcXor = 4; }, "verify", "its master checksum doesn't match its tables");

    const QByteArray good = build(oneTable(zlib));
    fails("truncated trailer", good.left(good.size() - 100), "open", "it has no UDIF trailer (\"koly\")");
    fails("a byte short of a trailer", good.right(511), "open", "This file is too short to be a DMG.");
    fails("only a trailer", good.right(512), "open", "lies outside the file");
    broken("trailer version 3", raw, [](Image &i) { i.version = 3; }, "open", "its trailer has version 3 and size 512");
    broken("chunk one byte past the data fork", zlib, [](Image &i) { first(i).offset = 1; }, "open", "points past the end of the data fork");
    broken("chunk starting one byte past the data fork", zlib, [](Image &i) { first(i).offset = first(i).stored.size() + 1; }, "open", "points past the end of the data fork");
    // The second table's data starts part-way into the fork.
    broken("table 2's chunk one byte past the data fork", twoTables, [&](Image &i) { i.tables << tableAt(2, twoTables); i.tables[1].chunks[0].offset = 1; }, "open", "points past the end of the data fork");
    broken("table data one byte past the data fork", {zeros(tZero, 2)}, [](Image &i) { i.tables[0].dataOffset = 1; }, "open", "points past the data fork");
    broken("data fork one byte into the trailer", raw, [](Image &i) { i.forkIntoTrailer = 1; }, "open", "its data fork lies outside the file");
    broken("raw chunk stores a byte too little", raw, [](Image &i) { first(i).stored.chop(1); }, "open", "stores less data than it covers");
    broken("zlib inflates to more", zlib, [](Image &i) { first(i).sectors -= 1; first(i).plain.chop(512); }, "read", more);
    broken("bzip2 inflates to more", {chunkOf(tBzip2, text)}, [](Image &i) { first(i).sectors -= 2; }, "read", more);
    broken("lzma inflates to more", {chunkOf(tLzma, text)}, [](Image &i) { first(i).sectors -= 1; }, "read", more);
    broken("zlib inflates to less", zlib, [](Image &i) { first(i).sectors += 1; }, "read", less);
    broken("bzip2 inflates to less", {chunkOf(tBzip2, text)}, [](Image &i) { first(i).sectors += 1; }, "read", less);
    broken("zlib stream cut short", zlib, [](Image &i) { first(i).stored.chop(20); }, "read", less);
    broken("zlib garbage", zlib, [](Image &i) { first(i).stored = "\x78\x01garbage that is not deflate"; }, "read", "the chunk at sector 0 is not a valid zlib stream");
    broken("bzip2 damaged", {chunkOf(tBzip2, text)}, [](Image &i) { first(i).stored[20] = char(first(i).stored[20] ^ 0x55); }, "read", "is not a valid bzip2 stream");
    broken("lzma garbage", {chunkOf(tLzma, text)}, [](Image &i) { first(i).stored = "not xz at all"; }, "read", "is not a valid LZMA stream");
    broken("gap between tables", twoTables, [&](Image &i) { i.tables << tableAt(3, twoTables); i.sectorCount = 5; }, "open", "its blkx tables leave a gap at sector 2 (table 2)");
    broken("overlapping tables", twoTables, [&](Image &i) { i.tables << tableAt(1, twoTables); }, "open", "its blkx tables overlap at sector 1 (table 2)");
    broken("trailer a sector past its tables", raw, [](Image &i) { i.sectorCount = 9; }, "open", "its blkx tables cover 8 sectors but the trailer says the image has 9");
    broken("trailer a sector short of its tables", raw, [](Image &i) { i.sectorCount = 7; }, "open", "its blkx tables cover 8 sectors but the trailer says the image has 7");
    broken("gap between chunks", {chunkOf(tRaw, textPattern(512)), chunkOf(tRaw, textPattern(512))}, [](Image &i) { i.tables[0].chunks[1].sector = 2; i.tables[0].count = 3; }, "open", "blkx table 1, chunk 2, leaves a gap before it");
    broken("overlapping chunks", {chunkOf(tRaw, textPattern(1024)), chunkOf(tRaw, textPattern(512))}, [](Image &i) { i.tables[0].chunks[1].sector = 1; }, "open", "blkx table 1, chunk 2, overlaps the one before it");
    broken("chunk a sector past its table", {zeros(tZero, 4)}, [](Image &i) { i.tables[0].count = 3; }, "open", "reaches past the end of its table");
    broken("table of 2^50 sectors and one", raw, [](Image &i) { i.tables[0].count = (quint64(1) << 50) + 1; i.sectorCount = 8; }, "open", "blkx table 1 claims sectors beyond any disk");
    broken("table a sector past its chunks", {zeros(tZero, 4)}, [](Image &i) { i.tables[0].count = 5; }, "open", "blkx table 1 has chunks for 4 of its 5 sectors");
    // 64 MiB from a few bytes is the most a chunk may hold, or store.
    broken("chunk of 64 MiB", zlib, [](Image &i) { first(i).sectors = 1 << 17; }, "read", less);
    broken("chunk of 64 MiB and a sector", zlib, [](Image &i) { first(i).sectors = (1 << 17) + 1; }, "open", "is larger than any real DMG chunk");
    broken("chunk storing 64 MiB and a byte", zlib, [](Image &i) { first(i).length = (1 << 26) + 1; }, "open", "is larger than any real DMG chunk");
    broken("not a mish table", raw, [](Image &i) { i.tables[0].mish = QByteArray("mash") + QByteArray(300, '\0'); }, "open", "blkx table 1 is not a mish table");
    QByteArray mish(204, '\0');
    mish.replace(0, 4, "mish");
    put32(mish, 4, 1);
    put32(mish, 200, 1);
    broken("a chunk past the table", raw, [&](Image &i) { i.tables[0].mish = mish; }, "open", "blkx table 1 is shorter than its 1 chunks");
    broken("table a byte short of its header", raw, [&](Image &i) { i.tables[0].mish = mish.left(203); }, "open", "blkx table 1 is not a mish table");
    put32(mish, 4, 2);
    broken("table version 2", raw, [&](Image &i) { i.tables[0].mish = mish; }, "open", "blkx table 1 has version 2, not 1");
    const auto plist = [](const QByteArray &xml) { return [xml](Image &i) { i.xmlOverride = xml; }; };
    broken("no blkx", raw, plist("<plist><dict><key>resource-fork</key><dict></dict></dict></plist>"), "open", "its property list has no blkx tables");
    broken("bad base64", raw, plist("<plist><dict><key>resource-fork</key><dict><key>blkx</key><array><dict><key>Data</key><data>@@not base64@@</data></dict></array></dict></dict></plist>"), "open", "holds data that isn't valid base64");
    broken("cut XML", raw, plist("<plist><dict><key>resource-fork</key><dict><key>blkx</key>"), "open", "its property list is not well-formed XML");
    broken("deep XML", raw, plist("<plist>" + QByteArray("<array>").repeated(100) + "</plist>"), "open", "its property list is nested too deeply");
    broken("property list one byte past the trailer", raw, [](Image &i) { i.xmlLengthExtra = 1; }, "open", "its property list lies outside the file");
}

// Each stage runs when the one before it passed: opening, reading all of
// it, verifying; decoding to a file fails as verifying does.
void TestUdif::handBuilt()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, decoded);
    QFETCH(QString, failsAt);
    QFETCH(QString, error);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image.dmg"));
    const QString out = dir.filePath(QStringLiteral("decoded.img"));
    QVERIFY(writeFile(path, file));
    keepSeed(file);

    std::unique_ptr<Udif::Reader> reader;
    QByteArray all;
    const QList<std::pair<QString, std::function<void()>>> stages = {
        {"open", [&] { reader = Udif::Reader::open(path); all.resize(reader->size()); }},
        {"read", [&] { reader->read(0, all.data(), all.size()); }},
        {"verify", [&] { reader->verify(); }},
    };
    for (const auto &[stage, run] : stages) {
        const TDError e = thrown(run);
        if (stage != failsAt) {
            QCOMPARE(e.text(), nothingThrown);
            continue;
        }
        QCOMPARE(e.kind(), TDError::Kind::tool);
        QVERIFY2(e.text().contains(error), qPrintable(e.text()));
        if (stage == QLatin1String("verify"))
            QCOMPARE(thrown([&] { reader->decodeTo(out); }), e);
        return;
    }
    QCOMPARE(thrown([&] { reader->decodeTo(out); }).text(), nothingThrown);
    QVERIFY(all == decoded);
    QVERIFY(readFile(out) == decoded);
}

void TestUdif::readOutsideImage()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image.dmg"));
    QVERIFY(writeFile(path, build(oneTable({chunkOf(tZlib, textPattern(1024))}))));
    auto reader = Udif::Reader::open(path);
    char buffer[16];
    reader->read(1024 - 16, buffer, 16); // the last bytes are fine
    for (auto [offset, length] : {std::pair<qint64, qint64>{1024 - 15, 16}, {-1, 4}, {0, -1}, {2048, 0}}) {
        const TDError e = thrown([&] { reader->read(offset, buffer, length); });
        QVERIFY2(e.text().contains(QLatin1String("falls outside the 1024-byte DMG image")),
                 qPrintable(QStringLiteral("%1 at %2").arg(length).arg(offset)));
    }
}

// A damaged chunk fails the reads that reach it and no others, while the
// chunks around it are being decoded ahead.
void TestUdif::readsAfterDamage()
{
    Image image = oneTable({chunkOf(tZlib, textPattern(4096, 1)), chunkOf(tZlib, textPattern(4096, 2)),
                            chunkOf(tZlib, textPattern(4096, 3)), chunkOf(tZlib, textPattern(4096, 4))});
    image.tables[0].chunks[1].stored = "\x78\x01not deflate";
    const QByteArray decoded = decodedOf(image.tables);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image.dmg"));
    QVERIFY(writeFile(path, build(image)));
    auto reader = Udif::Reader::open(path);

    QByteArray got(4096, Qt::Uninitialized);
    for (int round = 0; round < 2; ++round) {
        for (int chunk : {0, 1, 2, 3, 1, 3, 0}) {
            const QString e = thrown([&] { reader->read(chunk * 4096, got.data(), 4096); }).text();
            if (chunk == 1) {
                QVERIFY(e.contains(QLatin1String("the chunk at sector 8 is not a valid zlib stream")));
            } else {
                QCOMPARE(e, nothingThrown);
                QVERIFY(got == decoded.mid(chunk * 4096, 4096));
            }
        }
        QVERIFY(thrown([&] { reader->verify(); }).text() != nothingThrown); // the walk meets the same chunk
    }
}

void TestUdif::cancelled()
{
    QTemporaryDir dir;
    const QString raw = dir.filePath(QStringLiteral("in.img"));
    const QString dmg = dir.filePath(QStringLiteral("out.dmg"));
    QVERIFY(writeFile(raw, textPattern(3 << 20)));
    CancelToken token;
    token.cancel();
    QCOMPARE(thrown([&] { Udif::write(raw, dmg, {}, &token); }), TDError::cancelled());
    QVERIFY(!QFile::exists(dmg)); // refused before anything was created

    // A token cancelled from progress stops the writer and the reader's walk.
    CancelToken midway;
    QCOMPARE(thrown([&] { Udif::write(raw, dmg, [&](double) { midway.cancel(); }, &midway); }), TDError::cancelled());
    CancelToken fresh;
    Udif::write(raw, dmg, {}, &fresh);
    auto reader = Udif::Reader::open(dmg);
    QCOMPARE(thrown([&] { reader->verify({}, &token); }), TDError::cancelled());
    QCOMPARE(thrown([&] { reader->decodeTo(dir.filePath(QStringLiteral("x")), {}, &token); }), TDError::cancelled());
}

QTEST_GUILESS_MAIN(TestUdif)
#include "tst_udif.moc"
