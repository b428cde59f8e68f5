#pragma once
// The 21 colour themes and the store that remembers the chosen one.
// A theme is two colours, a base and an accent; every other colour of the
// controls is derived from them here (ChromeColors) as plain RGB, which the
// kit turns into QML colours. The values are pure and usable on any thread.

#include <QList>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QtQmlIntegration/qqmlintegration.h>

struct RGB
{
    double r = 0, g = 0, b = 0; // sRGB, 0…1
    bool operator==(const RGB &) const = default;
    // "#rrggbb", for the screens.
    QString name() const;

    static constexpr RGB white() { return {1, 1, 1}; }
    static constexpr RGB black() { return {0, 0, 0}; }
    // self + t × (other − self), per channel.
    RGB mix(const RGB &other, double t) const;
    // Towards white by t; towards black by t.
    RGB lighter(double t) const;
    RGB darker(double t) const;
    // Relative luminance of the sRGB colour (0 black … 1 white).
    double luminance() const;
};

// Contrast ratio of two relative luminances: (lighter + 0.05) / (darker + 0.05).
double contrastRatio(double luminanceA, double luminanceB);

struct ChromeTheme
{
    Q_GADGET
    Q_PROPERTY(QString id MEMBER id CONSTANT)
    Q_PROPERTY(QString name MEMBER name CONSTANT)
    Q_PROPERTY(QString baseColor READ baseColor CONSTANT)
    Q_PROPERTY(QString accentColor READ accentColor CONSTANT)
    Q_PROPERTY(bool mirror MEMBER mirror CONSTANT)
public:
    enum class Family { masculine, feminine, dark, neutral, light, metal };
    Q_ENUM(Family)

    QString id;
    QString name;
    Family family = Family::dark;
    RGB base;
    RGB accent;
    bool mirror = false;

    QString baseColor() const { return base.name(); }
    QString accentColor() const { return accent.name(); }
    bool operator==(const ChromeTheme &) const = default;
};

// Every colour the controls draw with, derived from a theme's base and accent
// by fixed formulas. A plain value; the kit turns it into colours for QML.
struct ChromeColors
{
    bool isLight = false; // luminance(base) > 0.22: dark text on light surfaces
    bool mirror = false;
    RGB base, accent;
    RGB windowTop, windowBottom;
    RGB panelTop, panelBottom;
    RGB capTop, capBottom;
    RGB chromeLight, chromeMid, chromeDark;
    RGB text, dimText, capText;
    RGB lcdBack, lcdText;
    // The accent moved just far enough from the panels to read on them (3 : 1),
    // for accent text, rings and lit chips; pale accents on light metal need it.
    RGB accentInk;
    // A second tone of accentInk (deeper on dark metal, paler on light), just
    // as readable, so neighbouring decks tell apart at a glance.
    RGB accentInkAlt;
    // accentInk taken on until it reads as text on the panels (4.5 : 1), for
    // words and figures drawn in the accent.
    RGB accentLabel;
    // Text drawn on the accent (selections), and on accentInk (prominent
    // buttons, lit chips): white or the cap's dark text, whichever reads better.
    RGB accentText, accentInkText;
    // Outcome colours: finished well, failed or stopped, waiting its turn.
    // Like text and dimText, each reads on the panels at 4.5 : 1 or more.
    RGB ok, stop, waiting;
    // Opacity of the white gloss at the top of caps; it fades to 0.05 at the centre.
    double glossTop = 0.55;

    static ChromeColors of(const ChromeTheme &theme);
    bool operator==(const ChromeColors &) const = default;
};

namespace ChromeThemes {
// Every built-in theme, in menu order.
const QList<ChromeTheme> &all();
// Midnight Black.
const ChromeTheme &fallback();
// The theme with that id, or the fallback.
const ChromeTheme &named(const QString &id);
} // namespace ChromeThemes

// Holds the current theme and writes its id to the settings on every change.
// Main thread only; the settings store must outlive the theme store.
class ChromeThemeStore : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Owned by the application model")
    Q_PROPERTY(ChromeTheme theme READ theme NOTIFY themeChanged)
    Q_PROPERTY(QString themeId READ themeId WRITE select NOTIFY themeChanged)
    Q_PROPERTY(QStringList ids READ ids CONSTANT)
    Q_PROPERTY(QStringList names READ names CONSTANT)

public:
    ChromeThemeStore(QSettings *defaults, const QString &key = QStringLiteral("klvo.chrome.theme"),
                     const QString &defaultId = QStringLiteral("midnight"), QObject *parent = nullptr);

    const ChromeTheme &theme() const { return m_theme; }
    QString themeId() const { return m_theme.id; }
    QString key() const { return m_key; }
    QStringList ids() const;
    QStringList names() const;

    // Shows the theme with that id (the fallback for an unknown id) and saves it.
    Q_INVOKABLE void select(const QString &id);

Q_SIGNALS:
    void themeChanged();

private:
    QSettings *m_defaults;
    QString m_key;
    ChromeTheme m_theme;
};
