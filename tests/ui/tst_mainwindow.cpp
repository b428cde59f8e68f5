// The real main window on a real model with scripted burners: the header's
// status line and controls, the menus and shortcuts, the zoomed page.

#include "WindowTest.h"
#include "app/AppModel.h"
#include "app/BurnImageModel.h"
#include "app/LogModel.h"
#include "app/Zoom.h"
#include "audio/DiscProject.h"
#include "drives/Deck.h"
#include "platform/CombinedDiscService.h"
#include "queue/JobQueue.h"

#include <QAccessible>
#include <QApplication>
#include <QSignalSpy>
#include <QTemporaryDir>

class TestMainWindow : public QObject
{
    Q_OBJECT

    struct Rig : MainWindowRig
    {
        explicit Rig(int burners, const QString &savedFrame = {})
            : MainWindowRig(burners, [&](MainWindowRig &rig) {
                if (!savedFrame.isEmpty())
                    rig.settings->setValue(QStringLiteral("klvo.td.windowFrame"), savedFrame);
            }) {}
        QString status() const
        {
            auto *text = find(QStringLiteral("statusText"));
            return text ? text->property("text").toString() : QString();
        }
        // Starts deck A on a short track; the scripted burner keeps it burning.
        bool startBurn()
        {
            if (!addTones(0, {QStringLiteral("t")}))
                return false;
            model->start(deck(0));
            return model->anyBusy();
        }
    };

    // The menu bar's title `i` and its menu.
    static std::pair<QQuickItem *, QObject *> menuOf(Rig &rig, int i)
    {
        auto *bar = rig.window->property("menuBar").value<QQuickItem *>();
        QQuickItem *title = nullptr;
        QMetaObject::invokeMethod(bar, "itemAt", Q_RETURN_ARG(QQuickItem *, title), Q_ARG(int, i));
        return {title, title ? title->property("menu").value<QObject *>() : nullptr};
    }

    // Every item's accessible role and name under `item` (items that say
    // nothing to assistive technology are skipped).
    static void collectNames(QQuickItem *item, QList<QPair<int, QString>> &out)
    {
        for (QObject *child : item->children())
            if (qstrcmp(child->metaObject()->className(), "QQuickAccessibleAttached") == 0)
                out.append({child->property("role").toInt(), child->property("name").toString()});
        for (QQuickItem *child : item->childItems())
            collectNames(child, out);
    }

private Q_SLOTS:
    // The status line follows Refresh Drives and the Demo mode box; the box
    // and the mode keys are locked while a deck works.
    void statusLineAndDemoBox()
    {
        Rig rig(0);
        QVERIFY(rig.window && rig.show());
        QCOMPARE(rig.status(), QStringLiteral("NO BURNER FOUND"));
        rig.service.plug(QStringLiteral("Late"), QStringLiteral("late"));
        rig.service.plug(QStringLiteral("Later"), QStringLiteral("later"));
        rig.click(rig.find(QStringLiteral("refreshButton")));
        auto *demo = rig.find(QStringLiteral("demoCheckbox"));
        rig.click(demo);
        QCOMPARE(rig.status(), QStringLiteral("2 BURNERS · DEMO MODE"));
        rig.click(demo);
        QVERIFY(!rig.model->demo());
        QVERIFY(rig.startBurn());
        QVERIFY(!demo->isEnabled());
        rig.model->setTab(MainTab::tools);
        QTest::keyClick(rig.window, Qt::Key_3, Qt::ControlModifier);
        QCOMPARE(rig.model->mode(), BurnMode::mirror);
        QCOMPARE(rig.model->tab(), MainTab::tools);
    }

    // However the screen changes, the selector shows it, to the eye and to
    // assistive technology, and a click on the screen left goes back there.
    // Each row first picks `from` with the selector, as a user would.
    void screenSelectorFollowsTheScreen_data()
    {
        QTest::addColumn<MainTab>("from");
        QTest::addColumn<QString>("way");
        QTest::addColumn<MainTab>("to");
        QTest::addColumn<BurnMode>("mode");
        QTest::newRow("Mirror Mode") << MainTab::tools << "Ctrl+1" << MainTab::audio << BurnMode::mirror;
        QTest::newRow("Copies Mode") << MainTab::data << "Ctrl+3" << MainTab::audio << BurnMode::queue;
        QTest::newRow("Make ISO from Disc…") << MainTab::tools << "Alt+Ctrl+D" << MainTab::data << BurnMode::mirror;
    }
    void screenSelectorFollowsTheScreen()
    {
        QFETCH(MainTab, from);
        QFETCH(QString, way);
        QFETCH(MainTab, to);
        QFETCH(BurnMode, mode);
        Rig rig(1);
        QVERIFY(rig.window && rig.show());
        QList<QAccessibleInterface *> tabs;
        for (QQuickItem *item : rig.findAll(QString(), rig.find(QStringLiteral("screenSelector"))))
            if (QAccessibleInterface *tab = QAccessible::queryAccessibleInterface(item); tab && tab->role() == QAccessible::PageTab)
                tabs.append(tab);
        QCOMPARE(tabs.size(), 3);
        const auto shows = [&](MainTab tab) {
            for (int i = 0; i < 3; ++i)
                if (tabs[i]->state().checked != (i == int(tab)))
                    return false;
            return rig.model->tab() == tab;
        };
        rig.click(qobject_cast<QQuickItem *>(tabs[(int(from) + 1) % 3]->object()));
        rig.click(qobject_cast<QQuickItem *>(tabs[int(from)]->object()));
        QVERIFY(shows(from));
        QTest::keySequence(rig.window, QKeySequence(way));
        QTRY_VERIFY(shows(to));
        QCOMPARE(rig.model->mode(), mode);
        rig.click(qobject_cast<QQuickItem *>(tabs[int(from)]->object()));
        QVERIFY(shows(from));
    }

    void pageScalesAndReturnsToTop()
    {
        Rig rig(3);
        QVERIFY(rig.window && rig.show());
        rig.window->resize(900, 560);
        auto *host = rig.find(QStringLiteral("zoomHost"));
        auto *page = rig.find(QStringLiteral("page"));
        QVERIFY(host && page);
        // A narrow window lays the page out at the design minimum and scrolls.
        QTRY_COMPARE(host->property("designWidth").toDouble(), 1180.0);
        QTRY_VERIFY(host->property("contentHeight").toDouble() > host->height() + 1);

        host->setProperty("contentY", 300);
        rig.model->setTab(MainTab::tools);
        QCOMPARE(host->property("contentY").toDouble(), 0.0);

        host->setProperty("contentY", 200);
        rig.model->zoom()->setValue(1.5);
        QCOMPARE(host->property("contentY").toDouble(), 0.0);
        QCOMPARE(page->parentItem()->scale(), 1.5);
        QTRY_COMPARE(host->property("contentWidth").toDouble(), std::ceil(1180.0 * 1.5));
    }

    // However a menu closes while the pointer rests on its title, the next
    // click on that title opens it again.
    void menuTitleOpensAfterAClose_data()
    {
        QTest::addColumn<QString>("closeBy");
        QTest::newRow("Esc") << "esc";
        QTest::newRow("an entry chosen with the keyboard") << "enter";
        QTest::newRow("a click on the title") << "title";
    }
    void menuTitleOpensAfterAClose()
    {
        QFETCH(QString, closeBy);
        Rig rig(0);
        QVERIFY(rig.window && rig.show());
        // The View menu: choosing its first entry (Zoom In) only zooms.
        const auto [title, menu] = menuOf(rig, 2);
        QVERIFY(menu);
        QCOMPARE(menu->property("title").toString(), QStringLiteral("View"));
        // As on a desktop with a mouse (the offscreen platform turns hover off).
        title->setProperty("hoverEnabled", true);
        const QPoint at = title->mapToScene(QPointF(title->width() / 2, title->height() / 2)).toPoint();
        QTest::mouseMove(rig.window, at + QPoint(0, 200));
        QTest::mouseMove(rig.window, at);
        QTRY_VERIFY(title->property("hovered").toBool());
        QTest::mouseClick(rig.window, Qt::LeftButton, {}, at);
        QTRY_VERIFY(menu->property("opened").toBool());
        if (closeBy == QLatin1String("esc")) {
            QTest::keyClick(rig.window, Qt::Key_Escape);
        } else if (closeBy == QLatin1String("enter")) {
            QTest::keyClick(rig.window, Qt::Key_Down);
            QTest::keyClick(rig.window, Qt::Key_Return);
            QTRY_COMPARE(rig.model->zoom()->value(), 1.15);
        } else {
            QTest::mouseClick(rig.window, Qt::LeftButton, {}, at);
        }
        QTRY_VERIFY(!menu->property("visible").toBool());
        QTest::mouseClick(rig.window, Qt::LeftButton, {}, at);
        QTRY_VERIFY(menu->property("opened").toBool());
    }

    // Zooming in grows the window as far as the screen allows, so the page's
    // right-hand controls stay in view; zooming back gives the user's size
    // back, or the size the user chose meanwhile.
    void zoomGrowsTheWindow_data()
    {
        QTest::addColumn<int>("steps");
        QTest::addColumn<bool>("whole");
        QTest::addColumn<QString>("back");
        QTest::addColumn<QSize>("resized");
        QTest::addColumn<int>("in"); // Ctrl and this key zooms in
        QTest::newRow("200 %: as big as the screen; Zoom Out to 100 %") << 5 << false << "Ctrl+-" << QSize() << int(Qt::Key_Equal);
        QTest::newRow("resized at 150 %; Actual Size keeps it") << 3 << true << "Ctrl+0" << QSize(1500, 900) << int(Qt::Key_Plus);
    }
    void zoomGrowsTheWindow()
    {
        QFETCH(int, steps);
        QFETCH(bool, whole);
        QFETCH(QString, back);
        QFETCH(QSize, resized);
        QFETCH(int, in);
        Rig rig(2);
        QVERIFY(rig.window && rig.show());
        const QSize before = rig.window->size();
        for (int i = 0; i < steps; ++i)
            QTest::keyClick(rig.window, Qt::Key(in), Qt::ControlModifier);
        auto *host = rig.find(QStringLiteral("zoomHost"));
        QQuickItem *burnAll = rig.find(QStringLiteral("burnAllButton"));
        QVERIFY(host && burnAll);
        QTRY_VERIFY(rig.window->width() > before.width());
        QVERIFY(rig.window->height() >= before.height());
        QVERIFY2(rig.window->screen()->availableGeometry().contains(rig.window->frameGeometry()),
                 qPrintable(QDebug::toString(rig.window->frameGeometry())));
        if (whole) {
            QTRY_VERIFY(host->property("contentWidth").toDouble() <= host->width() + 1);
            const QRectF shown = burnAll->mapRectToItem(host, QRectF(0, 0, burnAll->width(), burnAll->height()));
            QVERIFY2(QRectF(0, 0, host->width(), host->height()).contains(shown), qPrintable(QString::number(shown.right())));
        } else {
            QTRY_COMPARE(rig.window->frameGeometry().size(), rig.window->screen()->availableGeometry().size());
        }
        if (resized.isValid())
            rig.window->resize(resized);
        for (int i = 0; i < (back == QLatin1String("Ctrl+0") ? 1 : steps); ++i)
            QTest::keySequence(rig.window, QKeySequence(back));
        QCOMPARE(rig.model->zoom()->value(), 1.0);
        QTRY_COMPARE(rig.window->size(), resized.isValid() ? resized : before);
    }

    // Every menu, the header's theme menu and the submenus included, shows
    // each entry whole. A submenu opens from its entry, while its menu is open.
    void everyMenuShowsItsEntriesWhole()
    {
        Rig rig(0);
        QVERIFY(rig.window && rig.show());
        QList<QObject *> menus = rig.find(QStringLiteral("themeButton"))->findChildren<QObject *>();
        menus.removeIf([](QObject *o) { return !o->inherits("QQuickMenu"); });
        for (int i = 0; menuOf(rig, i).second; ++i)
            menus.append(menuOf(rig, i).second);
        QCOMPARE(menus.size(), 7);
        QSet<QObject *> submenus;
        const auto cutShort = [](QQuickItem *item, auto &self) -> QString {
            QString cut = item->property("truncated").toBool() ? item->property("text").toString() : QString();
            for (QQuickItem *child : item->childItems())
                cut += self(child, self);
            return cut;
        };
        QList<int> counts;
        for (int m = 0; m < menus.size(); ++m) {
            if (!submenus.contains(menus[m]))
                QMetaObject::invokeMethod(menus[m], "open");
            QTRY_VERIFY(menus[m]->property("opened").toBool());
            counts << menus[m]->property("count").toInt();
            for (int i = 0; i < menus[m]->property("count").toInt(); ++i) {
                QQuickItem *item = nullptr;
                QMetaObject::invokeMethod(menus[m], "itemAt", Q_RETURN_ARG(QQuickItem *, item), Q_ARG(int, i));
                QCOMPARE(cutShort(item, cutShort), QString());
                if (auto *sub = item->property("subMenu").value<QObject *>()) {
                    rig.click(item);
                    menus.insert(m + 1, sub);
                    submenus.insert(sub);
                }
            }
        }
        // A menu once shown keeps its entries through a garbage collection.
        rig.engine->collectGarbage();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (int m = 0; m < menus.size(); ++m)
            QCOMPARE(menus[m]->property("count").toInt(), counts[m]);
    }

    // The theme menu checks the current theme; the one chosen is the model's
    // and the kit's.
    void themeMenuSelectsTheTheme()
    {
        Rig rig(0);
        QVERIFY(rig.window && rig.show());
        QQuickItem *button = rig.find(QStringLiteral("themeButton"));
        QObject *menu = nullptr;
        for (QObject *child : button->findChildren<QObject *>())
            menu = child->inherits("QQuickMenu") ? child : menu;
        rig.click(button);
        QTRY_VERIFY(menu->property("opened").toBool());
        QQuickItem *pearl = nullptr;
        for (int i = 0; i < menu->property("count").toInt(); ++i) {
            QQuickItem *item = nullptr;
            QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem *, item), Q_ARG(int, i));
            QCOMPARE(item->property("checked").toBool(), item->property("text").toString() == "Midnight Black");
            if (item->property("text").toString() == QLatin1String("Pearl White"))
                pearl = item;
        }
        QVERIFY(pearl);
        rig.click(pearl);
        QCOMPARE(rig.model->themes()->themeId(), QStringLiteral("pearl"));
        QObject *chrome = rig.engine->singletonInstance<QObject *>(qmlTypeId("Tandor.Kit", 1, 0, "Chrome"));
        QCOMPARE(chrome->property("themeId").toString(), QStringLiteral("pearl"));
    }

    // KLVO Tandor ▸ Notify When Work Ends: each click turns the desktop
    // notifications off or on, and the settings keep the choice.
    void notifyEntryTogglesNotifications()
    {
        Rig rig(0);
        QVERIFY(rig.window && rig.show());
        const auto [title, menu] = menuOf(rig, 0);
        auto *entry = rig.find(QStringLiteral("notifyEntry"));
        QVERIFY(menu && entry);
        for (const bool expected : {false, true}) {
            rig.click(title);
            QTRY_VERIFY(menu->property("opened").toBool());
            QCOMPARE(entry->property("checked").toBool(), !expected);
            rig.click(entry);
            QTRY_VERIFY(!menu->property("visible").toBool());
            QCOMPARE(rig.model->notifications(), expected);
            QCOMPARE(rig.settings->value(QStringLiteral("klvo.td.notifications")).toBool(), expected);
            QCOMPARE(entry->property("checked").toBool(), expected);
        }
        // Changed elsewhere, the entry follows.
        rig.model->setNotifications(false);
        QCOMPARE(entry->property("checked").toBool(), false);
    }

    // What a screen reader finds: on every screen each control has a name,
    // and on the Data & ISO screen, with an image chosen and a line logged,
    // the texts that matter are among the names.
    void controlsHaveNames()
    {
        Rig rig(1);
        QVERIFY(rig.window && rig.show());
        QVERIFY(rig.addTones(0, {QStringLiteral("t")}));
        const QString image = rig.env.path(QStringLiteral("raw.img"));
        QVERIFY(TestEnv::writeWav(image, 0.01)); // any bytes without a file system
        rig.model->burnImage()->setImage(image);
        QTRY_VERIFY(rig.model->burnImage()->imageInfo().has_value());
        rig.model->log(QStringLiteral("Looked at."));
        QList<QPair<int, QString>> names;
        QStringList all;
        const auto listen = [&] {
            names.clear();
            collectNames(rig.window->contentItem(), names);
            all.clear();
            for (const auto &n : names)
                all.append(n.second);
            return all;
        };
        const QList<int> roles{QAccessible::Button, QAccessible::CheckBox, QAccessible::Link, QAccessible::PageTab};
        for (const MainTab tab : {MainTab::audio, MainTab::tools, MainTab::data}) {
            rig.model->setTab(tab);
            rig.settle();
            listen();
            int controls = 0;
            for (const auto &n : names)
                if (roles.contains(n.first))
                    QVERIFY2(!n.second.isEmpty() && ++controls, "a control without a name");
            QVERIFY(controls >= 4); // the screen tabs at least
        }
        for (const QString &expected :
             {QStringLiteral("KLVO TANDOR"), QStringLiteral("KLVO"), QStringLiteral("1 BURNER"),
              QStringLiteral("Theme — 21 chrome and anodized finishes (also in the Theme menu)"),
              QStringLiteral("KLVO Tandor Help (F1)"), QStringLiteral("Demo mode"), QStringLiteral("Refresh Drives"),
              QStringLiteral(TANDOR_VERSION " · CD, DVD & ISO · by"),
              QStringLiteral("Raw disc image, 2 KB. Fits on a CD-R, DVD or Blu-ray"),
              QStringLiteral("No file system was found in this image; it will be burned as it is."),
              // The log's list makes the new line's row on its next layout.
              rig.model->logLines()->lines().first().time + QStringLiteral(" Looked at.")})
            QTRY_VERIFY2(listen().contains(expected), qPrintable(expected + " not in: " + all.join(" | ")));
    }

    // The frame opens at the default size, or where it was saved moved onto
    // the screen; a move is saved.
    void frame_data()
    {
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QRect>("expected");
        // The test screen is 1920 × 1080 (see main below).
        QTest::newRow("nothing saved") << QString() << QRect(0, 0, 1440, 960);
        QTest::newRow("partly off the screen") << QStringLiteral("{{1500, 700}, {1200, 800}}") << QRect(720, 280, 1200, 800);
    }
    void frame()
    {
        QFETCH(QString, saved);
        QFETCH(QRect, expected);
        Rig rig(0, saved);
        QVERIFY(rig.window);
        QCOMPARE(rig.window->screen()->availableGeometry(), QRect(0, 0, 1920, 1080));
        QCOMPARE(rig.window->size(), expected.size());
        if (!saved.isEmpty())
            QCOMPARE(rig.window->position(), expected.topLeft());
        QVERIFY(rig.show());
        rig.window->setGeometry(200, 100, 1000, 700);
        QTRY_COMPARE(rig.settings->value(QStringLiteral("klvo.td.windowFrame")).toString(), QStringLiteral("{{200, 100}, {1000, 700}}"));
    }

    // Only a virtual burner's card has the Tray menu: a blank chosen there,
    // and an image chosen in the file dialog, go into its tray.
    void trayMenuLoadsAVirtualBurner()
    {
        auto *hardware = new ScriptedDiscService;
        hardware->plug(QStringLiteral("Real"), QStringLiteral("pci-real"));
        auto *virtuals = new VirtualDiscService(1);
        CombinedDiscService burners({hardware, virtuals});
        MainWindowRig rig(0, {}, &burners);
        QVERIFY(rig.window && rig.show());
        const int v = rig.deck(0)->deviceKey() == QLatin1String("virtual:1") ? 0 : 1;
        Deck *deck = rig.deck(v);
        QQuickItem *tray = rig.item(QStringLiteral("trayButton"), rig.item(QStringLiteral("deckCard") + deck->letter()));
        QQuickItem *realTray = rig.item(QStringLiteral("trayButton"), rig.item(QStringLiteral("deckCard") + rig.deck(1 - v)->letter()));
        QVERIFY(tray && tray->isVisible() && realTray && !realTray->isVisible());
        auto *menu = tray->findChild<QObject *>(QStringLiteral("trayMenu"));
        auto *blanks = tray->findChild<QObject *>(QStringLiteral("insertBlankMenu"));
        const auto entry = &MainWindowRig::menuEntry;

        rig.click(tray);
        QTRY_VERIFY(menu->property("opened").toBool());
        rig.click(entry(menu, QStringLiteral("Insert Blank")));
        QTRY_VERIFY(blanks->property("opened").toBool());
        rig.click(entry(blanks, QStringLiteral("DVD-R")));
        QTRY_COMPARE(deck->snapshot()->mediaType, QStringLiteral("DVDR"));
        QVERIFY(deck->snapshot()->blank);
        QCOMPARE(rig.lastLine(), QStringLiteral("Deck ") + deck->letter() + QStringLiteral(": blank DVD-R inserted."));

        const QString iso = rig.env.path(QStringLiteral("disc.iso"));
        QVERIFY(TestEnv::writeSparse(iso, 2048 * 16));
        rig.click(tray);
        QTRY_VERIFY(menu->property("opened").toBool());
        rig.click(entry(menu, QStringLiteral("Insert Disc Image…")));
        QVERIFY(rig.answerFileDialog(iso));
        QTRY_COMPARE(deck->snapshot()->bsdName, iso);
        QCOMPARE(deck->snapshot()->mediaType, QStringLiteral("CDR"));
        QVERIFY(!deck->snapshot()->blank);
    }

    // The queue card counts only unfinished jobs, says "Waiting" for a job
    // with no reason yet, and clears finished jobs only once there are some.
    void queueCard()
    {
        Rig rig(0);
        QVERIFY(rig.window && rig.show());
        JobQueue *queue = rig.model->queue();
        queue->setAutoStart(false);
        for (const QString name : {"a", "b", "c"})
            QVERIFY(queue->add(Jobs::Checksum{rig.env.path(name)}, QStringLiteral("Checksums of ") + name));
        auto *card = rig.find(QStringLiteral("queueCard"));
        QVERIFY(card);
        // Two of them cancelled with their rows' buttons.
        for (int left = 3; left > 1; --left) {
            QList<QQuickItem *> cancel = rig.findAll(QString(), card);
            cancel.removeIf([](QQuickItem *b) { return !b->isVisible() || b->property("help").toString() != u"Cancel"; });
            QCOMPARE(cancel.size(), left);
            rig.click(cancel.first());
        }
        QTRY_COMPARE(card->property("title").toString(), QStringLiteral("Queue (1 to do)"));

        QStringList details;
        for (QQuickItem *detail : rig.findAll(QStringLiteral("jobDetail"), card))
            if (detail->isVisible())
                details.append(detail->property("text").toString());
        details.sort();
        QCOMPARE(details, (QStringList{"Cancelled", "Cancelled", "Waiting"}));

        auto *clear = rig.find(QStringLiteral("clearFinished"));
        QVERIFY(clear && clear->isEnabled());
        QMetaObject::invokeMethod(clear, "clicked");
        QTRY_COMPARE(queue->jobs().size(), 1);
        QTRY_VERIFY(!clear->isEnabled());
    }
};

int main(int argc, char **argv)
{
    // One known screen, so the window's size rules give known frames.
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screens.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(R"({"screens": [{"name": "test", "x": 0, "y": 0, "width": 1920, "height": 1080,
                         "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})") < 0)
        return 2;
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toLocal8Bit());
    QApplication app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_mainwindow.moc"
