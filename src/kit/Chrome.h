#pragma once
// The kit's QML singleton `Chrome`, one per engine: the current theme, its
// derived colours, the icon font and the way every card asks for help.
// Main thread only, like the engine that owns it.

#include "ChromePalette.h"
#include "app/ChromeThemes.h"

#include <QObject>
#include <QSet>
#include <QUrl>
#include <QVariant>
#include <QtQmlIntegration/qqmlintegration.h>

class Chrome : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    // The current ChromeTheme; the window sets it from the theme store. A theme
    // id string is taken too. Anything else leaves Midnight Black.
    Q_PROPERTY(QVariant theme READ theme WRITE setTheme NOTIFY themeChanged)
    Q_PROPERTY(QString themeId READ themeId NOTIFY themeChanged)
    Q_PROPERTY(ChromePalette palette READ palette NOTIFY themeChanged)
    Q_PROPERTY(QString appName READ appName WRITE setAppName NOTIFY appNameChanged)
    // The Material Icons font file, for the Icon item's FontLoader.
    Q_PROPERTY(QUrl iconFont READ iconFont CONSTANT)
    // A fixed-width family for LCD digits and checksums.
    Q_PROPERTY(QString monoFamily READ monoFamily CONSTANT)

public:
    explicit Chrome(QObject *parent = nullptr);

    QVariant theme() const { return QVariant::fromValue(m_theme); }
    void setTheme(const QVariant &theme);
    QString themeId() const { return m_theme.id; }
    const ChromePalette &palette() const { return m_palette; }
    QString appName() const { return m_appName; }
    void setAppName(const QString &name);
    QUrl iconFont() const;
    QString monoFamily() const;

    // The glyph of a symbol name in the icon font ("" for an unknown name).
    Q_INVOKABLE QString glyph(const QString &symbol) const;
    // Asks the window to open help at a topic ("" = the first topic).
    Q_INVOKABLE void showHelp(const QString &topic = QString());

Q_SIGNALS:
    void themeChanged();
    void appNameChanged();
    void helpRequested(const QString &topic);

private:
    ChromeTheme m_theme;
    ChromePalette m_palette;
    QString m_appName = QStringLiteral("KLVO Tandor");
    mutable QSet<QString> m_unmapped;
};
