// The kit's C++ side: the icon table against the installed font, and the
// Chrome singleton's theme and palette.

#include "Chrome.h"
#include "ChromeIcons.h"

#include <QFile>
#include <QGuiApplication>
#include <QRawFont>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

class TestChromeKit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every symbol is named once and drawn by the installed font, with the
    // glyph the font's own list gives that name.
    void iconTableMatchesTheFont()
    {
        const QString path = ChromeIcons::fontPath();
        QVERIFY2(!path.isEmpty(), "Material Icons font not installed");
        const QRawFont font(path, 24);
        QVERIFY(font.isValid());
        QSet<QString> seen;
        for (const auto &e : ChromeIcons::all()) {
            QVERIFY2(font.supportsCharacter(QChar(e.codepoint)), e.symbol);
            QVERIFY2(!seen.contains(QString::fromLatin1(e.symbol)), e.symbol);
            seen.insert(QString::fromLatin1(e.symbol));
        }

        // A typo in the table would show a different icon than the one named.
        QFile list(QStringLiteral("/usr/share/fonts-material-design-icons-iconfont/scss/_variables.scss"));
        if (!list.open(QIODevice::ReadOnly))
            QSKIP("the font's code point list is not installed");
        QHash<QString, uint> byName;
        static const QRegularExpression row(QStringLiteral("\"([a-z0-9_]+)\": ([0-9a-f]{4,5})"));
        for (auto m = row.globalMatch(QString::fromUtf8(list.readAll())); m.hasNext();) {
            const auto hit = m.next();
            byName.insert(hit.captured(1), hit.captured(2).toUInt(nullptr, 16));
        }
        QVERIFY(byName.size() > 1000);
        for (const auto &e : ChromeIcons::all()) {
            const QString name = QString::fromLatin1(e.material);
            QVERIFY2(byName.contains(name), e.material);
            QCOMPARE(byName.value(name), uint(e.codepoint));
        }
    }

    void unknownSymbolsDrawNothing()
    {
        QCOMPARE(ChromeIcons::glyph(QStringLiteral("no.such.symbol")), QString());
        QCOMPARE(ChromeIcons::glyph(QString()), QString());
    }

    void themeChoosesThePalette_data()
    {
        QTest::addColumn<QVariant>("theme");
        QTest::addColumn<QString>("id");
        QTest::newRow("pearl theme") << QVariant::fromValue(ChromeThemes::named("pearl")) << "pearl";
        QTest::newRow("gold by id") << QVariant("gold") << "gold";
        QTest::newRow("unknown id") << QVariant("neon") << "midnight";
        QTest::newRow("not a theme") << QVariant(42) << "midnight";
    }
    void themeChoosesThePalette()
    {
        QFETCH(QVariant, theme);
        QFETCH(QString, id);
        Chrome chrome;
        chrome.setTheme(QVariant("ocean")); // start away from every expected theme
        QSignalSpy changed(&chrome, &Chrome::themeChanged);
        chrome.setTheme(theme);
        QCOMPARE(chrome.themeId(), id);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(chrome.palette(), ChromePalette(ChromeColors::of(ChromeThemes::named(id))));
        QCOMPARE(chrome.property("palette").value<ChromePalette>(), chrome.palette());
        chrome.setTheme(theme);
        QCOMPARE(changed.size(), 1);
    }
};

QTEST_MAIN(TestChromeKit)
#include "tst_chromekit.moc"
