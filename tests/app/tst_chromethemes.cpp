// What every theme derives from its base, and the store that remembers the choice.

#include "TestEnv.h"
#include "app/ChromeThemes.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>

// Worked out here from the colour rules, not with the code under test.
namespace {
struct V { double r, g, b; };
double lum(V c)
{
    auto f = [](double x) { return x <= 0.03928 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4); };
    return 0.2126 * f(c.r) + 0.7152 * f(c.g) + 0.0722 * f(c.b);
}
double contrast(const RGB &x, const RGB &y)
{
    const double a = lum({x.r, x.g, x.b}), b = lum({y.r, y.g, y.b});
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}
bool near(const RGB &got, V want)
{
    return std::abs(got.r - want.r) < 1e-9 && std::abs(got.g - want.g) < 1e-9 && std::abs(got.b - want.b) < 1e-9;
}
} // namespace

class TestChromeThemes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rgbOperations()
    {
        const RGB c{0.2, 0.4, 0.8};
        QVERIFY(near(c.mix(RGB{0, 1, 0}, 0.25), {0.15, 0.55, 0.6}));
        QVERIFY(near(c.lighter(0.5), {0.6, 0.7, 0.9}));
        QVERIFY(near(c.darker(0.25), {0.15, 0.3, 0.6}));
        // Both sides of the linear segment's knee.
        QVERIFY(std::abs(RGB{0.03, 0.03, 0.03}.luminance() - 0.03 / 12.92) < 1e-12);
        QVERIFY(std::abs(RGB{0.5, 0.5, 0.5}.luminance() - 0.21404114048223255) < 1e-12);
    }

    // Every colour words are drawn in reads on the panels: at least 4.5 : 1
    // at both ends. Accent inks, drawn large, need 3 : 1 mid-panel.
    void everyThemeReadsOnItsPanels()
    {
        for (const ChromeTheme &t : ChromeThemes::all()) {
            const ChromeColors c = ChromeColors::of(t);
            const std::pair<const char *, RGB> words[] = {{"text", c.text}, {"dimText", c.dimText}, {"ok", c.ok}, {"stop", c.stop}, {"waiting", c.waiting}, {"accentLabel", c.accentLabel}};
            for (const auto &[role, colour] : words)
                for (const RGB &panel : {c.panelTop, c.panelBottom})
                    QVERIFY2(contrast(colour, panel) >= 4.5, qPrintable(t.id + QLatin1Char(' ') + QLatin1String(role)));
            const RGB mid = c.panelTop.mix(c.panelBottom, 0.5);
            QVERIFY2(contrast(c.accentInk, mid) >= 3.0, qPrintable(t.id));
            // The odd decks' tone reads as well, and is a different tone.
            QVERIFY2(contrast(c.accentInkAlt, mid) >= 3.0, qPrintable(t.id));
            QVERIFY2(!near(c.accentInkAlt, {c.accentInk.r, c.accentInk.g, c.accentInk.b}), qPrintable(t.id));
            // An accent that already reads is left alone.
            if (contrast(t.accent, mid) >= 3.0)
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
