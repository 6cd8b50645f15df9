#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The names a zip's central directory gives its entries, in the order of their local headers.
// libarchive's seekable reader takes each name from the local header; a zip whose two copies
// of a name differ is read one way by one tool and another way by the next, so a backup is
// only trusted when both agree.
namespace CentralDirectory {

// What the directory says of one entry, and the size its local header gives (none when the
// header leaves it to a data descriptor or a 64-bit field).
struct Listed
{
    QByteArray name; // raw
    quint64 size = 0; // uncompressed
    std::optional<quint64> localSize;
};

// The entries, ordered by where each one's local header starts. Throws UnreadableZip ("Vantor
// can't read that zip.") when the end records, the directory or a local header are damaged.
QList<Listed> entries(const QString &zip);

} // namespace CentralDirectory
