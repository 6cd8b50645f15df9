#pragma once

#include <QString>

namespace ByteCount {

// A byte count as the Mac's file-style formatter writes it, in decimal units: "Zero KB",
// "999 bytes", "2 KB", "1.5 MB", "1.23 GB" (KB whole, MB one decimal, GB and up two, trailing
// zeros dropped).
QString fileStyle(qint64 bytes);

} // namespace ByteCount
