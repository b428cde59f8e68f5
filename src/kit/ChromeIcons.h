#pragma once
// Symbol names used by the screens ("flame.fill", "opticaldisc", …) mapped to
// glyphs of the Material Icons font, which the kit loads itself so no icon
// depends on the desktop's icon theme. Pure data; any thread.

#include <QList>
#include <QString>

namespace ChromeIcons {

struct Entry
{
    const char *symbol;   // the name the screens use
    const char *material; // the glyph's name in the font
    char16_t codepoint;   // the glyph's private-use code point
};

// Every mapped symbol, in no particular order; symbols are unique.
const QList<Entry> &all();
// The glyph for a symbol as a one-character string, or "" when it has none.
QString glyph(const QString &symbol);
// The font file, found under the system's data folders; "" when not installed.
QString fontPath();

} // namespace ChromeIcons
