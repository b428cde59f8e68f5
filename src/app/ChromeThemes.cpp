#include "app/ChromeThemes.h"

#include <algorithm>
#include <cmath>

QString RGB::name() const
{
    auto c = [](double v) { return qBound(0, int(std::lround(v * 255.0)), 255); };
    return QStringLiteral("#%1%2%3")
        .arg(c(r), 2, 16, QLatin1Char('0'))
        .arg(c(g), 2, 16, QLatin1Char('0'))
        .arg(c(b), 2, 16, QLatin1Char('0'));
}

RGB RGB::mix(const RGB &o, double t) const
{
    return {r + t * (o.r - r), g + t * (o.g - g), b + t * (o.b - b)};
}

RGB RGB::lighter(double t) const
{
    return {r + t * (1 - r), g + t * (1 - g), b + t * (1 - b)};
}

RGB RGB::darker(double t) const
{
    return {r * (1 - t), g * (1 - t), b * (1 - t)};
}

double RGB::luminance() const
{
    auto lin = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * lin(r) + 0.7152 * lin(g) + 0.0722 * lin(b);
}

double contrastRatio(double a, double b)
{
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

namespace {
// The dark text drawn on caps, and its luminance worked out once.
constexpr RGB capDark{0.06, 0.06, 0.08};
constexpr double capDarkLuminance = 0.005062232844546803;

// White or the cap's dark text, whichever stands out more on the colour.
RGB textOn(const RGB &surface)
{
    const double l = surface.luminance();
    return contrastRatio(1.0, l) > contrastRatio(capDarkLuminance, l) ? RGB::white() : capDark;
}

// The colour stepped towards black (light surfaces) or white (dark ones) until
// it stands 3 : 1 from the surface.
RGB readableOn(RGB colour, const RGB &surface, bool lightSurface)
{
    const double ls = surface.luminance();
    for (int step = 0; step < 20 && contrastRatio(colour.luminance(), ls) < 3.0; ++step)
        colour = lightSurface ? colour.darker(0.1) : colour.lighter(0.1);
    return colour;
}

// Text stands 4.5 : 1 from both ends of the panel gradient. A colour short of
// that is darkened (light panels) or lightened (dark ones), keeping its hue,
// by the least amount that gets it there.
RGB legibleOn(const RGB &colour, const RGB &top, const RGB &bottom, bool lightSurface)
{
    const double lt = top.luminance();
    const double lb = bottom.luminance();
    const auto reads = [&](const RGB &c) {
        const double l = c.luminance();
        return contrastRatio(l, lt) >= 4.5 && contrastRatio(l, lb) >= 4.5;
    };
    if (reads(colour))
        return colour;
    const auto moved = [&](double t) { return lightSurface ? colour.darker(t) : colour.lighter(t); };
    double low = 0, high = 1;
    for (int i = 0; i < 30; ++i) {
        const double mid = (low + high) / 2;
        (reads(moved(mid)) ? high : low) = mid;
    }
    return moved(high);
}
} // namespace

ChromeColors ChromeColors::of(const ChromeTheme &theme)
{
    const RGB b = theme.base;
    const RGB a = theme.accent;
    const bool light = b.luminance() > 0.22;
    const bool m = theme.mirror;
    ChromeColors c;
    c.isLight = light;
    c.mirror = m;
    c.base = b;
    c.accent = a;
    c.windowTop = light ? b.mix(RGB::white(), 0.35) : b.mix(RGB::black(), 0.55);
    c.windowBottom = b.darker(light ? 0.12 : 0.82);
    c.panelTop = light ? b.lighter(0.55) : b.darker(0.3).lighter(0.08);
    c.panelBottom = light ? b.mix(RGB::white(), 0.1) : b.mix(RGB::black(), 0.7);
    c.capTop = b.lighter(m ? 0.75 : 0.45);
    c.capBottom = b.darker(m ? 0.45 : 0.55);
    c.chromeLight = RGB{0.97, 0.97, 0.98}.mix(b, 0.1);
    c.chromeMid = RGB{0.62, 0.63, 0.66}.mix(b, 0.12);
    c.chromeDark = RGB{0.16, 0.16, 0.18}.mix(b, 0.1);
    const auto legible = [&](const RGB &colour) { return legibleOn(colour, c.panelTop, c.panelBottom, light); };
    c.text = legible(light ? RGB{0.08, 0.08, 0.10} : RGB{0.96, 0.96, 0.98});
    c.dimText = legible(light ? RGB{0.24, 0.24, 0.28} : RGB{0.74, 0.75, 0.79});
    c.capText = textOn(b);
    c.lcdBack = RGB{0.02, 0.03, 0.05}.mix(b, 0.1);
    c.lcdText = a.lighter(a.luminance() < 0.25 ? 0.55 : 0.15);
    c.accentInk = readableOn(a, c.panelTop.mix(c.panelBottom, 0.5), light);
    c.accentInkAlt = readableOn(light ? a.lighter(0.5) : a.darker(0.4), c.panelTop.mix(c.panelBottom, 0.5), light);
    c.accentLabel = legible(c.accentInk);
    c.accentText = textOn(a);
    c.accentInkText = textOn(c.accentInk);
    // Darker on light surfaces so a status word stays readable.
    c.ok = legible(light ? RGB{0.09, 0.50, 0.20} : RGB{0.30, 0.86, 0.46});
    c.stop = legible(light ? RGB{0.78, 0.11, 0.10} : RGB{1.00, 0.38, 0.34});
    c.waiting = legible(light ? RGB{0.78, 0.40, 0.00} : RGB{1.00, 0.66, 0.16});
    c.glossTop = m ? 0.75 : 0.55;
    return c;
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
