// The burn log: the list in memory, the file on disk, and saving a copy.

#include "TestEnv.h"
#include "app/AppModel.h"
#include "app/LogFile.h"
#include "app/LogModel.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

class TestBurnLog : public QObject
{
    Q_OBJECT

    static QStringList fileLines(const QString &path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QString text = QString::fromUtf8(f.readAll());
        if (text.endsWith(QLatin1Char('\n')))
            text.chop(1);
        return text.split(QLatin1Char('\n'));
    }

    // The message part of a file line: everything after the stamp and two spaces.
    static QString message(const QString &fileLine) { return fileLine.mid(21); }

private Q_SLOTS:
    void defaultPathFollowsXdgState()
    {
        TestEnv env;
        QCOMPARE(TDLogFile::defaultPath(), env.path(QStringLiteral("xdg_state_home/KLVO Tandor/Burn Log.txt")));
        qputenv("XDG_STATE_HOME", "relative/ignored");
        QVERIFY(TDLogFile::defaultPath().endsWith(QStringLiteral("/.local/state/KLVO Tandor/Burn Log.txt")));
    }

    void firstLineCreatesFolderAndFile()
    {
        TestEnv env;
        const QString path = env.path(QStringLiteral("state/KLVO Tandor/Burn Log.txt"));
        QVERIFY(!QFile::exists(path));
        {
            TDLogFile file(path);
            file.append(QStringLiteral("2026-01-02 03:04:05  hello"));
            file.flush();
        }
        QCOMPARE(fileLines(path), QStringList{QStringLiteral("2026-01-02 03:04:05  hello")});
    }

    void lineWrittenAfterFileDeletedStartsNewFile()
    {
        TestEnv env;
        const QString path = env.path(QStringLiteral("log.txt"));
        TDLogFile file(path);
        file.append(QStringLiteral("one"));
        file.flush();
        QVERIFY(QFile::remove(path));
        file.append(QStringLiteral("two"));
        file.flush();
        QCOMPARE(fileLines(path), QStringList{QStringLiteral("two")});
    }

    void listIsNewestFirstCappedAtFiveHundredFileKeepsAll()
    {
        TestEnv env;
        auto settings = env.settings();
        const QString path = env.path(QStringLiteral("log/Burn Log.txt"));
        AppModel model({settings.get(), false, path});
        QAbstractItemModelTester tester(model.logLines(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        // The engine-ready line plus 500 more: 501 in all.
        for (int i = 1; i <= 500; ++i)
            model.log(QStringLiteral("line %1").arg(i));
        const auto &lines = model.logLines()->lines();
        QCOMPARE(lines.size(), 500);
        QCOMPARE(lines.first().text, QStringLiteral("line 500"));
        QCOMPARE(lines.last().text, QStringLiteral("line 1"));
        QVERIFY(lines.first().id != lines.at(1).id);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$")).match(lines.first().time).hasMatch());

        model.logFile().flush();
        const QStringList file = fileLines(path);
        QCOMPARE(file.size(), 501);
        QVERIFY(message(file.first()).startsWith(QStringLiteral("Engine ready: libburn ")));
        QVERIFY(message(file.first()).endsWith(
            QStringLiteral(". Audio CDs, data discs and disc images on up to 6 burners.")));
        for (int i = 1; i <= 500; ++i)
            QCOMPARE(message(file.at(i)), QStringLiteral("line %1").arg(i));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  line 1$"))
                    .match(file.at(1))
                    .hasMatch());
    }

    void multiLineMessageIsWrittenAsIs()
    {
        TestEnv env;
        auto settings = env.settings();
        const QString path = env.path(QStringLiteral("log.txt"));
        AppModel model({settings.get(), false, path});
        model.log(QStringLiteral("first\nsecond — “quoted” · ünïcode"));
        model.logFile().flush();
        const QStringList file = fileLines(path);
        QCOMPARE(file.size(), 3);
        QCOMPARE(message(file.at(1)), QStringLiteral("first"));
        QCOMPARE(file.at(2), QStringLiteral("second — “quoted” · ünïcode"));
    }

    // A tool's own words ride with their line: under it on the card, on the next line in the file.
    void detailFollowsItsLine()
    {
        TestEnv env;
        auto settings = env.settings();
        const QString path = env.path(QStringLiteral("log.txt"));
        AppModel model({settings.get(), false, path});
        model.log(QStringLiteral("Couldn't mount x.iso: This image holds no file system Linux can mount."),
                  QStringLiteral("fuseiso: init: wrong standard identifier in volume descriptor 17, exiting.."));
        model.log(QStringLiteral("plain"));
        model.logFile().flush();

        const LogModel *lines = model.logLines();
        QCOMPARE(lines->data(lines->index(0), LogModel::DetailRole).toString(), QString());
        QCOMPARE(lines->data(lines->index(1), LogModel::TextRole).toString(),
                 QStringLiteral("Couldn't mount x.iso: This image holds no file system Linux can mount."));
        QCOMPARE(lines->data(lines->index(1), LogModel::DetailRole).toString(),
                 QStringLiteral("fuseiso: init: wrong standard identifier in volume descriptor 17, exiting.."));

        const QString indent(23, QLatin1Char(' ')); // under the text, past "yyyy-MM-dd HH:mm:ss  "
        const QStringList file = fileLines(path);
        QCOMPARE(file.size(), 4);
        QCOMPARE(message(file.at(1)), QStringLiteral("Couldn't mount x.iso: This image holds no file system Linux can mount."));
        QCOMPARE(file.at(2), indent + QStringLiteral("fuseiso: init: wrong standard identifier in volume descriptor 17, exiting.."));
        QCOMPARE(message(file.at(3)), QStringLiteral("plain"));

        const QStringList memory = lines->chronologicalText().split(QLatin1Char('\n'));
        QCOMPARE(memory.size(), 4);
        QCOMPARE(memory.at(2), QString(12, QLatin1Char(' ')) + QStringLiteral("fuseiso: init: wrong standard identifier in volume descriptor 17, exiting.."));
    }

    void savedCopyHoldsBurstLoggedJustBefore()
    {
        TestEnv env;
        auto settings = env.settings();
        AppModel model({settings.get(), false, env.path(QStringLiteral("log.txt"))});
        for (int i = 0; i < 2000; ++i)
            model.log(QStringLiteral("burst %1").arg(i));
        const QString target = env.path(QStringLiteral("copy.txt"));
        QSignalSpy saved(&model, &AppModel::logCopySaved);
        model.saveLogCopy(target);
        QVERIFY(saved.wait());
        QCOMPARE(saved.first().at(1).toBool(), true);
        const QStringList copy = fileLines(target);
        QCOMPARE(copy.size(), 2001);
        QCOMPARE(message(copy.last()), QStringLiteral("burst 1999"));
    }

    void savedCopyFallsBackToMemoryWhenFileIsGone()
    {
        TestEnv env;
        auto settings = env.settings();
        const QString path = env.path(QStringLiteral("log.txt"));
        AppModel model({settings.get(), false, path});
        model.log(QStringLiteral("alpha"));
        model.log(QStringLiteral("beta"));
        model.logFile().flush();
        QVERIFY(QFile::remove(path));

        const QString target = env.path(QStringLiteral("copy.txt"));
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an older copy that is replaced\n");
        old.close();

        QSignalSpy saved(&model, &AppModel::logCopySaved);
        model.saveLogCopy(target);
        QVERIFY(saved.wait());
        const auto &lines = model.logLines()->lines(); // newest first
        QCOMPARE(fileLines(target), (QStringList{lines.at(2).time + "  " + lines.at(2).text, lines.at(1).time + "  alpha",
                                                 lines.at(0).time + "  beta"}));
    }
};

QTEST_GUILESS_MAIN(TestBurnLog)
#include "tst_burnlog.moc"
