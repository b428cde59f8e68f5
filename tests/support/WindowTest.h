#pragma once
// For the window tests, in one file of each test program: the program's QML
// modules, linked in statically, and the click a segmented control takes.

#include "MainWindowRig.h"

#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Tandor_AppPlugin)
Q_IMPORT_QML_PLUGIN(Tandor_KitPlugin)
Q_IMPORT_QML_PLUGIN(Tandor_HelpPlugin)
Q_IMPORT_QML_PLUGIN(TandorPlugin)

// Clicks the middle of segment `n` (from 0) of a segmented control.
inline void clickSegment(const MainWindowRig &rig, QQuickItem *control, int n)
{
    QVERIFY(control);
    rig.click(control, QPointF(2 + control->property("segmentWidth").toDouble() * (n + 0.5), control->height() / 2));
}
