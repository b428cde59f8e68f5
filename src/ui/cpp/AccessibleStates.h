#pragma once
// Makes assistive technology hear that a disabled control is disabled.
//
// Qt Quick before 6.5 builds an item's accessible state from its Accessible
// attached properties only, so a greyed-out button reads as usable. Declaring
// an AccessibleStates in the window puts a factory in front of Qt Quick's
// that adds the item's enabled state; on a Qt that already does this it does
// nothing.
//
// Threading: main thread only. The factory stays installed for the rest of
// the run (Qt keeps no way to remove it while interfaces made by it live);
// installing it again is a no-op.

#include <QObject>
#include <QQmlParserStatus>
#include <QtQmlIntegration/qqmlintegration.h>

class AccessibleStates : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT

public:
    using QObject::QObject;

    // Installs the factory. Qt Quick installs its own when its library loads,
    // and the one installed last is asked first. Qt keeps each item's
    // interface once made, so this must run before the window's controls
    // exist: declare it first in the window.
    void classBegin() override;
    void componentComplete() override {}
};
