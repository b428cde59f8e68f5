// The help and about windows as the user meets them: opening on a topic,
// searching, keyboard selection, the rendered text and the remembered frame.

#include "TestEnv.h"

#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Tandor_AppPlugin)
Q_IMPORT_QML_PLUGIN(Tandor_KitPlugin)
Q_IMPORT_QML_PLUGIN(Tandor_HelpPlugin)

namespace {

// One engine with one help (or about) window, as the program has.
struct Viewer
{
    QQmlApplicationEngine engine;
    QQuickWindow *window = nullptr;

    explicit Viewer(const QByteArray &type = "HelpWindow")
    {
        // The modules' qmldir files are compiled in under qrc:/<URI path>.
        engine.addImportPath(QStringLiteral("qrc:/"));
        engine.loadData("import Tandor.Help\n" + type + " {}\n");
        window = qobject_cast<QQuickWindow *>(engine.rootObjects().value(0));
    }

    void show(const QVariant &topic) const { QMetaObject::invokeMethod(window, "show", Q_ARG(QVariant, topic)); }
    QString topicId() const { return window->property("topicId").toString(); }
    template<typename T = QQuickItem>
    T *find(const char *name) const { return window->findChild<T *>(QLatin1String(name)); }
    // Visible items of that name, in drawing order. Loaded items are not
    // QObject children of their loader, so the item tree is walked.
    QList<QQuickItem *> all(const char *name) const
    {
        QList<QQuickItem *> out;
        QList<QQuickItem *> todo = {window->contentItem()};
        while (!todo.isEmpty()) {
            QQuickItem *item = todo.takeFirst();
            if (!item->isVisible())
                continue;
            if (item->objectName() == QLatin1String(name))
                out.append(item);
            todo = item->childItems() + todo;
        }
        return out;
    }
    // QTest types into widgets only; a window gets the keys one by one.
    void type(const char *text) const { for (const char *c = text; *c; ++c) QTest::keyClick(window, *c); }
    int currentRow() const { return find("helpList")->property("currentIndex").toInt(); }
    QString titleShown() const { return find("helpTitle")->property("text").toString(); }
    QString nothingFound() const
    {
        QQuickItem *text = find("helpNothingFound");
        return text->isVisible() ? text->property("text").toString() : QString();
    }
};

} // namespace

class TestHelpWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName("KLVO");
        QCoreApplication::setApplicationName("TandorHelpTest");
        QCoreApplication::setApplicationVersion("9.8.7");
        Viewer v;
        QVERIFY2(v.window, "HelpWindow didn't load");
    }

    void showSelectsTopic_data()
    {
        QTest::addColumn<QVariant>("asked");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("title");
        QTest::newRow("verify") << QVariant("verify") << "verify" << "Verifying an image against a disc";
        QTest::newRow("about, last") << QVariant("about") << "about" << "About KLVO";
        QTest::newRow("nothing passed") << QVariant() << "quickstart" << "Quick start";
    }

    void showSelectsTopic()
    {
        QFETCH(QVariant, asked);
        QFETCH(QString, id);
        QFETCH(QString, title);
        Viewer v;
        v.show(asked);
        QVERIFY(v.window->isVisible());
        QCOMPARE(v.window->title(), QStringLiteral("KLVO Tandor Help"));
        QCOMPARE(v.topicId(), id);
        QCOMPARE(v.titleShown(), title);
        QObject *model = v.window->property("topics").value<QObject *>();
        int row = -1;
        QMetaObject::invokeMethod(model, "indexOf", Q_RETURN_ARG(int, row), Q_ARG(QString, id));
        QCOMPARE(v.currentRow(), row);
    }

    void typingFiltersLive()
    {
        Viewer v;
        v.show("");
        QVERIFY(QTest::qWaitForWindowExposed(v.window));
        QQuickItem *list = v.find("helpList");
        const int all = list->property("count").toInt();

        v.type("wipe");
        QCOMPARE(list->property("count").toInt(), 1);
        // The shown topic follows the only result.
        QTRY_COMPARE(v.topicId(), QStringLiteral("erase"));
        QTRY_COMPARE(v.currentRow(), 0);

        v.type(" zzzz");
        QCOMPARE(list->property("count").toInt(), 0);
        QCOMPARE(v.nothingFound(), QStringLiteral("Nothing found for \"wipe zzzz\""));
        // The text stays until something else is chosen.
        QTRY_COMPARE(v.topicId(), QStringLiteral("erase"));

        for (int i = 0; i < 9; ++i)
            QTest::keyClick(v.window, Qt::Key_Backspace);
        QCOMPARE(list->property("count").toInt(), all);
        QCOMPARE(v.nothingFound(), QString());
        QTRY_COMPARE(v.topicId(), QStringLiteral("erase"));
        QTRY_COMPARE(v.currentRow(), 8);

        // Help asked for again over a search the user left: a fresh viewer.
        v.type("zzzz");
        v.window->close();
        v.show("verify");
        QVERIFY(v.window->isVisible());
        QCOMPARE(v.window->property("searchText").toString(), QString());
        QCOMPARE(v.nothingFound(), QString());
    }

    // Arrow keys from the search field and in the list, down to the last
    // topic and no further; a click on a row.
    void keysAndClicksSelect()
    {
        Viewer v;
        v.show("quickstart");
        QVERIFY(QTest::qWaitForWindowExposed(v.window));
        QTest::keyClick(v.window, Qt::Key_Down);
        QCOMPARE(v.topicId(), QStringLiteral("audio-modes"));
        QTest::keyClick(v.window, Qt::Key_Down);
        QTest::keyClick(v.window, Qt::Key_Up);
        QCOMPARE(v.topicId(), QStringLiteral("audio-modes"));
        QTest::keyClick(v.window, Qt::Key_Up);
        QTest::keyClick(v.window, Qt::Key_Up);
        QCOMPARE(v.topicId(), QStringLiteral("quickstart"));
        QQuickItem *list = v.find("helpList");
        list->forceActiveFocus();
        const int count = list->property("count").toInt();
        for (int i = 0; i < count + 2; ++i)
            QTest::keyClick(v.window, Qt::Key_Down);
        QCOMPARE(v.topicId(), QStringLiteral("about"));
        QCOMPARE(v.titleShown(), QStringLiteral("About KLVO"));
        QQuickItem *row = nullptr;
        QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, row), Q_ARG(int, count - 3));
        QVERIFY(row);
        QTest::mouseClick(v.window, Qt::LeftButton, {}, row->mapToScene(QPointF(row->width() / 2, row->height() / 2)).toPoint());
        QCOMPARE(v.currentRow(), count - 3);
        QCOMPARE(v.topicId(), row->property("id").toString());
    }

    void bodyRendersItsMarkup()
    {
        Viewer v;
        v.show("audio-modes");
        QVERIFY(QTest::qWaitForWindowExposed(v.window));

        const QList<QQuickItem *> headings = v.all("helpHeading");
        QCOMPARE(headings.size(), 4); // modes, Burn all decks, Copies, how many decks
        QCOMPARE(headings.first()->property("text").toString(), QStringLiteral("The three modes"));
        const QList<QQuickItem *> paragraphs = v.all("helpParagraph");
        QVERIFY(!paragraphs.isEmpty());
        QVERIFY(headings.first()->property("font").value<QFont>().bold());
        QVERIFY(!paragraphs.first()->property("font").value<QFont>().bold());

        const QList<QQuickItem *> bullets = v.all("helpBullet");
        QVERIFY(bullets.size() >= 7);
        // A bullet's mark and text share the first baseline, the text after the mark.
        const QList<QQuickItem *> parts = bullets.first()->childItems();
        QCOMPARE(parts.size(), 2);
        QVERIFY(parts.at(1)->x() > parts.at(0)->x() + parts.at(0)->implicitWidth());
        QCOMPARE(parts.at(0)->y() + parts.at(0)->baselineOffset(), parts.at(1)->y() + parts.at(1)->baselineOffset());
        // Long lines wrap inside the reading area.
        QQuickItem *reader = v.find("helpReader");
        for (QQuickItem *p : paragraphs)
            QVERIFY(p->mapToItem(reader, QPointF(p->width(), 0)).x() <= reader->width());
    }

    // A frame too small to use is ignored; a moved one comes back.
    void frameIsRemembered()
    {
        QSettings().setValue("KLVOHelpWindow/frame", QRect(300, 200, 50, 50));
        // Fits the 800 × 600 screen of the offscreen platform.
        const QRect frame(40, 30, 700, 480);
        {
            Viewer v;
            v.show("");
            QCOMPARE(v.window->size(), QSize(860, 600));
            QVERIFY(QTest::qWaitForWindowExposed(v.window));
            v.window->setGeometry(frame);
            // Saved as the window system confirms the move.
            QTRY_COMPARE(QSettings().value("KLVOHelpWindow/frame").toRect(), frame);
        }
        Viewer again;
        again.show("log");
        QCOMPARE(again.window->geometry(), frame);
    }

    void aboutWindow()
    {
        Viewer about("AboutWindow");
        QVERIFY(about.window);
        QMetaObject::invokeMethod(about.window, "show");
        QVERIFY(about.window->isVisible());
        QCOMPARE(about.window->title(), QStringLiteral("About KLVO Tandor"));
        QCOMPARE(about.find<QObject>("aboutName")->property("text").toString(), QStringLiteral("KLVO Tandor"));
        QCOMPARE(about.find<QObject>("aboutVersion")->property("text").toString(), QStringLiteral("Version 9.8.7"));
        QCOMPARE(about.find<QObject>("aboutMakerLink")->property("text").toString(), QStringLiteral("klvo.app"));
    }

private:
    TestEnv m_env;
};

QTEST_MAIN(TestHelpWindow)
#include "tst_helpwindow.moc"
