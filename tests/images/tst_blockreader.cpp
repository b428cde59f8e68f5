#include "ImageFixtures.h"
#include "TestEnv.h"
#include "images/BlockReader.h"

#include <atomic>
#include <cerrno>
#include <functional>
#include <random>
#include <thread>
#include <vector>
#include <unistd.h>

class TstBlockReader : public QObject
{
    Q_OBJECT

private slots:
    void cantOpen_data()
    {
        // Each row makes `path` unopenable, or fails.
        QTest::addColumn<std::function<bool(const QString &path)>>("make");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("err");

        using Make = std::function<bool(const QString &)>;
        QTest::newRow("missing") << Make([](const QString &) { return true; }) << "no such.iso" << ENOENT;
        QTest::newRow("inside a regular file") << Make([](const QString &p) { return TestEnv::writePattern(QFileInfo(p).path(), 10); }) << "plain/child.iso" << ENOTDIR;
        QTest::newRow("symlink loop") << Make([](const QString &p) { return QFile::link(p, p); }) << "loop" << ELOOP;
        QTest::newRow("no read permission") << Make([](const QString &p) { return TestEnv::writePattern(p, 10) && QFile::setPermissions(p, QFileDevice::WriteOwner); }) << "locked.iso" << EACCES;
    }

    void cantOpen()
    {
        QFETCH(std::function<bool(const QString &)>, make);
        QFETCH(QString, name);
        QFETCH(int, err);
        // root reads anything, so denial can't be staged for it.
        if (err == EACCES && ::geteuid() == 0)
            QSKIP("running as root: file permissions don't stop reads");
        TestEnv env;
        const QString path = env.path(name);
        QVERIFY(make(path));

        QCOMPARE(thrown([&] { BlockReader reader(path); }), TDError::cantOpen(path, err));
        if (err == ENOENT)
            QVERIFY(!::fileSize(path));
    }

    // open() accepts a directory; the failure shows up at the first read.
    void directoryFailsOnRead()
    {
        TestEnv env;
        const QString dir = env.path(QStringLiteral("folder"));
        QVERIFY(QDir().mkpath(dir));
        BlockReader reader(dir);
        QCOMPARE(thrown([&] { reader.read(0, 10); }), TDError::readFailed(dir, 0, EISDIR));
    }

    void read_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<qint64>("expected");

        const qint64 mib = BlockReader::chunk;
        QTest::newRow("whole small file") << qint64(100) << qint64(0) << qint64(100) << qint64(100);
        QTest::newRow("short at end") << qint64(100) << qint64(90) << qint64(20) << qint64(10);
        QTest::newRow("at end") << qint64(100) << qint64(100) << qint64(5) << qint64(0);
        QTest::newRow("past end") << qint64(100) << qint64(5000) << qint64(5) << qint64(0);
        QTest::newRow("nothing asked") << qint64(100) << qint64(3) << qint64(0) << qint64(0);
        QTest::newRow("empty file") << qint64(0) << qint64(0) << qint64(mib) << qint64(0);
        QTest::newRow("one chunk, unaligned") << 3 * mib << qint64(12345) << mib << mib;
        QTest::newRow("several chunks at once") << 3 * mib + 7 << qint64(1) << 4 * mib << 3 * mib + 6;
    }

    void read()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, offset);
        QFETCH(qint64, count);
        QFETCH(qint64, expected);

        TestEnv env;
        const QString path = env.path(QStringLiteral("data ü ✓.bin")); // names are not Latin-1
        QVERIFY(TestEnv::writePattern(path, size));
        const QByteArray file = readFile(path);
        QCOMPARE(::fileSize(path), std::optional<qint64>(size));

        const BlockReader reader(path);
        const QByteArray got = reader.read(offset, count);
        QCOMPARE(got.size(), expected);
        QVERIFY(got == file.mid(offset, expected));

        // The buffer form must not write past what it reports.
        QByteArray buffer(count + 16, '\xa5');
        QCOMPARE(reader.read(offset, buffer.data(), count), expected);
        QVERIFY(buffer.first(expected) == got);
        QVERIFY(buffer.sliced(expected) == QByteArray(buffer.size() - expected, '\xa5'));
    }

    // A sparse file with data past 4 GiB: offsets must stay 64-bit all the way.
    void readsPast4GiB()
    {
        TestEnv env;
        const QString path = env.path(QStringLiteral("sparse.img"));
        const qint64 at = (qint64(1) << 32) + 4093;
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.seek(at));
            QCOMPARE(f.write("TANDOR"), qint64(6));
        }
        const BlockReader reader(path);
        QCOMPARE(reader.read(at - 2, 100), QByteArray("\0\0TANDOR", 8));
        QCOMPARE(reader.read(at - (qint64(1) << 32), 6), QByteArray(6, '\0'));
        QCOMPARE(::fileSize(path), std::optional<qint64>(at + 6));
    }

    // Reads from several threads at scattered offsets must not disturb each
    // other, as they would if the reader moved a shared file position.
    void concurrentReads()
    {
        TestEnv env;
        const QString path = env.path(QStringLiteral("shared.bin"));
        const qint64 size = 4 * 1048576;
        QVERIFY(TestEnv::writePattern(path, size));
        const QByteArray file = readFile(path);
        const BlockReader reader(path);

        std::atomic<int> wrong{0};
        auto work = [&](unsigned seed) {
            std::mt19937 random(seed);
            std::uniform_int_distribution<qint64> pick(0, size - 512);
            for (int i = 0; i < 20000; ++i) {
                const qint64 offset = pick(random);
                if (reader.read(offset, 512) != file.mid(offset, 512))
                    ++wrong;
            }
        };
        std::vector<std::thread> threads;
        for (unsigned seed = 1; seed <= 4; ++seed)
            threads.emplace_back(work, seed);
        for (std::thread &t : threads)
            t.join();
        QCOMPARE(wrong.load(), 0);
    }
};

QTEST_GUILESS_MAIN(TstBlockReader)
#include "tst_blockreader.moc"
