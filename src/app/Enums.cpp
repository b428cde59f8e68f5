#include "app/Enums.h"

#include <QMetaEnum>

namespace Tandor {

QString rawValue(BurnMode mode)
{
    switch (mode) {
    case BurnMode::mirror: return QStringLiteral("Mirror");
    case BurnMode::independent: return QStringLiteral("Independent");
    case BurnMode::queue: return QStringLiteral("Queue");
    }
    return {};
}

QString messageName(BurnMode mode)
{
    return mode == BurnMode::queue ? QStringLiteral("Copies") : rawValue(mode);
}

QString helpText(BurnMode mode)
{
    switch (mode) {
    case BurnMode::mirror:
        return QStringLiteral("Mirror: one disc, burned on every deck at once. Each deck runs at its own speed and finishes on its own.");
    case BurnMode::independent:
        return QStringLiteral("Independent: a different disc on each deck. Click Edit disc on a deck to set its tracks.");
    case BurnMode::queue:
        return QStringLiteral("Copies: make a stack of copies. Whichever deck frees up first takes the next one. Insert a blank and it starts by itself.");
    }
    return {};
}

QString rawValue(MainTab tab)
{
    switch (tab) {
    case MainTab::audio: return QStringLiteral("Audio CD");
    case MainTab::data: return QStringLiteral("Data & ISO");
    case MainTab::tools: return QStringLiteral("Checksums & Mount");
    }
    return {};
}

MainTab mainTabFromRaw(const QString &raw)
{
    for (MainTab t : {MainTab::audio, MainTab::data, MainTab::tools})
        if (rawValue(t) == raw)
            return t;
    return MainTab::audio;
}

std::optional<MainTab> mainTabFromKey(const QString &key)
{
    bool ok = false;
    const int value = QMetaEnum::fromType<MainTab>().keyToValue(key.toLatin1().constData(), &ok);
    if (!ok)
        return std::nullopt;
    return MainTab(value);
}

} // namespace Tandor
