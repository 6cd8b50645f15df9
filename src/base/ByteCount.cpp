#include "base/ByteCount.h"

#include <array>
#include <cmath>

#include <limits>

namespace ByteCount {

qint64 saturatingMultiply(qint64 a, qint64 b)
{
    qint64 product = 0;
    if (a < 0 || b < 0 || __builtin_mul_overflow(a, b, &product))
        return std::numeric_limits<qint64>::max();
    return product;
}

qint64 saturatingAdd(qint64 a, qint64 b)
{
    qint64 sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return std::numeric_limits<qint64>::max();
    return sum;
}

QString fileStyle(qint64 bytes)
{
    if (bytes == 0)
        return QStringLiteral("Zero KB");
    const QString sign = bytes < 0 ? QStringLiteral("-") : QString();
    const double magnitude = std::fabs(double(bytes));
    if (magnitude < 1000)
        return sign + QString::number(std::llabs(bytes))
               + (magnitude == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));

    struct Unit
    {
        const char *name;
        int decimals;
    };
    constexpr std::array<Unit, 6> units = {{{"KB", 0}, {"MB", 1}, {"GB", 2}, {"TB", 2}, {"PB", 2}, {"EB", 2}}};
    double value = magnitude / 1000;
    size_t unit = 0;
    for (;;) {
        const double scale = std::pow(10.0, units[unit].decimals);
        const double rounded = std::round(value * scale) / scale;
        // 999,999 bytes round to 1000 KB, which is written as 1 MB.
        if (rounded >= 1000 && unit + 1 < units.size()) {
            value /= 1000;
            ++unit;
            continue;
        }
        QString number = QString::number(rounded, 'f', units[unit].decimals);
        if (number.contains(QLatin1Char('.'))) {
            while (number.endsWith(QLatin1Char('0')))
                number.chop(1);
            if (number.endsWith(QLatin1Char('.')))
                number.chop(1);
        }
        return sign + number + QLatin1Char(' ') + QLatin1String(units[unit].name);
    }
}

} // namespace ByteCount
