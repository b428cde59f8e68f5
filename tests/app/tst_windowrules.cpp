// Window size rules, the saved frame, the interface zoom, the page width under
// it and the header status line.

#include "TestEnv.h"
#include "app/WindowRules.h"
#include "app/Zoom.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

using OptSize = std::optional<QSizeF>;
Q_DECLARE_METATYPE(OptSize)

class TestWindowRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaultSize_data()
    {
        QTest::addColumn<OptSize>("visible");
        QTest::addColumn<QSizeF>("expected");
        QTest::newRow("full HD") << OptSize(QSizeF(1920, 1080)) << QSizeF(1440, 960);
        QTest::newRow("1280x800") << OptSize(QSizeF(1280, 800)) << QSizeF(1203, 752);
        QTest::newRow("no screen") << OptSize() << QSizeF(1203, 676);
        // A screen smaller than the minimum window gets the whole screen, not more.
        QTest::newRow("tiny screen") << OptSize(QSizeF(800, 500)) << QSizeF(800, 500);
        // Between the two: the minimum wins over 94 %.
        QTest::newRow("just above minimum") << OptSize(QSizeF(950, 590)) << QSizeF(900, 560);
    }

    void defaultSize()
    {
        QFETCH(OptSize, visible);
        QFETCH(QSizeF, expected);
        QCOMPARE(TDWindow::defaultSize(visible), expected);
        // QML passes zeros when it knows no screen.
        if (!visible)
            QCOMPARE(WindowRules::defaultSize(0, 0), expected);
    }

    void fit_data()
    {
        QTest::addColumn<QRectF>("frame");
        QTest::addColumn<QRectF>("visible");
        QTest::addColumn<QRectF>("expected");
        const QRectF screen(0, 25, 1920, 1055);
        QTest::newRow("already inside") << QRectF(100, 100, 1440, 960) << screen << QRectF(100, 100, 1440, 960);
        QTest::newRow("off to the right keeps size") << QRectF(2500, 100, 1200, 800) << screen << QRectF(720, 100, 1200, 800);
        QTest::newRow("above and left") << QRectF(-400, -300, 1000, 700) << screen << QRectF(0, 25, 1000, 700);
        QTest::newRow("below the bottom") << QRectF(50, 900, 1000, 700) << screen << QRectF(50, 380, 1000, 700);
        QTest::newRow("too big shrinks to the screen") << QRectF(-10, 0, 2500, 1400) << screen << screen;
        QTest::newRow("too small grows to the minimum") << QRectF(10, 30, 400, 300) << screen << QRectF(10, 30, 900, 560);
        QTest::newRow("screen smaller than minimum") << QRectF(0, 0, 400, 300) << QRectF(0, 0, 800, 500) << QRectF(0, 0, 800, 500);
        QTest::newRow("second screen to the right") << QRectF(100, 100, 1000, 700) << QRectF(1920, 0, 1280, 1024) << QRectF(1920, 100, 1000, 700);
        QTest::newRow("rounds outwards, both edges fractional") << QRectF(10.6, 30.5, 1000.0, 700.0) << screen << QRectF(10, 30, 1001, 701);
    }

    void fit()
    {
        QFETCH(QRectF, frame);
        QFETCH(QRectF, visible);
        QFETCH(QRectF, expected);
        QCOMPARE(TDWindow::fit(frame, visible), expected);
        // Fitting is idempotent: a fitted frame stays where it is.
        QCOMPARE(TDWindow::fit(expected, visible), expected);
    }

    void grownToShow_data()
    {
        QTest::addColumn<QRectF>("frame");
        QTest::addColumn<QSizeF>("content");
        QTest::addColumn<QRectF>("expected");
        QTest::newRow("page fits: unchanged") << QRectF(100, 100, 1440, 960) << QSizeF(1400, 900) << QRectF(100, 100, 1440, 960);
        QTest::newRow("grows to the page") << QRectF(100, 60, 1440, 960) << QSizeF(1711.1, 980) << QRectF(100, 60, 1712, 980);
        QTest::newRow("grown past the edge moves back") << QRectF(400, 100, 1440, 960) << QSizeF(1711, 960) << QRectF(209, 100, 1711, 960);
        QTest::newRow("no bigger than the screen") << QRectF(0, 25, 1440, 960) << QSizeF(2400, 1500) << QRectF(0, 25, 1920, 1055);
    }
    void grownToShow()
    {
        QFETCH(QRectF, frame);
        QFETCH(QSizeF, content);
        QFETCH(QRectF, expected);
        QCOMPARE(TDWindow::grownToShow(frame, content, QRectF(0, 25, 1920, 1055)), expected);
    }

    void savedFrame_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QVariant>("expected");
        const QVariant none;
        QTest::newRow("absent") << none << none;
        QTest::newRow("valid") << QVariant("{{120, 80}, {1440, 960}}") << QVariant(QRectF(120, 80, 1440, 960));
        QTest::newRow("negative and fractional") << QVariant("{{-1920.5, 0}, {1203, 752.25}}") << QVariant(QRectF(-1920.5, 0, 1203, 752.25));
        QTest::newRow("no spaces") << QVariant("{{1,2},{300,400}}") << QVariant(QRectF(1, 2, 300, 400));
        QTest::newRow("garbage") << QVariant("not a frame") << none;
        QTest::newRow("three numbers") << QVariant("{{1, 2}, {300}}") << none;
        QTest::newRow("trailing text") << QVariant("{{1, 2}, {300, 400}} x") << none;
        QTest::newRow("empty") << QVariant("") << none;
        QTest::newRow("narrow ignored") << QVariant("{{10, 10}, {99, 800}}") << none;
        QTest::newRow("low ignored") << QVariant("{{10, 10}, {800, 99.5}}") << none;
        QTest::newRow("100 x 100 kept") << QVariant("{{0, 0}, {100, 100}}") << QVariant(QRectF(0, 0, 100, 100));
    }

    void savedFrame()
    {
        QFETCH(QVariant, stored);
        QFETCH(QVariant, expected);
        TestEnv env;
        auto settings = env.settings();
        if (stored.isValid())
            settings->setValue(TDWindow::frameKey, stored);
        const std::optional<QRectF> frame = TDWindow::savedFrame(*settings);
        QCOMPARE(frame.has_value(), expected.isValid());
        if (!frame)
            return;
        QCOMPARE(*frame, expected.toRectF());
        // Saved again, it is written in the one form and reads back the same.
        TDWindow::save(*frame, *settings);
        settings->sync();
        QCOMPARE(settings->value(TDWindow::frameKey).toString(),
                 stored.toString().remove(u' ').replace(u',', QStringLiteral(", ")));
        QCOMPARE(TDWindow::savedFrame(*env.settings()), frame);
    }

    // Save dialogs open where the user's file is; Documents only when it is
    // really there, since a dialog in a missing folder makes a job that fails.
    void dialogFolder_data()
    {
        QTest::addColumn<QString>("near");      // relative to the private home; "" = nothing
        QTest::addColumn<bool>("documents");    // whether ~/Documents exists
        QTest::addColumn<QString>("expected");  // relative to the private home
        QTest::newRow("image's folder") << "music/live/disc.iso" << true << "music/live";
        QTest::newRow("folder's parent") << "music/live" << true << "music";
        QTest::newRow("name with spaces") << "my discs/Sunday #2/a b.iso" << false << "my discs/Sunday #2";
        QTest::newRow("gone, to Documents") << "gone/disc.iso" << true << "Documents";
        QTest::newRow("gone, no Documents") << "gone/disc.iso" << false << "";
        QTest::newRow("nothing, to Documents") << "" << true << "Documents";
        QTest::newRow("nothing, no Documents") << "" << false << "";
    }
    void dialogFolder()
    {
        QFETCH(QString, near);
        QFETCH(bool, documents);
        QFETCH(QString, expected);
        TestEnv env;
        const QString home = env.path(QStringLiteral("home"));
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home));
        const auto restore = qScopeGuard([&] { qputenv("HOME", oldHome); });
        QVERIFY(QDir().mkpath(home + QStringLiteral("/music/live")));
        QVERIFY(QDir().mkpath(home + QStringLiteral("/my discs/Sunday #2")));
        if (documents)
            QVERIFY(QDir().mkpath(home + QStringLiteral("/Documents")));
        const QString wanted = expected.isEmpty() ? home : home + QLatin1Char('/') + expected;
        const QString given = near.isEmpty() ? QString() : home + QLatin1Char('/') + near;
        const QUrl folder = WindowRules::dialogFolder(given);
        QVERIFY(folder.isLocalFile());
        QCOMPARE(QDir(folder.toLocalFile()).canonicalPath(), QDir(wanted).canonicalPath());
    }

    // The interface zoom: what a saved factor reads as, and where each command lands.
    void commands_data()
    {
        QTest::addColumn<QVariant>("saved");
        QTest::addColumn<QString>("command"); // empty: only read what was saved
        QTest::addColumn<double>("expected");
        const QVariant none;
        QTest::newRow("nothing saved") << none << "" << 1.0;
        QTest::newRow("zero counts as nothing") << QVariant(0.0) << "" << 1.0;
        QTest::newRow("three decimals") << QVariant(1.234) << "" << 1.23;
        QTest::newRow("below the range") << QVariant(0.5) << "" << 0.85;
        QTest::newRow("above the range") << QVariant(3.0) << "" << 2.0;
        QTest::newRow("stored as text") << QVariant(QStringLiteral("1.5")) << "" << 1.5;
        QTest::newRow("not a number") << QVariant(QStringLiteral("big")) << "" << 1.0;
        // Text that converts to NaN or infinity, as an edited settings file may hold.
        QTest::newRow("nan") << QVariant(QStringLiteral("nan")) << "" << 1.0;
        QTest::newRow("in from nan") << QVariant(QStringLiteral("nan")) << "in" << 1.15;
        QTest::newRow("infinity") << QVariant(QStringLiteral("inf")) << "" << 2.0;
        QTest::newRow("minus infinity") << QVariant(QStringLiteral("-inf")) << "" << 0.85;
        QTest::newRow("out from nothing") << none << "out" << 0.85;
        QTest::newRow("in from 1.90") << QVariant(1.9) << "in" << 2.0;
        QTest::newRow("in at the top stays") << QVariant(2.0) << "in" << 2.0;
        QTest::newRow("out from 0.90 clamps") << QVariant(0.9) << "out" << 0.85;
        QTest::newRow("out from 1.15") << QVariant(1.15) << "out" << 1.0;
        // The commands step through the Zoom Level menu's levels.
        QTest::newRow("in from 1.50") << QVariant(1.5) << "in" << 1.75;
        // From between two levels, the nearer level that way.
        QTest::newRow("in from 1.23") << QVariant(1.234) << "in" << 1.3;
        QTest::newRow("out from 1.51") << QVariant(1.51) << "out" << 1.5;
        QTest::newRow("actual size") << QVariant(1.75) << "actual" << 1.0;
        QTest::newRow("level 130") << none << "130" << 1.3;
        QTest::newRow("level 200") << QVariant(0.85) << "200" << 2.0;
    }

    void commands()
    {
        QFETCH(QVariant, saved);
        QFETCH(QString, command);
        QFETCH(double, expected);
        TestEnv env;
        auto settings = env.settings();
        if (saved.isValid())
            settings->setValue(KVZoom::key, saved);
        KVZoom zoom(settings.get());
        const double before = zoom.value();
        QSignalSpy changed(&zoom, &KVZoom::valueChanged);
        if (command == QLatin1String("in"))
            zoom.zoomIn();
        else if (command == QLatin1String("out"))
            zoom.zoomOut();
        else if (command == QLatin1String("actual"))
            zoom.actualSize();
        else if (!command.isEmpty())
            zoom.setLevel(command.toInt());
        QCOMPARE(zoom.value(), expected);
        QCOMPARE(changed.size(), int(expected != before));
        // Nothing is written until a command changes something.
        QCOMPARE(settings->contains(KVZoom::key), saved.isValid() || !command.isEmpty());
        if (!command.isEmpty())
            QCOMPARE(settings->value(KVZoom::key).toDouble(), expected);
    }

    void designWidth_data()
    {
        QTest::addColumn<double>("viewport");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<double>("expected");
        QTest::newRow("wide at 100%") << 1440.0 << 1.0 << 1440.0;
        QTest::newRow("narrow at 100%") << 900.0 << 1.0 << 1180.0;
        QTest::newRow("zoom makes it narrow") << 1440.0 << 2.0 << 1180.0;
        QTest::newRow("zoom out widens") << 1440.0 << 0.85 << 1440.0 / 0.85;
    }

    void designWidth()
    {
        QFETCH(double, viewport);
        QFETCH(double, zoom);
        QFETCH(double, expected);
        QCOMPARE(TDLayout::designWidth(viewport, zoom), expected);
    }

    void statusText_data()
    {
        QTest::addColumn<int>("connected");
        QTest::addColumn<int>("running");
        QTest::addColumn<int>("waiting");
        QTest::addColumn<bool>("demo");
        QTest::addColumn<QString>("expected");
        QTest::newRow("nothing") << 0 << 0 << 0 << false << QStringLiteral("NO BURNER FOUND");
        QTest::newRow("one burner") << 1 << 0 << 0 << false << QStringLiteral("1 BURNER");
        QTest::newRow("waiting only") << 6 << 0 << 3 << false << QStringLiteral("6 BURNERS · 3 WAITING");
        QTest::newRow("no burner, demo") << 0 << 0 << 0 << true << QStringLiteral("NO BURNER FOUND · DEMO MODE");
        QTest::newRow("all four") << 1 << 2 << 5 << true << QStringLiteral("1 BURNER · 2 RUNNING · 5 WAITING · DEMO MODE");
    }

    void statusText()
    {
        QFETCH(int, connected);
        QFETCH(int, running);
        QFETCH(int, waiting);
        QFETCH(bool, demo);
        QFETCH(QString, expected);
        QCOMPARE(TDWindow::statusText(connected, running, waiting, demo), expected);
    }
};

QTEST_GUILESS_MAIN(TestWindowRules)
#include "tst_windowrules.moc"
