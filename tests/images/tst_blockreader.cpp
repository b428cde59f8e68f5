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
    void cantOpen()
    {
        // Each row makes `path` unopenable, or fails.
        using Make = std::function<bool(const QString &path)>;
        const struct { Make make; QString name; int err; } rows[] = {
            {[](const QString &) { return true; }, "no such.iso", ENOENT}, // missing
            {[](const QString &p) { return TestEnv::writePattern(QFileInfo(p).path(), 10); }, "plain/child.iso", ENOTDIR}, // inside a regular file
            {[](const QString &p) { return QFile::link(p, p); }, "loop", ELOOP}, // symlink loop
            {[](const QString &p) { return TestEnv::writePattern(p, 10) && QFile::setPermissions(p, QFileDevice::WriteOwner); }, "locked.iso", EACCES}, // no read permission
        };
        for (const auto &[make, name, err] : rows) {
            // root reads anything, so denial can't be staged for it.
            if (err == EACCES && ::geteuid() == 0)
                continue;
            TestEnv env;
            const QString path = env.path(name);
            QVERIFY(make(path));
            QCOMPARE(thrown([&] { BlockReader reader(path); }), TDError::cantOpen(path, err));
            if (err == ENOENT)
                QVERIFY(!::fileSize(path));
        }
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

    void read()
    {
        const qint64 mib = BlockReader::chunk;
        const struct { qint64 size, offset, count, expected; } rows[] = {
            {100, 0, 100, 100}, // whole small file
            {100, 90, 20, 10}, // short at end
            {100, 100, 5, 0}, // at end
            {100, 5000, 5, 0}, // past end
            {100, 3, 0, 0}, // nothing asked
            {0, 0, mib, 0}, // empty file
            {3 * mib, 12345, mib, mib}, // one chunk, unaligned
            {3 * mib + 7, 1, 4 * mib, 3 * mib + 6}, // several chunks at once
        };
        for (const auto &[size, offset, count, expected] : rows) {
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
