#pragma once

#include <QList>
#include <QString>

#include <optional>

// What a zip archive's central directory says about its entries: names, and which entries
// are symbolic links and where they point. Read directly from the file, without unpacking
// anything, so that a hostile archive can be judged before any of it is written.
namespace ZipListing {

struct Entry
{
    QString name;
    bool isSymlink = false;
    QString linkTarget; // for links: the stored target text
};

// None when the file is not a zip archive this reader understands.
std::optional<QList<Entry>> read(const QString &zipPath);

} // namespace ZipListing
