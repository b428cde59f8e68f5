// The theme table and the store that remembers the choice.

#include "TestEnv.h"
#include "app/ChromeThemes.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>

// Worked out here from the colour rules, not with the code under test.
namespace {
struct V
{
    double r, g, b;
};
V v255(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0}; }
V towards(V c, V o, double t) { return {c.r + (o.r - c.r) * t, c.g + (o.g - c.g) * t, c.b + (o.b - c.b) * t}; }
V up(V c, double t) { return towards(c, {1, 1, 1}, t); }
V down(V c, double t) { return towards(c, {0, 0, 0}, t); }
double lum(V c)
{
    auto f = [](double x) { return x <= 0.03928 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4); };
    return 0.2126 * f(c.r) + 0.7152 * f(c.g) + 0.0722 * f(c.b);
}
bool near(const RGB &got, V want)
{
    return std::abs(got.r - want.r) < 1e-9 && std::abs(got.g - want.g) < 1e-9 && std::abs(got.b - want.b) < 1e-9;
}
QByteArray show(const RGB &c) { return QByteArray::number(c.r) + ',' + QByteArray::number(c.g) + ',' + QByteArray::number(c.b); }
} // namespace
Q_DECLARE_METATYPE(V)

class TestChromeThemes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tableInMenuOrder()
    {
        const auto &all = ChromeThemes::all();
        QCOMPARE(all.size(), 21);
        QCOMPARE(all.first().id, QStringLiteral("hotpink"));
        QCOMPARE(all.at(7).name, QStringLiteral("Midnight Black"));
        QCOMPARE(all.last().id, QStringLiteral("opal"));
        QSet<QString> ids;
        for (const auto &t : all)
            ids.insert(t.id);
        QCOMPARE(ids.size(), 21);
        QCOMPARE(ChromeThemes::named(QStringLiteral("gold")).accent.name(), QStringLiteral("#fff1a8"));
        QVERIFY(ChromeThemes::named(QStringLiteral("gold")).mirror);
        QCOMPARE(ChromeThemes::named(QStringLiteral("broncos")).base.name(), QStringLiteral("#0a2343"));
    }

    void rgbOperations()
    {
        const RGB c{0.2, 0.4, 0.8};
        QVERIFY(near(c.mix(RGB::white(), 0.5), {0.6, 0.7, 0.9}));
        QVERIFY(near(c.mix(RGB{0, 1, 0}, 0.25), {0.15, 0.55, 0.6}));
        QVERIFY(near(c.lighter(0.5), {0.6, 0.7, 0.9}));
        QVERIFY(near(c.darker(0.25), {0.15, 0.3, 0.6}));
        QCOMPARE(RGB::white().luminance(), 1.0);
        QCOMPARE(RGB::black().luminance(), 0.0);
        // Both sides of the linear segment's knee.
        QVERIFY(std::abs(RGB{0.03, 0.03, 0.03}.luminance() - 0.03 / 12.92) < 1e-12);
        QVERIFY(std::abs(RGB{0.5, 0.5, 0.5}.luminance() - 0.21404114048223255) < 1e-12);
        // The dark cap text's luminance as given by the colour rules.
        QVERIFY(std::abs(RGB{0.06, 0.06, 0.08}.luminance() - 0.005062232844546803) < 1e-15);
    }

    void derivedColours_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("field");
        QTest::addColumn<V>("expected");

        const V pearl = v255(234, 230, 223); // light
        QTest::newRow("pearl windowTop") << "pearl" << "windowTop" << towards(pearl, {1, 1, 1}, 0.35);
        QTest::newRow("pearl windowBottom") << "pearl" << "windowBottom" << down(pearl, 0.12);
        QTest::newRow("pearl panelTop") << "pearl" << "panelTop" << up(pearl, 0.55);
        QTest::newRow("pearl panelBottom") << "pearl" << "panelBottom" << towards(pearl, {1, 1, 1}, 0.1);
        QTest::newRow("pearl capTop") << "pearl" << "capTop" << up(pearl, 0.45);
        QTest::newRow("pearl capBottom") << "pearl" << "capBottom" << down(pearl, 0.55);
        QTest::newRow("pearl text") << "pearl" << "text" << V{0.08, 0.08, 0.10};
        QTest::newRow("pearl dimText") << "pearl" << "dimText" << V{0.24, 0.24, 0.28};
        QTest::newRow("pearl capText dark") << "pearl" << "capText" << V{0.06, 0.06, 0.08};
        QTest::newRow("pearl chromeLight") << "pearl" << "chromeLight" << towards({0.97, 0.97, 0.98}, pearl, 0.1);
        QTest::newRow("pearl chromeMid") << "pearl" << "chromeMid" << towards({0.62, 0.63, 0.66}, pearl, 0.12);
        QTest::newRow("pearl chromeDark") << "pearl" << "chromeDark" << towards({0.16, 0.16, 0.18}, pearl, 0.1);
        QTest::newRow("pearl lcdBack") << "pearl" << "lcdBack" << towards({0.02, 0.03, 0.05}, pearl, 0.1);
        // Accent 47 128 237 is darker than 0.25.
        QTest::newRow("pearl lcdText dark accent") << "pearl" << "lcdText" << up(v255(47, 128, 237), 0.55);

        const V navy = v255(20, 40, 75); // dark
        QTest::newRow("navy windowTop") << "navy" << "windowTop" << towards(navy, {0, 0, 0}, 0.55);
        QTest::newRow("navy windowBottom") << "navy" << "windowBottom" << down(navy, 0.82);
        QTest::newRow("navy panelTop") << "navy" << "panelTop" << up(down(navy, 0.3), 0.08);
        QTest::newRow("navy panelBottom") << "navy" << "panelBottom" << towards(navy, {0, 0, 0}, 0.7);
        QTest::newRow("navy capTop") << "navy" << "capTop" << up(navy, 0.45);
        QTest::newRow("navy text") << "navy" << "text" << V{0.96, 0.96, 0.98};
        QTest::newRow("navy dimText") << "navy" << "dimText" << V{0.74, 0.75, 0.79};
        QTest::newRow("navy capText white") << "navy" << "capText" << V{1, 1, 1};
        // Accent 111 183 255 is brighter than 0.25.
        QTest::newRow("navy lcdText bright accent") << "navy" << "lcdText" << up(v255(111, 183, 255), 0.15);

        const V midnight = v255(21, 22, 27);
        QTest::newRow("midnight text") << "midnight" << "text" << V{0.96, 0.96, 0.98};
        QTest::newRow("midnight capBottom") << "midnight" << "capBottom" << down(midnight, 0.55);
        QTest::newRow("midnight lcdText bright accent") << "midnight" << "lcdText" << up(v255(0, 229, 255), 0.15);

        // Polished metal: brighter caps, lighter bottoms.
        QTest::newRow("silver capTop") << "silver" << "capTop" << up(v255(185, 189, 196), 0.75);
        QTest::newRow("silver capBottom") << "silver" << "capBottom" << down(v255(185, 189, 196), 0.45);
        QTest::newRow("gold capTop") << "gold" << "capTop" << up(v255(201, 154, 30), 0.75);
        QTest::newRow("chromegold capTop") << "chromegold" << "capTop" << up(v255(227, 188, 74), 0.75);
        QTest::newRow("gold capText dark") << "gold" << "capText" << V{0.06, 0.06, 0.08};
        QTest::newRow("tan lcdText dark accent") << "tan" << "lcdText" << up(v255(138, 59, 18), 0.55);
        // Hot pink stays below 0.22 and is drawn as a dark theme, yet its
        // base is bright enough for dark cap text.
        QTest::newRow("hotpink text") << "hotpink" << "text" << V{0.96, 0.96, 0.98};
        QTest::newRow("hotpink capText") << "hotpink" << "capText" << V{0.06, 0.06, 0.08};
        QTest::newRow("candyred capText") << "candyred" << "capText" << V{1, 1, 1};
    }
    void derivedColours()
    {
        QFETCH(QString, id);
        QFETCH(QString, field);
        QFETCH(V, expected);
        const ChromeColors c = ChromeColors::of(ChromeThemes::named(id));
        const QHash<QString, RGB> byName = {
            {"windowTop", c.windowTop}, {"windowBottom", c.windowBottom}, {"panelTop", c.panelTop},
            {"panelBottom", c.panelBottom}, {"capTop", c.capTop}, {"capBottom", c.capBottom},
            {"chromeLight", c.chromeLight}, {"chromeMid", c.chromeMid}, {"chromeDark", c.chromeDark},
            {"text", c.text}, {"dimText", c.dimText}, {"capText", c.capText},
            {"lcdBack", c.lcdBack}, {"lcdText", c.lcdText},
        };
        QVERIFY(byName.contains(field));
        QVERIFY2(near(byName.value(field), expected), show(byName.value(field)).constData());
    }

    void everyThemeLightOrDarkByItsBase()
    {
        // Which side of 0.22 each base falls on, and what follows from it.
        const QSet<QString> light = {"canary", "pearl", "lavender", "orange", "tan", "beige",
                                     "silver", "gold", "chromegold", "opal"};
        for (const ChromeTheme &t : ChromeThemes::all()) {
            const V base{t.base.r, t.base.g, t.base.b};
            const ChromeColors c = ChromeColors::of(t);
            QVERIFY2(c.isLight == (lum(base) > 0.22), qPrintable(t.id));
            QVERIFY2(c.isLight == light.contains(t.id), qPrintable(t.id));
            QCOMPARE(c.mirror, t.mirror);
            QCOMPARE(c.glossTop, t.mirror ? 0.75 : 0.55);
            QVERIFY2(near(c.capTop, up(base, t.mirror ? 0.75 : 0.45)), qPrintable(t.id));
            // Text reads on the panels it is drawn on: at least 4.5 : 1 at both ends.
            for (const RGB &panel : {c.panelTop, c.panelBottom}) {
                const double a = lum({c.text.r, c.text.g, c.text.b});
                const double b = lum({panel.r, panel.g, panel.b});
                QVERIFY2((std::max(a, b) + 0.05) / (std::min(a, b) + 0.05) >= 4.5, qPrintable(t.id));
            }
            // Cap text is whichever of the two contrasts more with the base.
            const double lb = lum(base);
            const double white = 1.05 / (lb + 0.05);
            const double dark = (std::max(lb, 0.005062232844546803) + 0.05)
                / (std::min(lb, 0.005062232844546803) + 0.05);
            QVERIFY2(near(c.capText, white > dark ? V{1, 1, 1} : V{0.06, 0.06, 0.08}), qPrintable(t.id));
        }
    }

    void accentInkReadsOnThePanels()
    {
        for (const ChromeTheme &t : ChromeThemes::all()) {
            const ChromeColors c = ChromeColors::of(t);
            const RGB mid = c.panelTop.mix(c.panelBottom, 0.5);
            const double lp = lum({mid.r, mid.g, mid.b});
            auto ratio = [lp](const RGB &x) {
                const double l = lum({x.r, x.g, x.b});
                return (std::max(l, lp) + 0.05) / (std::min(l, lp) + 0.05);
            };
            QVERIFY2(ratio(c.accentInk) >= 3.0, qPrintable(t.id));
            // The odd decks' tone reads as well, and is a different tone.
            QVERIFY2(ratio(c.accentInkAlt) >= 3.0, qPrintable(t.id));
            QVERIFY2(!near(c.accentInkAlt, {c.accentInk.r, c.accentInk.g, c.accentInk.b}), qPrintable(t.id));
            // An accent that already reads is left alone.
            if (ratio(t.accent) >= 3.0)
                QCOMPARE(c.accentInk, t.accent);
        }
        // Gold's pale accent on light gold metal has to be deepened; its own
        // text stays dark, the deepened ink takes white.
        const ChromeColors gold = ChromeColors::of(ChromeThemes::named(QStringLiteral("gold")));
        QVERIFY(gold.accentInk.luminance() < gold.accent.luminance());
        QVERIFY(near(gold.accentText, {0.06, 0.06, 0.08}));
        QVERIFY(near(gold.accentInkText, {1, 1, 1}));
    }

    void storeReadsSavedId_data()
    {
        QTest::addColumn<QVariant>("saved");
        QTest::addColumn<QString>("expected");
        QTest::newRow("nothing saved") << QVariant() << "midnight";
        QTest::newRow("known id") << QVariant("pearl") << "pearl";
        QTest::newRow("unknown id") << QVariant("neon") << "midnight";
        QTest::newRow("name, not id") << QVariant("Pearl White") << "midnight";
    }
    void storeReadsSavedId()
    {
        QFETCH(QVariant, saved);
        QFETCH(QString, expected);
        TestEnv env;
        auto settings = env.settings();
        if (saved.isValid())
            settings->setValue(QStringLiteral("klvo.td.theme"), saved);
        ChromeThemeStore store(settings.get(), QStringLiteral("klvo.td.theme"), QStringLiteral("midnight"));
        QCOMPARE(store.theme().id, expected);
    }

    void selectWritesAtOnceAndFallsBack()
    {
        TestEnv env;
        auto settings = env.settings();
        ChromeThemeStore store(settings.get());
        QCOMPARE(store.key(), QStringLiteral("klvo.chrome.theme"));
        QSignalSpy changed(&store, &ChromeThemeStore::themeChanged);
        store.select(QStringLiteral("ocean"));
        QCOMPARE(settings->value(QStringLiteral("klvo.chrome.theme")).toString(), QStringLiteral("ocean"));
        store.select(QStringLiteral("ocean"));
        QCOMPARE(changed.size(), 1);
        store.select(QStringLiteral("no-such-theme"));
        QCOMPARE(store.theme().id, QStringLiteral("midnight"));
        QCOMPARE(settings->value(QStringLiteral("klvo.chrome.theme")).toString(), QStringLiteral("midnight"));
        QCOMPARE(changed.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestChromeThemes)
#include "tst_chromethemes.moc"
