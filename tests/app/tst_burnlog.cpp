// The burn log: the list in memory, the file on disk, and saving a copy.

#include "ModelRig.h"
#include "app/LogFile.h"

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
        const QString text = QString::fromUtf8(readFile(path));
        return (text.endsWith(u'\n') ? text.chopped(1) : text).split(u'\n');
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

    void listIsNewestFirstCappedAtFiveHundredFileKeepsAll()
    {
        AppModelAlone app({}, QStringLiteral("log/Burn Log.txt"));
        QAbstractItemModelTester tester(app.model->logLines(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        // The engine-ready line plus 500 more: 501 in all.
        for (int i = 1; i <= 500; ++i)
            app.model->log(QStringLiteral("line %1").arg(i));
        const auto &lines = app.lines();
        QCOMPARE(lines.size(), 500);
        QCOMPARE(lines.first().text, QStringLiteral("line 500"));
        QCOMPARE(lines.last().text, QStringLiteral("line 1"));
        QVERIFY(lines.first().id != lines.at(1).id);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$")).match(lines.first().time).hasMatch());

        app.model->logFile().flush();
        const QStringList file = fileLines(app.logPath);
        QCOMPARE(file.size(), 501);
        QVERIFY(message(file.first()).startsWith(QStringLiteral("Engine ready: libburn ")));
        QVERIFY(message(file.first()).endsWith(
            QStringLiteral(". Audio CDs, data discs and disc images on up to 6 burners.")));
        for (int i = 1; i <= 500; ++i)
            QCOMPARE(message(file.at(i)), QStringLiteral("line %1").arg(i));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  line 1$"))
                    .match(file.at(1)).hasMatch());
    }

    // A message of several lines goes in as it is; a tool's own words ride
    // with their line: under it on the card, on the next line in the file.
    void messagesAndDetailsInTheFile()
    {
        AppModelAlone app;
        const QString mount = QStringLiteral("Couldn't mount x.iso: This image holds no file system Linux can mount.");
        const QString tool = QStringLiteral("fuseiso: init: wrong standard identifier in volume descriptor 17, exiting..");
        app.model->log(QStringLiteral("first\nsecond — “quoted” · ünïcode"));
        app.model->log(mount, tool);
        app.model->log(QStringLiteral("plain"));
        app.model->logFile().flush();

        const LogModel *lines = app.model->logLines();
        QCOMPARE(lines->data(lines->index(0), LogModel::DetailRole).toString(), QString());
        QCOMPARE(lines->data(lines->index(1), LogModel::TextRole).toString(), mount);
        QCOMPARE(lines->data(lines->index(1), LogModel::DetailRole).toString(), tool);

        const QString indent(23, QLatin1Char(' ')); // under the text, past "yyyy-MM-dd HH:mm:ss  "
        const QStringList file = fileLines(app.logPath);
        QCOMPARE(file.size(), 6);
        QCOMPARE(message(file.at(1)), QStringLiteral("first"));
        QCOMPARE(file.at(2), QStringLiteral("second — “quoted” · ünïcode"));
        QCOMPARE(message(file.at(3)), mount);
        QCOMPARE(file.at(4), indent + tool);
        QCOMPARE(message(file.at(5)), QStringLiteral("plain"));

        const QStringList memory = lines->chronologicalText().split(QLatin1Char('\n'));
        QCOMPARE(memory.size(), 6);
        QCOMPARE(memory.at(4), QString(12, QLatin1Char(' ')) + tool);
    }

    // "Save Burn Log…" copies the file with a burst logged just before; with
    // the file gone, it copies the lines in memory.
    void savedCopy()
    {
        AppModelAlone app;
        for (int i = 0; i < 2000; ++i)
            app.model->log(QStringLiteral("burst %1").arg(i));
        const QString target = app.env.path(QStringLiteral("copy.txt"));
        QVERIFY(writeFile(target, "an older copy that is replaced\n"));
        QSignalSpy saved(app.model.get(), &AppModel::logCopySaved);
        app.model->saveLogCopy(target);
        QVERIFY(saved.wait());
        QCOMPARE(saved.first().at(1).toBool(), true);
        const QStringList copy = fileLines(target);
        QCOMPARE(copy.size(), 2001);
        QCOMPARE(message(copy.last()), QStringLiteral("burst 1999"));

        app.model->log(QStringLiteral("alpha"));
        app.model->logFile().flush();
        QVERIFY(QFile::remove(app.logPath));
        app.model->saveLogCopy(target);
        QVERIFY(saved.wait());
        QCOMPARE(saved.last().at(1).toBool(), true);
        const auto &lines = app.lines(); // newest first, 500 of them
        const QStringList fromMemory = fileLines(target);
        QCOMPARE(fromMemory.size(), 500);
        QCOMPARE(fromMemory.first(), lines.last().time + "  burst 1501");
        QCOMPARE(fromMemory.last(), lines.first().time + "  alpha");
    }
};

QTEST_GUILESS_MAIN(TestBurnLog)
#include "tst_burnlog.moc"
