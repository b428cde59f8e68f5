#include "ImageBytes.h"
#include "ImageFixtures.h"
#include "TestEnv.h"
#include "images/Verifier.h"

#include <QCryptographicHash>
#include <cerrno>

namespace {

// Where an image first differs from a disc that ended at `from`: the disc
// side reads as zeros from there.
qint64 firstNonZero(const QByteArray &data, qint64 from)
{
    while (from < data.size() && data[from] == '\0')
        ++from;
    return from;
}

} // namespace

// What comparing an image with a disc finds; -1: no difference, or not short.
struct Compared { bool match; qint64 firstDifference, shortBy; };

class TstVerifier : public QObject
{
    Q_OBJECT

private slots:
    void compares()
    {
        const QByteArray img = patterned(3 * mib + 777); // several chunks and a partial last one
        const auto flipped = [&](std::initializer_list<qint64> at) {
            QByteArray other = img;
            for (qint64 i : at)
                other[i] = char(other[i] ^ 0x01);
            return other;
        };
        const QByteArray zeroTail = img.left(img.size() - 4096) + QByteArray(4096, '\0');
        // The disc side is zero-filled where it ended, so the first difference
        // is where the image has a non-zero byte there.
        const struct { QByteArray image, other; Compared want; } rows[] = {
            {img, img, Compared{true, -1, -1}}, // identical
            {img, img + QByteArray(300 * 1024, '\x55'), Compared{true, -1, -1}}, // disc longer than the image
            {img, flipped({2500000}), Compared{false, 2500000, -1}}, // one byte differs
            {img, flipped({mib - 1, 2 * mib}), Compared{false, mib - 1, -1}}, // the last byte of the first chunk and one further on: only the first
            {img, flipped({img.size() - 1}), Compared{false, qint64(img.size() - 1), -1}}, // last byte differs
            {img, img.left(img.size() - 2048), Compared{false, firstNonZero(img, img.size() - 2048), 2048}}, // disc 2048 bytes short
            {zeroTail, zeroTail.left(zeroTail.size() - 4096), Compared{false, -1, 4096}}, // disc short only by zero bytes
            {img, img.left(2 * mib), Compared{false, firstNonZero(img, 2 * mib), qint64(img.size() - 2 * mib)}}, // disc ends on a chunk boundary
            {img, QByteArray(), Compared{false, firstNonZero(img, 0), qint64(img.size())}}, // empty disc
            {QByteArray(), img, Compared{true, -1, -1}}, // empty image
            {QByteArray(), QByteArray(), Compared{true, -1, -1}}, // empty image, empty disc
        };
        for (const auto &[image, other, want] : rows) {
            const auto [match, firstDifference, shortBy] = want;
            const QString imagePath = m_env.path(QStringLiteral("image.iso"));
            const QString otherPath = m_env.path(QStringLiteral("disc.bin"));
            QVERIFY(writeFile(imagePath, image));
            QVERIFY(writeFile(otherPath, other));

            // Reading stops after the chunk in which the disc ended; both hashes
            // cover what was read, the disc side zero-filled where it ended.
            const qint64 expectedBytes =
                shortBy < 0 ? image.size() : std::min<qint64>(image.size(), (other.size() / mib + 1) * mib);
            QByteArray expectedOther = other.left(expectedBytes);
            expectedOther.append(expectedBytes - expectedOther.size(), '\0');
            const auto sha256 = [](const QByteArray &bytes) {
                return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
            };

            QList<double> reports;
            const VerifyResult r = Verifier::compare(imagePath, otherPath, [&](double p) { reports << p; }, nullptr);

            QCOMPARE(r.match, match);
            QCOMPARE(r.bytes, expectedBytes);
            QCOMPARE(r.imageSHA256, sha256(image.left(expectedBytes)));
            QCOMPARE(r.otherSHA256, sha256(expectedOther));
            QCOMPARE(r.firstDifference.value_or(-1), firstDifference);
            QCOMPARE(r.shortBy.value_or(-1), shortBy);
            for (int i = 1; i < reports.size(); ++i)
                QVERIFY(reports[i] > reports[i - 1]);
            if (!image.isEmpty() && shortBy < 0)
                QCOMPARE(reports.value(reports.size() - 1), 1.0);
        }
    }

    void summary()
    {
        const QString sha = QStringLiteral("0123456789abcdef") + QString(48, QLatin1Char('e'));
        const struct { VerifyResult result; QString text; } rows[] = {
            {VerifyResult{true, 4700000000, sha, sha, {}, {}}, "Match — SHA-256 0123456789abcdef… is the same on both (4.7 GB checked)."},
            {VerifyResult{false, 5 * mib, sha, QString(), 3000000, 2048}, "NO MATCH — the disc ends 2 KB too early (it is shorter than the image)."},
            {VerifyResult{false, 6 * mib, sha, QString(), 5000000, {}}, "NO MATCH — first difference at 5 MB (byte 5000000). The copy is not the same as the image."},
            {VerifyResult{false, 10, sha, QString(), {}, {}}, "NO MATCH — the checksums differ."}, // nothing else known
        };
        for (const auto &[result, text] : rows)
            QCOMPARE(result.summary(), text);
    }

    void failures()
    {
        const QString fine = m_env.path(QStringLiteral("fine.iso"));
        QVERIFY(writeFile(fine, patterned(3 * mib)));
        const QString missing = m_env.path(QStringLiteral("missing.iso"));
        const QString folder = m_env.root();
        const struct { QString image, other; TDError error; } rows[] = {
            {missing, fine, TDError::cantOpen(missing, ENOENT)},
            {fine, missing, TDError::cantOpen(missing, ENOENT)},
            {fine, folder, TDError::readFailed(folder, 0, EISDIR)}, // a folder opens but can't be read: a read error on the disc side
        };
        for (const auto &[image, other, error] : rows)
            QCOMPARE(thrown([&] { Verifier::compare(image, other, {}, nullptr); }), error);
    }

    void stopsWhenCancelled()
    {
        const QString image = m_env.path(QStringLiteral("long.iso"));
        QVERIFY(TestEnv::writePattern(image, 8 * mib));
        CancelToken token;
        int reports = 0;
        const auto progress = [&](double) {
            if (++reports == 2)
                token.cancel();
        };
        QCOMPARE(thrown([&] { Verifier::compare(image, image, progress, &token); }), TDError::cancelled());
        QCOMPARE(reports, 2); // nothing more was read after the cancel
    }

private:
    TestEnv m_env;
};

QTEST_GUILESS_MAIN(TstVerifier)
#include "tst_verifier.moc"
