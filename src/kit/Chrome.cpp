#include "Chrome.h"

#include "ChromeIcons.h"

#include <QFontDatabase>

Chrome::Chrome(QObject *parent)
    : QObject(parent)
    , m_theme(ChromeThemes::fallback())
    , m_palette(ChromeColors::of(m_theme))
{
}

void Chrome::setTheme(const QVariant &theme)
{
    ChromeTheme next = ChromeThemes::fallback();
    if (theme.metaType() == QMetaType::fromType<ChromeTheme>())
        next = theme.value<ChromeTheme>();
    else if (theme.metaType() == QMetaType::fromType<QString>())
        next = ChromeThemes::named(theme.toString());
    if (next == m_theme)
        return;
    m_theme = next;
    m_palette = ChromePalette(ChromeColors::of(m_theme));
    Q_EMIT themeChanged();
}

void Chrome::setAppName(const QString &name)
{
    if (name == m_appName)
        return;
    m_appName = name;
    Q_EMIT appNameChanged();
}

QUrl Chrome::iconFont() const
{
    const QString path = ChromeIcons::fontPath();
    return path.isEmpty() ? QUrl() : QUrl::fromLocalFile(path);
}

QString Chrome::monoFamily() const
{
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

QString Chrome::glyph(const QString &symbol) const
{
    const QString g = ChromeIcons::glyph(symbol);
    if (g.isEmpty() && !symbol.isEmpty() && !m_unmapped.contains(symbol)) {
        m_unmapped.insert(symbol); // once per name, not once per binding
        qWarning("Icon: no glyph for the symbol \"%s\"", qPrintable(symbol));
    }
    return g;
}

void Chrome::showHelp(const QString &topic)
{
    Q_EMIT helpRequested(topic);
}
