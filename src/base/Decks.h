#pragma once
// How many decks the window has and the letters they go by, shared by every
// layer that names a deck in a message.

#include <QString>
#include <array>

inline constexpr int maxDecks = 6;
inline const std::array<QString, maxDecks> deckLetters = {
    QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
    QStringLiteral("D"), QStringLiteral("E"), QStringLiteral("F")};
