// Runs the kit's Qt Quick tests against the statically linked modules, with a
// helper that reaches the controls the way assistive technology does.

#include <QAccessible>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

Q_IMPORT_QML_PLUGIN(Tandor_AppPlugin)
Q_IMPORT_QML_PLUGIN(Tandor_KitPlugin)

class AccessHelper : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    // Performs an accessibility action ("Press", "Toggle", …) on an item's
    // accessible interface, as a screen reader would.
    Q_INVOKABLE bool perform(QQuickItem *item, const QString &action) const
    {
        QAccessibleInterface *iface = item ? QAccessible::queryAccessibleInterface(item) : nullptr;
        if (!iface || !iface->actionInterface() || !iface->actionInterface()->actionNames().contains(action))
            return false;
        iface->actionInterface()->doAction(action);
        return true;
    }
    Q_INVOKABLE QString name(QQuickItem *item) const
    {
        QAccessibleInterface *iface = item ? QAccessible::queryAccessibleInterface(item) : nullptr;
        return iface ? iface->text(QAccessible::Name) : QString();
    }
};

class Setup : public QObject
{
    Q_OBJECT
public Q_SLOTS:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral(KIT_IMPORT_DIR));
        engine->rootContext()->setContextProperty(QStringLiteral("access"), new AccessHelper(engine));
    }
};

QUICK_TEST_MAIN_WITH_SETUP(kitcontrols, Setup)
#include "kitcontrols_main.moc"
