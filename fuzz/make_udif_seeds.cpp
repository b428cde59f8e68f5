// Writes the seed corpus for fuzz_udif into a folder: DMGs made by
// Udif::write (from small generated images and any raw images named on the
// command line) and hand-built ones with one table per chunk type, so the
// fuzzer starts from every decoder and from more than one table.
//
// usage: make_udif_seeds OUTDIR [RAW-IMAGE...]

#include "base/TDError.h"
#include "platform/udif/Udif.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>

#include <cstdio>

namespace {

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

QByteArray text(int size, int seed)
{
    QByteArray b;
    while (b.size() < size)
        b += "seed " + QByteArray::number(seed + b.size()) + " text\n";
    b.truncate(size);
    return b;
}

QByteArray stored(quint32 type, const QByteArray &plain)
{
    QByteArray out(plain.size() * 2 + 1024, Qt::Uninitialized);
    switch (type) {
    case 0x80000005: {
        uLongf n = uLongf(out.size());
        compress2(reinterpret_cast<Bytef *>(out.data()), &n, reinterpret_cast<const Bytef *>(plain.constData()),
                  uLong(plain.size()), 6);
        out.truncate(qsizetype(n));
        return out;
    }
    case 0x80000006: {
        unsigned n = unsigned(out.size());
        BZ2_bzBuffToBuffCompress(out.data(), &n, const_cast<char *>(plain.constData()), unsigned(plain.size()), 1,
                                 0, 0);
        out.truncate(n);
        return out;
    }
    case 0x80000008: {
        size_t n = 0;
        lzma_easy_buffer_encode(1, LZMA_CHECK_CRC32, nullptr, reinterpret_cast<const uint8_t *>(plain.constData()),
                                size_t(plain.size()), reinterpret_cast<uint8_t *>(out.data()), &n,
                                size_t(out.size()));
        out.truncate(qsizetype(n));
        return out;
    }
    case 1:
        return plain;
    case 0:
    case 2:
        return {};
    default:
        return "some bytes of a compression no one here decodes";
    }
}

// One table per entry of `types`, each covering `sectors` sectors of text.
QByteArray handBuilt(const QList<quint32> &types, quint64 sectors)
{
    QByteArray fork, tableCrcs;
    QByteArray xml = "<?xml version=\"1.0\"?>\n<plist version=\"1.0\"><dict><key>resource-fork</key><dict>"
                     "<key>blkx</key><array>\n";
    quint64 first = 0;
    for (quint32 type : types) {
        const bool zero = type == 0 || type == 2;
        const QByteArray plain = zero ? QByteArray(qsizetype(sectors * 512), '\0') : text(int(sectors * 512), int(first));
        const QByteArray data = stored(type, plain);
        QByteArray mish(204 + 80, '\0');
        mish.replace(0, 4, "mish");
        put32(mish, 4, 1);
        put64(mish, 8, first);
        put64(mish, 16, sectors);
        put32(mish, 64, 2);
        put32(mish, 68, 32);
        put32(mish, 72, crcOf(plain));
        put32(mish, 200, 2);
        put32(mish, 204, type);
        put64(mish, 204 + 16, sectors);
        put64(mish, 204 + 24, quint64(fork.size()));
        put64(mish, 204 + 32, quint64(data.size()));
        put32(mish, 244, 0xffffffff);
        put64(mish, 244 + 8, sectors);
        fork += data;
        QByteArray be(4, '\0');
        put32(be, 0, crcOf(plain));
        tableCrcs += be;
        xml += "<dict><key>Name</key><string>t</string><key>Data</key><data>" + mish.toBase64() + "</data></dict>\n";
        first += sectors;
    }
    xml += "</array></dict></dict></plist>\n";
    QByteArray koly(512, '\0');
    koly.replace(0, 4, "koly");
    put32(koly, 4, 4);
    put32(koly, 8, 512);
    put64(koly, 32, quint64(fork.size()));
    put32(koly, 80, 2);
    put32(koly, 84, 32);
    put32(koly, 88, crcOf(fork));
    put64(koly, 216, quint64(fork.size()));
    put64(koly, 224, quint64(xml.size()));
    put32(koly, 352, 2);
    put32(koly, 356, 32);
    put32(koly, 360, crcOf(tableCrcs));
    put64(koly, 492, first);
    return fork + xml + koly;
}

bool save(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: make_udif_seeds OUTDIR [RAW-IMAGE...]\n");
        return 2;
    }
    const QDir out(args.at(1));
    QTemporaryDir scratch;
    bool ok = out.mkpath(QStringLiteral("."));

    const QList<std::pair<QString, QByteArray>> raws = {
        {QStringLiteral("text"), text(20000, 1)},
        {QStringLiteral("zeros"), QByteArray(3 << 20, '\0')},
        {QStringLiteral("mixed"), QByteArray(1 << 20, '\0') + text(4096, 2) + QByteArray(700, '\x5a')},
        {QStringLiteral("odd"), text(1000, 3)},
    };
    QStringList inputs;
    for (const auto &[name, bytes] : raws) {
        const QString path = scratch.filePath(name);
        ok = save(path, bytes) && ok;
        inputs << path;
    }
    inputs << args.mid(2);

    try {
        for (const QString &input : inputs)
            Udif::write(input, out.filePath(QStringLiteral("written-") + QFileInfo(input).fileName() + ".dmg"));
    } catch (const TDError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.text()));
        return 1;
    }

    const QList<std::pair<QString, QList<quint32>>> built = {
        {QStringLiteral("raw"), {1}},
        {QStringLiteral("zero"), {0}},
        {QStringLiteral("ignore"), {2}},
        {QStringLiteral("zlib"), {0x80000005}},
        {QStringLiteral("bzip2"), {0x80000006}},
        {QStringLiteral("lzma"), {0x80000008}},
        {QStringLiteral("adc"), {0x80000004}},
        {QStringLiteral("lzfse"), {0x80000007}},
        {QStringLiteral("tables"), {0x80000005, 2, 1, 0x80000006, 0x80000008}},
    };
    for (const auto &[name, types] : built)
        ok = save(out.filePath(QStringLiteral("built-") + name + ".dmg"), handBuilt(types, 4)) && ok;
    return ok ? 0 : 1;
}
