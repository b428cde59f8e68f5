#include "app/ChromeThemes.h"

#include <cmath>

QString RGB::name() const
{
    auto c = [](double v) { return qBound(0, int(std::lround(v * 255.0)), 255); };
    return QStringLiteral("#%1%2%3")
        .arg(c(r), 2, 16, QLatin1Char('0'))
        .arg(c(g), 2, 16, QLatin1Char('0'))
        .arg(c(b), 2, 16, QLatin1Char('0'));
}

namespace {
RGB rgb255(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0}; }

ChromeTheme make(const char *id, const char *name, ChromeTheme::Family family, RGB base, RGB accent,
                 bool mirror = false)
{
    return {QString::fromUtf8(id), QString::fromUtf8(name), family, base, accent, mirror};
}
} // namespace

namespace ChromeThemes {

const QList<ChromeTheme> &all()
{
    using F = ChromeTheme::Family;
    static const QList<ChromeTheme> themes = {
        make("hotpink", "Hot Pink", F::feminine, rgb255(232, 23, 127), rgb255(255, 138, 208)),
        make("canary", "Canary Yellow", F::light, rgb255(247, 210, 30), rgb255(255, 140, 0)),
        make("deeppurple", "Deep Purple", F::feminine, rgb255(74, 26, 126), rgb255(199, 125, 255)),
        make("darkgrey", "Dark Grey", F::neutral, rgb255(59, 62, 68), rgb255(75, 168, 255)),
        make("candyred", "Candy Apple Red", F::masculine, rgb255(181, 18, 27), rgb255(255, 90, 95)),
        make("cobalt", "Cobalt Blue", F::masculine, rgb255(0, 71, 171), rgb255(75, 200, 255)),
        make("pearl", "Pearl White", F::light, rgb255(234, 230, 223), rgb255(47, 128, 237)),
        make("midnight", "Midnight Black", F::dark, rgb255(21, 22, 27), rgb255(0, 229, 255)),
        make("forest", "Forest Green", F::masculine, rgb255(29, 86, 49), rgb255(124, 255, 107)),
        make("navy", "Navy Blue", F::masculine, rgb255(20, 40, 75), rgb255(111, 183, 255)),
        make("lavender", "Lavender", F::feminine, rgb255(168, 137, 209), rgb255(255, 126, 219)),
        make("orange", "Orange", F::masculine, rgb255(242, 106, 14), rgb255(255, 210, 63)),
        make("broncos", "Broncos (Orange/Navy)", F::masculine, rgb255(10, 35, 67), rgb255(251, 79, 20)),
        make("tan", "Tan", F::light, rgb255(198, 164, 122), rgb255(138, 59, 18)),
        make("beige", "Beige", F::light, rgb255(226, 211, 181), rgb255(176, 86, 43)),
        make("mauve", "Mauve", F::feminine, rgb255(142, 91, 110), rgb255(255, 179, 209)),
        make("silver", "Silver", F::metal, rgb255(185, 189, 196), rgb255(30, 136, 229), true),
        make("gold", "Gold", F::metal, rgb255(201, 154, 30), rgb255(255, 241, 168), true),
        make("chromegold", "Chrome Gold", F::metal, rgb255(227, 188, 74), rgb255(255, 159, 28), true),
        make("ocean", "Ocean", F::masculine, rgb255(11, 94, 126), rgb255(63, 224, 208)),
        make("opal", "Opal", F::light, rgb255(207, 228, 230), rgb255(224, 95, 176)),
    };
    return themes;
}

const ChromeTheme &fallback()
{
    return named(QStringLiteral("midnight"));
}

const ChromeTheme &named(const QString &id)
{
    const auto &themes = all();
    for (const ChromeTheme &t : themes)
        if (t.id == id)
            return t;
    return named(QStringLiteral("midnight"));
}

} // namespace ChromeThemes

ChromeThemeStore::ChromeThemeStore(QSettings *defaults, const QString &key, const QString &defaultId,
                                   QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_key(key)
    , m_theme(ChromeThemes::named(defaults->value(key, defaultId).toString()))
{
}

QStringList ChromeThemeStore::ids() const
{
    QStringList out;
    for (const ChromeTheme &t : ChromeThemes::all())
        out.append(t.id);
    return out;
}

QStringList ChromeThemeStore::names() const
{
    QStringList out;
    for (const ChromeTheme &t : ChromeThemes::all())
        out.append(t.name);
    return out;
}

void ChromeThemeStore::select(const QString &id)
{
    const ChromeTheme &next = ChromeThemes::named(id);
    if (next == m_theme)
        return;
    m_theme = next;
    m_defaults->setValue(m_key, m_theme.id);
    Q_EMIT themeChanged();
}
