// The theme table and the store that remembers the choice.

#include "TestEnv.h"
#include "app/ChromeThemes.h"

#include <QSignalSpy>
#include <QTest>

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
