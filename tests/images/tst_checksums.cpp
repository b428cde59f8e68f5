#include "FuzzSeeds.h"
#include "ImageFixtures.h"
#include "TestEnv.h"
#include "images/BlockReader.h"
#include "images/Checksums.h"

#include <QCryptographicHash>
#include <QRegularExpression>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dlfcn.h>
#include <limits>
#include <pthread.h>
#include <vector>

Q_DECLARE_METATYPE(ChecksumMatch)

// Readable QCOMPARE failures; found by argument-dependent lookup.
static char *toString(const Digests &d)
{
    return QTest::toString(QStringLiteral("md5 %1 sha256 %2 bytes %3").arg(d.md5, d.sha256).arg(d.bytes));
}

namespace {

using Clock = std::chrono::steady_clock;

// The digests of `data` as another implementation than ours makes them.
Digests expectedFor(const QByteArray &data)
{
    const auto hash = [&](QCryptographicHash::Algorithm a) { return QString::fromLatin1(QCryptographicHash::hash(data, a).toHex()); };
    return {hash(QCryptographicHash::Md5), hash(QCryptographicHash::Sha256), data.size()};
}

// Bytes this process has read through read()-like calls so far.
qint64 bytesRead()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n'))
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    return -1;
}

// Data that never ends before the length asked for: only cancellation stops it.
const QString endless = QStringLiteral("/dev/zero");
constexpr qint64 tebibyte = qint64(1) << 40;
// No length: compute() hashes the whole file.
constexpr qint64 whole = std::numeric_limits<qint64>::min();

// The major version of the installed coreutils, or 0 when it can't be told.
int coreutilsMajor()
{
    QProcess p;
    p.start(QStringLiteral("cksum"), {QStringLiteral("--version")});
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        return 0;
    // "cksum (GNU coreutils) 9.1"
    const QString first = QString::fromLatin1(p.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0);
    return first.section(QLatin1Char(' '), -1).section(QLatin1Char('.'), 0, 0).toInt();
}

const Digests abc{QStringLiteral("900150983cd24fb0d6963f7d28e17f72"),
                  QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"), 3};

// Threads this test's thread starts while a Watch lasts, and how many of them
// are still inside their function. A thread leaves `running` as its function
// returns, before a join of it can return, so a call that joins all it
// started leaves 0 at once: no race with the kernel reaping ended tasks.
thread_local bool watched = false;
std::atomic<int> started{0}, running{0};
struct Watch
{
    Watch() { started = 0; watched = true; }
    ~Watch() { watched = false; }
};

} // namespace

extern "C" int pthread_create(pthread_t *thread, const pthread_attr_t *attr, void *(*start)(void *), void *arg)
{
    using Create = int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
    static const auto create = reinterpret_cast<Create>(::dlsym(RTLD_NEXT, "pthread_create"));
    if (!watched)
        return create(thread, attr, start, arg);
    struct Job { void *(*start)(void *); void *arg; };
    auto *job = new Job{start, arg};
    ++started;
    ++running;
    const int rc = create(thread, attr, [](void *p) {
        const Job j = *static_cast<Job *>(p);
        delete static_cast<Job *>(p);
        void *result = j.start(j.arg);
        --running;
        return result;
    }, job);
    if (rc != 0) {
        delete job;
        --running;
    }
    return rc;
}

class TstChecksums : public QObject
{
    Q_OBJECT

private slots:
    // The whole file, or with a length exactly that prefix, whatever follows
    // it; data ending before the length is an I/O error where it ended.
    void compute_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("length"); // `whole`: no length given
        QTest::addColumn<QString>("where"); // the error's position; empty: hashed

        const qint64 mib = BlockReader::chunk;
        QTest::newRow("empty") << qint64(0) << whole << "";
        QTest::newRow("just under 1 MiB") << mib - 1 << whole << "";
        QTest::newRow("exactly 1 MiB") << mib << whole << "";
        QTest::newRow("just over 1 MiB") << mib + 1 << whole << "";
        // More chunks than the reader keeps buffers, so buffers are reused.
        QTest::newRow("5 MiB and a bit") << 5 * mib + 4097 << whole << "";
        QTest::newRow("length zero") << qint64(4) << qint64(0) << "";
        QTest::newRow("length negative") << qint64(4) << qint64(-1) << "";
        QTest::newRow("length all of it") << qint64(10) << qint64(10) << "";
        QTest::newRow("length to a chunk boundary") << 2 * mib + 1 << mib << "";
        QTest::newRow("length across chunks") << 3 * mib + 5 << 2 * mib + 7 << "";
        QTest::newRow("past the end of a tiny file") << qint64(4) << qint64(10) << "1 KB";
        QTest::newRow("past the end of an empty file") << qint64(0) << qint64(1) << "0 KB";
        QTest::newRow("ends inside a later chunk") << mib + 10 << 2 * mib << "1 MB";
        QTest::newRow("ends on a chunk boundary") << 2 * mib << 3 * mib << "2.1 MB";
    }

    void compute()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, length);
        QFETCH(QString, where);
        TestEnv env;
        const QString path = env.path(QStringLiteral("data.bin"));
        QVERIFY(TestEnv::writePattern(path, size));
        std::vector<double> reports;
        const auto progress = [&](double f) { reports.push_back(f); };
        if (where.isEmpty()) {
            const qint64 hashed = length == whole ? size : std::max<qint64>(length, 0);
            const Digests d = length == whole ? Checksums::compute(path, progress, nullptr)
                                              : Checksums::compute(path, length, progress, nullptr);
            QCOMPARE(d, expectedFor(readFile(path).left(hashed)));
            // A report needs 0.1 s to pass; the last one is always the end.
            QVERIFY(!reports.empty());
            QCOMPARE(reports.back(), 1.0);
            for (size_t i = 1; i < reports.size(); ++i)
                QVERIFY(reports[i] > reports[i - 1] && reports[i - 1] > 0.0);
            if (hashed == 0)
                QCOMPARE(reports, std::vector<double>{1.0});
            return;
        }
        const Watch watch;
        const TDError e = thrown([&] { Checksums::compute(path, length, progress, nullptr); });
        QCOMPARE(e, TDError::readFailed(path, size, EIO));
        QCOMPARE(e.text(), "Read error in " + path + " at " + where + " (" + QString::fromLocal8Bit(strerror(EIO)) + ").");
        QVERIFY(std::find(reports.begin(), reports.end(), 1.0) == reports.end());
        QCOMPARE(started.load(), 1);
        QCOMPARE(running.load(), 0);
    }

    void cancelledWhileHashing_data()
    {
        QTest::addColumn<int>("atReport");
        QTest::newRow("first report") << 1;
        QTest::newRow("third report") << 3;
    }

    // Cancelling from the progress callback (on the worker thread) stops the
    // job before its next read, with no further report, and the MD5 thread
    // has ended by the time the exception arrives.
    void cancelledWhileHashing()
    {
        QFETCH(int, atReport);
        CancelToken token;
        std::vector<double> values;
        qint64 readAtCancel = 0;
        auto progress = [&](double f) {
            values.push_back(f);
            if (int(values.size()) == atReport) {
                readAtCancel = bytesRead();
                token.cancel();
            }
        };

        const Watch watch;
        const auto begun = Clock::now();
        QCOMPARE(thrown([&] { Checksums::compute(endless, tebibyte, progress, &token); }), TDError::cancelled());
        // Each report waits 0.1 s after the one before, counted from the start.
        QVERIFY2(Clock::now() - begun > atReport * std::chrono::milliseconds(100), "reports too often");
        QVERIFY2(bytesRead() - readAtCancel < BlockReader::chunk, "read data after cancel");
        QCOMPARE(started.load(), 1);
        QCOMPARE(running.load(), 0);
        QCOMPARE(int(values.size()), atReport);
        for (size_t i = 0; i < values.size(); ++i)
            QVERIFY(values[i] > 0.0 && values[i] < 1.0 && (i == 0 || values[i] > values[i - 1]));
    }

    void match_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<ChecksumMatch>("expected");

        const QStringList lines = Checksums::fileText(abc, QStringLiteral("abc.txt")).split(QLatin1Char('\n'));
        const QString md5 = abc.md5;
        const QString sha = abc.sha256;
        QTest::newRow("sha256sum output, padded, upper case") << QStringLiteral("   ") + sha.toUpper() + QStringLiteral("  abc.txt\n") << ChecksumMatch::sha256;
        QTest::newRow("tagged line of our file") << lines[0] << ChecksumMatch::notAChecksum;
        QTest::newRow("tagged MD5 line of our file") << lines[1] << ChecksumMatch::notAChecksum;
        QTest::newRow("md5 upper case") << md5.toUpper() << ChecksumMatch::md5;
        QTest::newRow("md5sum binary mode") << md5 + QStringLiteral(" *abc.txt") << ChecksumMatch::md5;
        QTest::newRow("tab after, Windows line end") << md5 + QStringLiteral("\tabc.txt\r\n") << ChecksumMatch::md5;
        QTest::newRow("two lines are not one digest") << md5 + QStringLiteral("\n") + md5 << ChecksumMatch::notAChecksum;
        // Each end of the hex digits' ranges, and its ASCII neighbour, in
        // either length.
        for (const int length : {32, 64}) {
            for (const char c : QByteArray("09afAF"))
                QTest::addRow("%d ending in %c", length, c) << QString(length - 1, QLatin1Char('1')) + QLatin1Char(c) << ChecksumMatch::noMatch;
            for (const char c : QByteArray("/:@G`g"))
                QTest::addRow("%d ending in %c", length, c) << QString(length - 1, QLatin1Char('1')) + QLatin1Char(c) << ChecksumMatch::notAChecksum;
            for (const int wrong : {length - 1, length + 1})
                QTest::addRow("%d digits", wrong) << QString(wrong, QLatin1Char('1')) << ChecksumMatch::notAChecksum;
        }
        QTest::newRow("32 with a non-ASCII digit") << md5.left(31) + QChar(0x0663) << ChecksumMatch::notAChecksum; // ARABIC-INDIC DIGIT THREE
        QTest::newRow("empty") << QString() << ChecksumMatch::notAChecksum;
        // 64 characters starting with the MD5 is not the MD5.
        QTest::newRow("md5 twice") << md5 + md5 << ChecksumMatch::noMatch;
        QTest::newRow("sha256 truncated to 32") << sha.left(32) << ChecksumMatch::noMatch;
    }

    void match()
    {
        QFETCH(QString, text);
        QFETCH(ChecksumMatch, expected);
        // The checksum target's input: the digests' bytes, then the pasted text.
        keepFuzzSeed(QStringLiteral("checksum"),
                     QByteArray::fromHex(abc.md5.toLatin1()) + QByteArray::fromHex(abc.sha256.toLatin1()) + text.toUtf8());
        QCOMPARE(Checksums::match(text, abc), expected);
    }

    void fileText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");

        const QString sha = abc.sha256;
        const QString md5 = abc.md5;
        QTest::newRow("plain name") << "My disc.iso" << "SHA256 (My disc.iso) = " + sha + "\nMD5 (My disc.iso) = " + md5 + "\n\n" + sha + "  My disc.iso\n";
        QTest::newRow("brackets and equals stay as they are") << "a (1) = b.iso" << "SHA256 (a (1) = b.iso) = " + sha + "\nMD5 (a (1) = b.iso) = " + md5 + "\n\n" + sha + "  a (1) = b.iso\n";
        QTest::newRow("backslash is doubled, line marked") << "C:\\x.iso" << "\\SHA256 (C:\\\\x.iso) = " + sha + "\n\\MD5 (C:\\\\x.iso) = " + md5 + "\n\n\\" + sha + "  C:\\\\x.iso\n";
        QTest::newRow("line feed and carriage return are escaped") << "a\nb\rc" << "\\SHA256 (a\\nb\\rc) = " + sha + "\n\\MD5 (a\\nb\\rc) = " + md5 + "\n\n\\" + sha + "  a\\nb\\rc\n";
    }

    void fileText()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(Checksums::fileText(abc, name), expected);
    }

    // The file we save is checked by the coreutils tools: cksum and
    // sha256sum read two of its lines, md5sum one; each may count the lines
    // of the other forms as ones it can't read, but nothing else.
    void fileTextPassesCoreutilsChecks_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("tool");
        QTest::addColumn<int>("checked");    // lines the tool reports OK
        QTest::addColumn<int>("unreadable"); // at most this many lines it may call improperly formatted

        const QStringList names = {"disc.iso", "My Holiday  2024 (final).iso", " leading space.iso", "p) = q.iso",
                                   "back\\slash.iso", "line\nbreak.iso", "tab\there.iso", "Grüße ✓.iso"};
        struct Tool { const char *name; int checked, unreadable; };
        const QList<Tool> tools = {{"sha256sum", 2, 1}, {"md5sum", 1, 2}, {"cksum", 2, 1}};
        for (const QString &name : names)
            for (const Tool &tool : tools)
                QTest::addRow("%s, %s", tool.name, qPrintable(QString(name).replace(QLatin1Char('\n'), QLatin1String("\\n"))))
                    << name << QString::fromLatin1(tool.name) << tool.checked << tool.unreadable;
    }

    void fileTextPassesCoreutilsChecks()
    {
        QFETCH(QString, name);
        QFETCH(QString, tool);
        QFETCH(int, checked);
        QFETCH(int, unreadable);
        if (tool == QLatin1String("cksum") && coreutilsMajor() < 9)
            QSKIP("cksum -c needs coreutils 9 or later");

        TestEnv env;
        const QString file = env.path(name);
        QVERIFY(TestEnv::writePattern(file, 1005));
        const Digests d = Checksums::compute(file, nullptr, nullptr);
        QVERIFY(writeFile(env.path(QStringLiteral("sums.sha256")), Checksums::fileText(d, name).toUtf8()));

        QProcess check;
        check.setWorkingDirectory(env.root());
        QProcessEnvironment cEnv = QProcessEnvironment::systemEnvironment();
        cEnv.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        check.setProcessEnvironment(cEnv);
        check.start(tool, {QStringLiteral("-c"), QStringLiteral("sums.sha256")});
        QVERIFY(check.waitForFinished(30000));
        const QString out = QString::fromUtf8(check.readAllStandardOutput());
        const QString err = QString::fromUtf8(check.readAllStandardError());
        QVERIFY2(check.exitStatus() == QProcess::NormalExit && check.exitCode() == 0, qPrintable(out + err));
        // "WARNING: 1 line is improperly formatted"
        static const QRegularExpression improper(QStringLiteral(R"((\d+) lines? (is|are) improperly formatted)"));
        const QRegularExpressionMatch complaint = improper.match(err);
        const int improperLines = complaint.hasMatch() ? complaint.captured(1).toInt() : 0;
        QVERIFY2(improperLines <= unreadable, qPrintable(err));
        QCOMPARE(out.count(QLatin1String(": OK\n")), checked);

        // And a changed file fails the same check: the line is really read.
        QVERIFY(TestEnv::writePattern(file, 1006));
        check.start(tool, {QStringLiteral("-c"), QStringLiteral("sums.sha256")});
        QVERIFY(check.waitForFinished(30000));
        QCOMPARE(check.exitCode(), 1);
    }
};

QTEST_GUILESS_MAIN(TstChecksums)
#include "tst_checksums.moc"
