#pragma once
// Pure functions that turn what the burner service reports into the values and
// texts a deck shows. Nothing here touches hardware; every function may be
// called from any thread.

#include <QString>
#include <QStringList>
#include <array>

inline constexpr int maxDecks = 6;
inline const std::array<QString, maxDecks> deckLetters = {
    QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
    QStringLiteral("D"), QStringLiteral("E"), QStringLiteral("F")};

namespace TDDetect {

// A byte count for messages, in decimal units limited to KB, MB and GB, the way
// a file manager writes file sizes: "4.38 GB", "700 MB", "12 KB".
// KB have no decimals, MB one, GB two; trailing zeros are dropped.
QString bytes(qint64 count);

} // namespace TDDetect
