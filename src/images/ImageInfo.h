#pragma once
// What an image file is and which discs it fits on.

#include <QStringList>

struct ImageInfo
{
    // File-name extensions (lower case, no dot) of the disc images the program burns.
    static const QStringList &burnableExtensions()
    {
        static const QStringList exts = {QStringLiteral("iso"), QStringLiteral("dmg"), QStringLiteral("cdr"),
                                         QStringLiteral("img"), QStringLiteral("toc"), QStringLiteral("cue")};
        return exts;
    }
};
