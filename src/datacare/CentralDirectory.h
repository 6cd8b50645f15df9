#pragma once

#include <QByteArrayList>
#include <QString>

// The names a zip's central directory gives its entries, in the order of their local headers.
// libarchive's seekable reader takes each name from the local header; a zip whose two copies
// of a name differ is read one way by one tool and another way by the next, so a backup is
// only trusted when both agree.
namespace CentralDirectory {

// The raw names, ordered by where each entry's local header starts. Throws FriendlyError
// ("Vantor can't read that zip.") when the end records or the directory are damaged.
QByteArrayList names(const QString &zip);

} // namespace CentralDirectory
