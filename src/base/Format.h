#pragma once
// How times and sizes are written in every message and on every screen.
// Reentrant; Qt Core only.

#include <QString>

// Playing time as "m:ss": rounded to the nearest second (halves away from
// zero), never negative, minutes unpadded and not capped at 59.
QString fmt(double seconds);

// A byte count, in decimal units limited to KB, MB and GB, the way a file
// manager writes file sizes: "4.38 GB", "700 MB", "12 KB". KB have no
// decimals, MB one, GB two; trailing zeros are dropped.
QString fmtBytes(qint64 count);
