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

    void sameBytes_data()
    {
        QTest::addColumn<QByteArray>("a");
        QTest::addColumn<QByteArray>("b");
        QTest::addColumn<bool>("same");

        const QByteArray big = patterned(2 * mib + 100, 1);
        const auto flipped = [&](qsizetype at) { QByteArray b = big; b[at] = char(~b[at]); return b; };

        QTest::newRow("both empty") << QByteArray() << QByteArray() << true;
        QTest::newRow("equal over several chunks") << big << big << true;
        QTest::newRow("differ in the last byte") << big << flipped(big.size() - 1) << false;
        QTest::newRow("differ in the second chunk") << big << flipped(mib + 1) << false;
        QTest::newRow("one byte longer") << big << (big + "x") << false;
        QTest::newRow("empty and not") << QByteArray() << QByteArray("x") << false;
    }

    void sameBytes()
    {
        QFETCH(QByteArray, a);
        QFETCH(QByteArray, b);
        QFETCH(bool, same);
        const QString pa = m_env.path(QStringLiteral("a.bin"));
        const QString pb = m_env.path(QStringLiteral("b.bin"));
        QVERIFY(writeFile(pa, a));
        QVERIFY(writeFile(pb, b));
        QCOMPARE(FolderCompare::sameBytes(pa, pb, nullptr), same);
        QCOMPARE(FolderCompare::sameBytes(pb, pa, nullptr), same);
    }

    void sameBytesStopsWhenCancelled()
    {
        const QString pa = m_env.path(QStringLiteral("cancel.bin"));
        QVERIFY(writeFile(pa, patterned(3 * mib, 2)));
        CancelToken token;
        token.cancel();
        QCOMPARE(thrown([&] { FolderCompare::sameBytes(pa, pa, &token); }), TDError::cancelled());
        // Files of different sizes are decided without reading, so nothing to stop.
        QVERIFY(writeFile(m_env.path(QStringLiteral("short.bin")), "x"));
        QCOMPARE(FolderCompare::sameBytes(pa, m_env.path(QStringLiteral("short.bin")), &token), false);
        // A file that only one side has: no size there, so not the same.
        QCOMPARE(FolderCompare::sameBytes(pa, m_env.path(QStringLiteral("absent.bin")), &token), false);
    }

    void compare_data()
    {
        // Each row changes a copy of the folder; the copy plays the mounted image.
        QTest::addColumn<std::function<bool(const QString &copy)>>("change");
        QTest::addColumn<QStringList>("missing");
        QTest::addColumn<QStringList>("different");

        using Change = std::function<bool(const QString &)>;
        QTest::newRow("identical") << Change([](const QString &) { return true; }) << QStringList() << QStringList();
        QTest::newRow("one file changed") << Change([](const QString &c) { return writeFile(c + "/d/x.txt", "X!"); }) << QStringList() << QStringList{"d/x.txt"};
        QTest::newRow("one file missing") << Change([](const QString &c) { return QFile::remove(c + "/a.txt"); }) << QStringList{"a.txt"} << QStringList();
        QTest::newRow("hidden file changed is not checked") << Change([](const QString &c) { return writeFile(c + "/.hidden", "changed"); }) << QStringList() << QStringList();
        QTest::newRow("extra file in the image is fine") << Change([](const QString &c) { return writeFile(c + "/extra.txt", "+"); }) << QStringList() << QStringList();
        QTest::newRow("a folder where a file was") << Change([](const QString &c) { return QFile::remove(c + "/b.bin") && QDir().mkpath(c + "/b.bin"); }) << QStringList() << QStringList{"b.bin"};
        QTest::newRow("missing and different together") << Change([](const QString &c) { return QDir(c + "/d").removeRecursively() && writeFile(c + "/a.txt", "A"); }) << QStringList{"d/x.txt", "d/y.txt"} << QStringList{"a.txt"};
    }

    void compare()
    {
        QFETCH(std::function<bool(const QString &)>, change);
        QFETCH(QStringList, missing);
        QFETCH(QStringList, different);

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

    void summary_data()
    {
        QTest::addColumn<FolderCompareResult>("result");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("text");

        QTest::newRow("empty folder") << FolderCompareResult{} << false << "The folder has no files to check.";
        QTest::newRow("one file") << FolderCompareResult{1, 1500, {}, {}} << true << "All 1 file (2 KB) match the folder byte for byte.";
        QTest::newRow("many files") << FolderCompareResult{12, 4700000000, {}, {}} << true << "All 12 files (4.7 GB) match the folder byte for byte.";
        QTest::newRow("five missing, one different") << FolderCompareResult{9, 10, {"a.txt", "b.txt", "c.txt", "e.txt", "f.txt"}, {"d.jpg"}} << false << "Image does NOT match the folder: 5 missing (a.txt, b.txt, c.txt…); 1 different (d.jpg)";
        QTest::newRow("exactly three missing") << FolderCompareResult{3, 10, {"a", "b", "c"}, {}} << false << "Image does NOT match the folder: 3 missing (a, b, c)";
        QTest::newRow("four different") << FolderCompareResult{4, 10, {}, {"a", "b", "c", "d"}} << false << "Image does NOT match the folder: 4 different (a, b, c…)";
    }

    void summary()
    {
        QFETCH(FolderCompareResult, result);
        QFETCH(bool, ok);
        QFETCH(QString, text);
        QCOMPARE(result.ok(), ok);
        QCOMPARE(result.summary(), text);
    }

private:
    TestEnv m_env;
};

QTEST_GUILESS_MAIN(TstFolderCompare)
#include "tst_foldercompare.moc"
