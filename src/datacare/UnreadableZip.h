#pragma once

#include "base/FriendlyError.h"

// A zip that cannot be read (damaged end records, directory or entries): "Vantor can't read
// that zip.", with what went wrong in the details. Its own type, so that a caller can tell it
// from the other failures without reading the sentence.
struct UnreadableZip : FriendlyError
{
    UnreadableZip(const QString &zip, const QString &what)
        : FriendlyError(QStringLiteral("Vantor can't read that zip."), zip + QLatin1Char('\n') + what)
    {
    }
};
