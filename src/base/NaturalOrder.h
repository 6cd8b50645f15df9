#pragma once

#include <QStringView>

// The order the Finder lists names in: runs of digits compare as numbers ("Slot 2" before
// "Slot 11"), letters without regard to case.
namespace NaturalOrder {

// Negative, zero or positive, as a is before, the same as, or after b.
int compare(QStringView a, QStringView b);

} // namespace NaturalOrder
