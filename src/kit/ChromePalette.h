#pragma once
// The current theme's derived colours as QML sees them: Chrome.palette.text,
// Chrome.palette.capTop and so on. A value; it changes as a whole when the
// theme does.

#include "app/ChromeThemes.h"

#include <QColor>
#include <QObject>
#include <QtQmlIntegration/qqmlintegration.h>

struct ChromePalette
{
    Q_GADGET
    QML_VALUE_TYPE(chromePalette)
    QML_UNCREATABLE("Read Chrome.palette")
    Q_PROPERTY(bool isLight MEMBER isLight CONSTANT)
    Q_PROPERTY(bool mirror MEMBER mirror CONSTANT)
    Q_PROPERTY(QColor base MEMBER base CONSTANT)
    Q_PROPERTY(QColor accent MEMBER accent CONSTANT)
    Q_PROPERTY(QColor windowTop MEMBER windowTop CONSTANT)
    Q_PROPERTY(QColor windowBottom MEMBER windowBottom CONSTANT)
    Q_PROPERTY(QColor panelTop MEMBER panelTop CONSTANT)
    Q_PROPERTY(QColor panelBottom MEMBER panelBottom CONSTANT)
    Q_PROPERTY(QColor capTop MEMBER capTop CONSTANT)
    Q_PROPERTY(QColor capBottom MEMBER capBottom CONSTANT)
    Q_PROPERTY(QColor chromeLight MEMBER chromeLight CONSTANT)
    Q_PROPERTY(QColor chromeMid MEMBER chromeMid CONSTANT)
    Q_PROPERTY(QColor chromeDark MEMBER chromeDark CONSTANT)
    Q_PROPERTY(QColor text MEMBER text CONSTANT)
    Q_PROPERTY(QColor dimText MEMBER dimText CONSTANT)
    Q_PROPERTY(QColor capText MEMBER capText CONSTANT)
    Q_PROPERTY(QColor lcdBack MEMBER lcdBack CONSTANT)
    Q_PROPERTY(QColor lcdText MEMBER lcdText CONSTANT)
    Q_PROPERTY(QColor accentInk MEMBER accentInk CONSTANT)
    Q_PROPERTY(QColor accentInkAlt MEMBER accentInkAlt CONSTANT)
    Q_PROPERTY(QColor accentLabel MEMBER accentLabel CONSTANT)
    Q_PROPERTY(QColor accentText MEMBER accentText CONSTANT)
    Q_PROPERTY(QColor accentInkText MEMBER accentInkText CONSTANT)
    Q_PROPERTY(QColor ok MEMBER ok CONSTANT)
    Q_PROPERTY(QColor stop MEMBER stop CONSTANT)
    Q_PROPERTY(QColor waiting MEMBER waiting CONSTANT)
    Q_PROPERTY(double glossTop MEMBER glossTop CONSTANT)

public:
    ChromePalette() = default;
    explicit ChromePalette(const ChromeColors &colors);

    bool isLight = false;
    bool mirror = false;
    QColor base, accent;
    QColor windowTop, windowBottom, panelTop, panelBottom, capTop, capBottom;
    QColor chromeLight, chromeMid, chromeDark;
    QColor text, dimText, capText, lcdBack, lcdText, accentInk, accentInkAlt, accentLabel, accentText, accentInkText;
    QColor ok, stop, waiting;
    double glossTop = 0.55;

    bool operator==(const ChromePalette &) const = default;
};
