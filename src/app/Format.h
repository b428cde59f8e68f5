#pragma once
#include <QString>

// Playing time as "m:ss": rounded to the nearest second (halves away from
// zero), never negative, minutes unpadded and not capped at 59.
QString fmt(double seconds);
