#include "ImageFixtures.h"
#include "images/ImageTool.h"

#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

namespace {

// A tool that is /bin/sh running `script`, read with xorriso's rules: the
// runner's own behaviour (exit status, streams, lines, cancellation) is what
// these tests are about.
QString runScript(const QString &script, const std::function<void(double)> &progress = {}, CancelToken *cancel = {})
{
    return ImageTool::xorriso().withProgram(QStringLiteral("/bin/sh")).run({"-c", script}, progress, cancel);
}

} // namespace

// A script, and its stdout on success, or the error text and the tool line kept
// for the log on failure; and the progress reported.
struct Run { QString script, result, error, detail; QList<double> progress; };

class TstImageTool : public QObject
{
    Q_OBJECT

private slots:
    void failureMessage_data()
    {
        QTest::addColumn<QString>("errors");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("message");

        QTest::newRow("only blank lines") << "\n  \n\t\n" << "\n" << "xorriso: xorriso failed";
        QTest::newRow("output comes after errors") << "first problem\n" << "last words\n" << "xorriso: last words";
        QTest::newRow("progress lines are never the message") << "real problem\nxorriso : UPDATE :  42.00% done\n" << "" << "xorriso: real problem";
        QTest::newRow("abort notice and NOTE lines are chatter") << "xorriso : FAILURE : Cannot determine attributes of source file '/nope' : No such file or directory\n" "xorriso : aborting : -abort_on 'FAILURE' encountered 'FAILURE'\n" "xorriso : NOTE : -return_with SORRY 32 triggered by problem severity FAILURE\n" << "" << "xorriso: Cannot determine attributes of source file '/nope' : No such file or directory";
        QTest::newRow("banner and drive report are chatter") << "xorriso 1.5.4 : RockRidge filesystem manipulator, libburnia project.\n\n" "Drive current: -outdev 'stdio:/x.iso'\nMedia summary: 0 sessions\n" << "" << "xorriso: xorriso failed";
        QTest::newRow("library severity is dropped, library name kept") << "libburn : SORRY : Neither stdio-path nor its directory exist\n" << "" << "xorriso: libburn : Neither stdio-path nor its directory exist";
        QTest::newRow("every own prefix removed") << "xorriso: xorriso : said xorriso: twice\n" << "" << "xorriso: said twice";
        QTest::newRow("CRLF endings") << "broken pipe\r\n" << "" << "xorriso: broken pipe";
        QTest::newRow("last line kept untrimmed inside") << "  indented  text\n" << "" << "xorriso:   indented  text";
    }

    void failureMessage()
    {
        QFETCH(QString, errors);
        QFETCH(QString, output);
        QFETCH(QString, message);
        QCOMPARE(ImageTool::xorriso().failureMessage(errors, output), message);
    }

    void runs_data()
    {
        QTest::addColumn<Run>("want");

        QTest::newRow("success returns stdout") << Run{"echo one; echo two >&2; printf 'two\\nthree'", "one\ntwo\nthree", "", "", {}};
        QTest::newRow("status 1 with a message on stderr") << Run{"echo 'xorriso: create failed - Resource busy' >&2; exit 1", "", "xorriso: create failed - Resource busy", "", {}};
        QTest::newRow("status 1 and silent") << Run{"exit 1", "", "xorriso: xorriso failed", "", {}};
        QTest::newRow("killed by a signal") << Run{"echo 'about to die' >&2; kill -SEGV $$", "", "xorriso: about to die", "", {}};
        // Some xorriso versions add an estimate after "done"; a file count is no percentage.
        QTest::newRow("progress on both streams, clamped, negatives and counts ignored") << Run{"echo 'xorriso : UPDATE :  42.5% done' >&2; echo 'xorriso : UPDATE : -1% done';" " echo 'xorriso : UPDATE : 150% done' >&2; echo 'xorriso : UPDATE :  2.5% done, estimate finish Thu Dec  5' >&2;" " echo 'xorriso : UPDATE :       6 files added in 1 seconds' >&2; printf 'xorriso : UPDATE : 99%% done'", "xorriso : UPDATE : -1% done\nxorriso : UPDATE : 99% done", "", "", QList<double>{0.425, 1.0, 0.025, 0.99}};
        QTest::newRow("a line split across writes is one line") << Run{"printf 'xorriso : UPDATE :  1' >&2; sleep 0.1; printf '2.5%% done\\n' >&2", "", "", "", {0.125}};
        QTest::newRow("much output does not block the tool") << Run{"head -c 300000 /dev/zero | tr '\\0' 'x'; echo", QString(300000, QLatin1Char('x')) + "\n", "", "", {}};
        QTest::newRow("invalid UTF-8 is repaired") << Run{"printf 'caf\\351\\n'", QString::fromUtf8("caf\xEF\xBF\xBD\n"), "", "", {}};
        // What the failed run printed as a whole is read, not only its last line.
        QTest::newRow("known failure") << Run{"echo 'libburn : SORRY : Neither stdio-path nor its directory exist' >&2;" " echo \"xorriso : FAILURE : Cannot acquire drive 'stdio:/gone/x.iso'\" >&2;" " echo \"xorriso : aborting : -abort_on 'FAILURE' encountered 'FAILURE'\" >&2; exit 5", "", "The folder to save the image in doesn't exist.", "xorriso: Cannot acquire drive 'stdio:/gone/x.iso'", {}};
        QTest::newRow("known words on standard output") << Run{"echo 'xorriso : FAILURE : Image size 673s exceeds free space on media 32s'; exit 32", "", TDError::writeFailed(QString::fromLocal8Bit(std::strerror(ENOSPC))).text(), "xorriso: Image size 673s exceeds free space on media 32s", {}};
        QTest::newRow("unknown failure keeps the tool's line, once") << Run{"echo 'xorriso : FAILURE : Something new' >&2; exit 5", "", "xorriso: Something new", "", {}};
    }

    void runs()
    {
        QFETCH(Run, want);
        auto &[script, result, error, detail, progress] = want;

        QList<double> reports;
        // Progress lines reach the callback in stream order; the two streams'
        // relative order is not kept, so compare them sorted.
        try {
            const QString out = runScript(script, [&](double p) { reports << p; });
            QVERIFY2(error.isEmpty(), "expected an error");
            QCOMPARE(out, result);
        } catch (const TDError &e) {
            QCOMPARE(e, TDError::tool(error, detail));
        }
        std::sort(reports.begin(), reports.end());
        std::sort(progress.begin(), progress.end());
        QCOMPARE(reports, progress);
    }

    // The first report arrives while the tool is still busy, not at its end:
    // cancelled on it, the tool (which would go on for 10 s) is sent SIGTERM
    // at once, not killed after the grace time.
    void cancelTerminatesTheTool()
    {
        QTemporaryDir dir;
        const QString pidFile = dir.filePath(QStringLiteral("pid")), termFile = dir.filePath(QStringLiteral("term"));
        CancelToken token;
        const QString script = QStringLiteral("trap 'touch \"%2\"; exit 1' TERM; echo $$ > '%1';"
                                              " echo 'xorriso : UPDATE : 1% done' >&2; i=0; while [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done").arg(pidFile, termFile);
        QCOMPARE(thrown([&] { runScript(script, [&](double) { token.cancel(); }, &token); }), TDError::cancelled());
        QVERIFY2(QFile::exists(termFile), "no SIGTERM");
        const QByteArray pid = readFile(pidFile).trimmed();
        QVERIFY(!pid.isEmpty());
        QVERIFY2(!QFileInfo::exists(QStringLiteral("/proc/") + QString::fromLatin1(pid)), "the tool is still there");
    }

    void cancelledBeforeStartRunsNothing()
    {
        QTemporaryDir dir;
        const QString marker = dir.filePath(QStringLiteral("ran"));
        CancelToken token;
        token.cancel();
        QCOMPARE(thrown([&] { runScript(QStringLiteral("touch '%1'").arg(marker), {}, &token); }), TDError::cancelled());
        QVERIFY(!QFile::exists(marker));
    }

    void missingProgram()
    {
        const ImageTool tool(QStringLiteral("no-such-image-tool"), {}, {}, {});
        const TDError missing = thrown([&] { tool.run({}); });
        QCOMPARE(missing.text(), "Tandor needs no-such-image-tool for this, and it isn't installed. "
                                 "Install the no-such-image-tool package.");
        QCOMPARE(missing.detail(), QStringLiteral("Couldn't start no-such-image-tool: No such file or directory"));
        const ImageTool notExecutable(QStringLiteral("fuseiso"), QStringLiteral("/etc/hostname"), {}, {});
        const QString text = thrown([&] { notExecutable.run({}); }).text();
        QVERIFY2(text.startsWith(QStringLiteral("Couldn't start fuseiso: ")), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TstImageTool)
#include "tst_imagetool.moc"
