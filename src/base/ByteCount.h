#pragma once

#include <QString>

namespace ByteCount {

// A byte count as the Mac's file-style formatter writes it, in decimal units: "Zero KB",
// "999 bytes", "2 KB", "1.5 MB", "1.23 GB" (KB whole, MB one decimal, GB and up two, trailing
// zeros dropped).
QString fileStyle(qint64 bytes);

// a * b for sizes, held at the largest value instead of overflowing (a, b >= 0).
qint64 saturatingMultiply(qint64 a, qint64 b);
qint64 saturatingAdd(qint64 a, qint64 b);

} // namespace ByteCount
