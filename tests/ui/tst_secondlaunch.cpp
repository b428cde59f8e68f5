// Launching the program while it runs: the real built program, started a
// second time, hands its files to the running window, which comes to the
// front as it was before it was minimized; only the running copy clears the cache of a crashed run's work.

#include "ImageFixtures.h"
#include "WindowTest.h"
#include "app/AppModel.h"
#include "app/BurnImageModel.h"
#include "app/SingleInstance.h"
#include "audio/AudioPrep.h"
#include "audio/DiscProject.h"

#include <QApplication>
#include <QProcess>
#include <QSignalSpy>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

bool ageFile(const QString &path, int seconds)
{
    const qint64 when = QDateTime::currentSecsSinceEpoch() - seconds;
    const timespec times[2] = {{when, 0}, {when, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

// The built program, run to its end; its standard output in `out`.
struct Launch
{
    int exitCode = -1;
    QString out, err;
};
Launch launch(const QStringList &arguments, const QString &folder)
{
    QProcess program;
    program.setWorkingDirectory(folder);
    QSignalSpy finished(&program, &QProcess::finished);
    program.start(QStringLiteral(TANDOR_BINARY), arguments);
    // The running copy (this process) must keep serving its socket meanwhile.
    if (!finished.wait(30000)) {
        program.kill();
        program.waitForFinished();
        return {};
    }
    return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -2,
            QString::fromLocal8Bit(program.readAllStandardOutput()),
            QString::fromLocal8Bit(program.readAllStandardError())};
}

} // namespace

class TestSecondLaunch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void handsItsFilesToTheRunningWindow_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("line");
        QTest::addColumn<Tandor::MainTab>("tab");
        QTest::addColumn<bool>("image");
        QTest::addColumn<int>("tracks");
        QTest::addColumn<QWindow::Visibility>("shown"); // before it was minimized, and again once back

        QTest::newRow("an image") << QStringList{"disc.iso"} << "KLVO Tandor is already running; handed it 1 file.\n" << Tandor::MainTab::data << true << 0 << QWindow::Windowed;
        QTest::newRow("nothing, maximized") << QStringList{} << "KLVO Tandor is already running; brought its window to the front.\n" << Tandor::MainTab::audio << false << 0 << QWindow::Maximized;
        QTest::newRow("an image and a track") << QStringList{"disc.iso", "tone.wav"} << "KLVO Tandor is already running; handed it 2 files.\n" << Tandor::MainTab::audio << true << 1 << QWindow::Windowed;
        // The desktop entry's actions.
        QTest::newRow("burn an image") << QStringList{"--screen", "data"} << "KLVO Tandor is already running; brought its window to the front.\n" << Tandor::MainTab::data << false << 0 << QWindow::Windowed;
        QTest::newRow("the tools screen") << QStringList{"--screen", "tools"} << "KLVO Tandor is already running; brought its window to the front.\n" << Tandor::MainTab::tools << false << 0 << QWindow::Windowed;
    }
    void handsItsFilesToTheRunningWindow()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, line);
        QFETCH(Tandor::MainTab, tab);
        QFETCH(bool, image);
        QFETCH(int, tracks);
        QFETCH(QWindow::Visibility, shown);

        MainWindowRig rig(1);
        QVERIFY(rig.window);
        const QString iso = rig.env.path(QStringLiteral("disc.iso"));
        QVERIFY(TestEnv::writePattern(iso, 2048 * 16));
        QVERIFY(TestEnv::writeWav(rig.env.path(QStringLiteral("tone.wav")), 0.2));
        // Work of the running copy's that looks old: a second copy must not take it.
        const QString work = AudioPrep::cacheDir() + QStringLiteral("/1B3F1F5E-0000-4000-8000-00000000000A.cdda");
        QVERIFY(TestEnv::writePattern(work, 1000));
        QVERIFY(ageFile(work, 3600));

        // The first copy, wired as the program wires it.
        SingleInstance first;
        QCOMPARE(first.start({}), SingleInstance::Role::first);
        first.serve(*rig.model);
        QVERIFY(rig.show());
        rig.window->setVisibility(shown);
        QTRY_COMPARE(rig.window->visibility(), shown);
        rig.window->showMinimized();
        QTRY_COMPARE(rig.window->visibility(), QWindow::Minimized);
        // Another window has the focus meanwhile.
        QWindow other;
        other.resize(200, 200);
        other.show();
        other.requestActivate();
        QTRY_VERIFY(other.isActive());
        // The model hears that the window is in the background, and when it is back.
        QTRY_VERIFY(!rig.model->windowActive());
        QSignalSpy asked(rig.model.get(), &AppModel::activationRequested);

        const Launch second = launch(arguments, rig.env.root());
        QCOMPARE(second.exitCode, 0);
        QCOMPARE(second.out, line);

        QTRY_COMPARE(asked.size(), 1);
        QTRY_COMPARE(rig.window->visibility(), shown);
        QTRY_VERIFY(rig.window->isActive());
        QVERIFY(!other.isActive());
        QTRY_VERIFY(rig.model->windowActive());
        QTRY_COMPARE(rig.model->tab(), tab);
        QCOMPARE(rig.model->burnImage()->image(), image ? iso : QString());
        QTRY_COMPARE(rig.model->projects().first()->count(), tracks);
        QVERIFY(QFile::exists(work));
    }

    // A screen that doesn't exist is refused before any copy is asked.
    void unknownScreenIsRefused()
    {
        TestEnv env;
        SingleInstance first;
        QCOMPARE(first.start({}), SingleInstance::Role::first);
        QSignalSpy received(&first, &SingleInstance::filesReceived);
        const Launch second = launch({QStringLiteral("--screen"), QStringLiteral("burn")}, env.root());
        QCOMPARE(second.exitCode, 2);
        QCOMPARE(second.err, QStringLiteral("There is no screen \"burn\": use audio, data or tools.\n"));
        QCOMPARE(received.size(), 0);
    }

    // The built program as the first copy: a crashed run's work goes, its
    // burn log says so, and a copy started later is served.
    void firstCopyClearsTheCache()
    {
        TestEnv env;
        const QString cache = env.path(QStringLiteral("xdg_cache_home/KLVO Tandor"));
        const QString stale = cache + QStringLiteral("/0C0FFEE0-0000-4000-8000-000000000001.cdda");
        QVERIFY(TestEnv::writePattern(stale, 2500000));
        QVERIFY(writeFile(cache + QStringLiteral("/keep.txt"), "mine"));
        QVERIFY(ageFile(stale, 3600));
        const QString log = env.path(QStringLiteral("xdg_state_home/KLVO Tandor/Burn Log.txt"));

        QProcess first;
        first.start(QStringLiteral(TANDOR_BINARY), {});
        const auto stop = qScopeGuard([&first] {
            first.terminate();
            if (!first.waitForFinished(10000))
                first.kill();
            first.waitForFinished();
        });
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(readFile(log).contains("Removed 1 file (2.5 MB) left in the cache by an earlier run."),
                                 20000);
        QVERIFY(!QFile::exists(stale));
        QCOMPARE(readFile(cache + QStringLiteral("/keep.txt")), QByteArray("mine"));

        // The program as the first copy serves a second (which sweeps nothing:
        // handsItsFilesToTheRunningWindow).
        const Launch second = launch({}, env.root());
        QCOMPARE(second.exitCode, 0);
        QCOMPARE(second.out, QStringLiteral("KLVO Tandor is already running; brought its window to the front.\n"));
        QCOMPARE(first.state(), QProcess::Running);
    }
};

QTEST_MAIN(TestSecondLaunch)
#include "tst_secondlaunch.moc"
