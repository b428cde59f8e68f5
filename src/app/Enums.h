#pragma once
// The program-wide enumerations with their stored and shown texts.

#include <QObject>
#include <QString>
#include <QtQmlIntegration/qqmlintegration.h>

#include <optional>

namespace Tandor {
Q_NAMESPACE
QML_NAMED_ELEMENT(Tandor)

// How "Burn all" and a deck's start pick the disc for each deck.
enum class BurnMode { mirror, independent, queue };
Q_ENUM_NS(BurnMode)

// The screen shown; its raw value is what the settings store.
enum class MainTab { audio, data, tools };
Q_ENUM_NS(MainTab)

} // namespace Tandor

using Tandor::BurnMode;
using Tandor::MainTab;

namespace Tandor {
// "Mirror", "Independent", "Queue": tells modes apart, never shown.
QString rawValue(BurnMode mode);
// "Mirror", "Independent", "Copies": the mode's name in messages.
QString messageName(BurnMode mode);
QString helpText(BurnMode mode);

// "Audio CD", "Data & ISO", "Checksums & Mount": stored and shown.
QString rawValue(MainTab tab);
// The tab a stored text names; anything else gives `audio`.
MainTab mainTabFromRaw(const QString &raw);
// The tab a command line names by its key ("audio", "data", "tools").
std::optional<MainTab> mainTabFromKey(const QString &key);
} // namespace Tandor
