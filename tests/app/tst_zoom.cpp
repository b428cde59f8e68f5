// The interface zoom: what a saved factor reads as, and where each command lands.

#include "TestEnv.h"
#include "app/Zoom.h"

#include <QSignalSpy>
#include <QTest>

class TestZoom : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        QTest::newRow("in from nothing") << none << "in" << 1.15;
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
};

QTEST_GUILESS_MAIN(TestZoom)
#include "tst_zoom.moc"
