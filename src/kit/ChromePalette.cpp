#include "ChromePalette.h"

namespace {
QColor color(const RGB &c)
{
    return QColor::fromRgbF(float(c.r), float(c.g), float(c.b));
}
} // namespace

ChromePalette::ChromePalette(const ChromeColors &c)
    : isLight(c.isLight)
    , mirror(c.mirror)
    , base(color(c.base))
    , accent(color(c.accent))
    , windowTop(color(c.windowTop))
    , windowBottom(color(c.windowBottom))
    , panelTop(color(c.panelTop))
    , panelBottom(color(c.panelBottom))
    , capTop(color(c.capTop))
    , capBottom(color(c.capBottom))
    , chromeLight(color(c.chromeLight))
    , chromeMid(color(c.chromeMid))
    , chromeDark(color(c.chromeDark))
    , text(color(c.text))
    , dimText(color(c.dimText))
    , capText(color(c.capText))
    , lcdBack(color(c.lcdBack))
    , lcdText(color(c.lcdText))
    , accentInk(color(c.accentInk))
    , accentInkAlt(color(c.accentInkAlt))
    , accentLabel(color(c.accentLabel))
    , accentText(color(c.accentText))
    , accentInkText(color(c.accentInkText))
    , ok(color(c.ok))
    , stop(color(c.stop))
    , waiting(color(c.waiting))
    , glossTop(c.glossTop)
{
}
