#include "ImageBytes.h"
#include "ImageFixtures.h"
#include "TestEnv.h"
#include "images/FolderCompare.h"

class TstFolderCompare : public QObject
{
    Q_OBJECT

private slots:
    void listsVisibleFiles()
    {
        const QString dir = m_env.path(QStringLiteral("listing"));
        QVERIFY(writeFile(dir + "/b.txt", "b"));
        QVERIFY(writeFile(dir + "/A.txt", "a"));
        QVERIFY(writeFile(dir + "/sub/deeper/c.txt", "c"));
        QVERIFY(writeFile(dir + "/sub/.hidden", "h"));
        QVERIFY(writeFile(dir + "/.git/config", "x"));
        QVERIFY(writeFile(dir + "/empty", {}));
        QVERIFY(QDir().mkpath(dir + "/empty folder"));
        QVERIFY(QFile::link(dir + "/b.txt", dir + "/link.txt"));
        QVERIFY(QFile::link(dir + "/sub", dir + "/linked folder"));

        QCOMPARE(FolderCompare::files(dir), QStringList({"A.txt", "b.txt", "empty", "sub/deeper/c.txt"}));
        // The same through a path spelled with a trailing slash and a dot.
        QCOMPARE(FolderCompare::files(dir + "/./"), QStringList({"A.txt", "b.txt", "empty", "sub/deeper/c.txt"}));
        QCOMPARE(FolderCompare::files(m_env.path(QStringLiteral("nothing here"))), QStringList());
    }

    // Files of different sizes, or a file that only one side has, are
    // decided without reading, so a cancel has nothing to stop there.
    void sameBytes()
    {
        const QByteArray big = patterned(2 * mib + 100, 1);
        const auto flipped = [&](qsizetype at) { QByteArray b = big; b[at] = char(~b[at]); return b; };
        const struct { QByteArray a, b; bool same; } rows[] = {
            {QByteArray(), QByteArray(), true}, // both empty
            {big, big, true}, // equal over several chunks
            {big, flipped(big.size() - 1), false}, // differ in the last byte
            {big, flipped(mib + 1), false}, // differ in the second chunk
            {big, big + "x", false}, // one byte longer
            {QByteArray(), QByteArray("x"), false}, // empty and not
        };
        const QString pa = m_env.path(QStringLiteral("a.bin"));
        const QString pb = m_env.path(QStringLiteral("b.bin"));
        CancelToken cancelled;
        cancelled.cancel();
        for (const auto &[a, b, same] : rows) {
            QVERIFY(writeFile(pa, a));
            QVERIFY(writeFile(pb, b));
            QCOMPARE(FolderCompare::sameBytes(pa, pb, nullptr), same);
            QCOMPARE(FolderCompare::sameBytes(pb, pa, nullptr), same);
            if (a.size() == b.size())
                QCOMPARE(thrown([&] { FolderCompare::sameBytes(pa, pb, &cancelled); }), TDError::cancelled());
            else
                QCOMPARE(FolderCompare::sameBytes(pa, pb, &cancelled), false);
        }
        // An empty file against none at all: no size there, so not the same.
        QCOMPARE(FolderCompare::sameBytes(pa, m_env.path(QStringLiteral("absent.bin")), &cancelled), false);
    }

    void compare()
    {
        // Each row changes a copy of the folder; the copy plays the mounted image.
        using Change = std::function<bool(const QString &copy)>;
        const struct { Change change; QStringList missing, different; } rows[] = {
            {[](const QString &) { return true; }, {}, {}}, // identical
            {[](const QString &c) { return writeFile(c + "/d/x.txt", "X!"); }, {}, {"d/x.txt"}}, // one file changed
            {[](const QString &c) { return QFile::remove(c + "/a.txt"); }, {"a.txt"}, {}}, // one file missing
            {[](const QString &c) { return writeFile(c + "/.hidden", "changed"); }, {}, {}}, // hidden file changed is not checked
            {[](const QString &c) { return writeFile(c + "/extra.txt", "+"); }, {}, {}}, // extra file in the image is fine
            {[](const QString &c) { return QFile::remove(c + "/b.bin") && QDir().mkpath(c + "/b.bin"); }, {}, {"b.bin"}}, // a folder where a file was
            {[](const QString &c) { return QDir(c + "/d").removeRecursively() && writeFile(c + "/a.txt", "A"); }, {"d/x.txt", "d/y.txt"}, {"a.txt"}}, // missing and different together
        };
        for (const auto &[change, missing, different] : rows) {
            QTemporaryDir tmp;
            const QString folder = tmp.filePath(QStringLiteral("folder"));
            const QString copy = tmp.filePath(QStringLiteral("copy"));
            for (const QString &root : {folder, copy}) {
                QVERIFY(writeFile(root + "/a.txt", "a"));
                QVERIFY(writeFile(root + "/b.bin", patterned(mib + 3, 5)));
                QVERIFY(writeFile(root + "/d/x.txt", "xx"));
                QVERIFY(writeFile(root + "/d/y.txt", "yyy"));
                QVERIFY(writeFile(root + "/.hidden", "h"));
            }
            QVERIFY(change(copy));

            QList<double> reports;
            const FolderCompareResult r = FolderCompare::compare(folder, copy, [&](double p) { reports << p; }, nullptr);
            QCOMPARE(r.files, 4);
            QCOMPARE(r.bytes, 1 + (mib + 3) + 2 + 3);
            QCOMPARE(r.missing, missing);
            QCOMPARE(r.different, different);
            QCOMPARE(r.ok(), missing.isEmpty() && different.isEmpty());
            QCOMPARE(reports.size(), 4);
            QCOMPARE(reports.last(), 1.0);
        }
    }

    void summary()
    {
        const struct { FolderCompareResult result; bool ok; QString text; } rows[] = {
            {FolderCompareResult{}, false, "The folder has no files to check."},
            {FolderCompareResult{1, 1500, {}, {}}, true, "All 1 file (2 KB) match the folder byte for byte."},
            {FolderCompareResult{12, 4700000000, {}, {}}, true, "All 12 files (4.7 GB) match the folder byte for byte."},
            {FolderCompareResult{9, 10, {"a.txt", "b.txt", "c.txt", "e.txt", "f.txt"}, {"d.jpg"}}, false, "Image does NOT match the folder: 5 missing (a.txt, b.txt, c.txt…); 1 different (d.jpg)"},
            {FolderCompareResult{3, 10, {"a", "b", "c"}, {}}, false, "Image does NOT match the folder: 3 missing (a, b, c)"}, // exactly three listed
            {FolderCompareResult{4, 10, {}, {"a", "b", "c", "d"}}, false, "Image does NOT match the folder: 4 different (a, b, c…)"},
        };
        for (const auto &[result, ok, text] : rows) {
            QCOMPARE(result.ok(), ok);
            QCOMPARE(result.summary(), text);
        }
    }

private:
    TestEnv m_env;
};

QTEST_GUILESS_MAIN(TstFolderCompare)
#include "tst_foldercompare.moc"
