#include "AccessibleStates.h"

#include <QAccessible>

#if QT_VERSION < QT_VERSION_CHECK(6, 5, 0) && QT_CONFIG(accessibility)
#include <QQuickItem>
#include <QtQuick/private/qaccessiblequickitem_p.h>
#include <QtQuick/private/qquickitem_p.h>

namespace {

class EnabledAwareItem : public QAccessibleQuickItem
{
public:
    using QAccessibleQuickItem::QAccessibleQuickItem;

    QAccessible::State state() const override
    {
        QAccessible::State st = QAccessibleQuickItem::state();
        if (item() && !item()->isEnabled()) {
            st.disabled = true;
            st.focusable = false;
        }
        return st;
    }
};

// Mirrors Qt Quick's own choice of which items get an interface.
QAccessibleInterface *factory(const QString &className, QObject *object)
{
    if (className != QLatin1String("QQuickItem"))
        return nullptr;
    auto *item = qobject_cast<QQuickItem *>(object);
    if (!item || !QQuickItemPrivate::get(item)->isAccessible)
        return nullptr;
    return new EnabledAwareItem(item);
}

} // namespace

void AccessibleStates::classBegin()
{
    QAccessible::installFactory(factory);
}
#else
void AccessibleStates::classBegin() {}
#endif
