#pragma once

#include "release/Release.h"

#include <QByteArray>
#include <QString>

// Strict decoding of the feed's JSON into a Release: required members must be present with
// the right type, optional ones may be absent or null, unknown members are ignored.
namespace ReleaseDecoder {

// Thrown with a description of the first problem: where it is and what is wrong.
struct DecodingError
{
    QString description;
};

// "tag_name" -> "tagName": split at inner underscores, later pieces capitalised; leading and
// trailing underscores kept; a name without an inner underscore unchanged.
QString convertFromSnakeCase(const QString &key);

Release decode(const QByteArray &json);
// A list of releases (newest first, as GitHub gives them); entries that do not decode are left out.
QList<Release> decodeList(const QByteArray &json);

} // namespace ReleaseDecoder
