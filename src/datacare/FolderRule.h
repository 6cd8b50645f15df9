#pragma once

#include <QString>

#include <optional>

// Which folders OpenEmu may own. Its preferences can move the game library, the save states and
// the screenshots anywhere, and every backup zip carries those preferences: a value naming the
// home, ~/Library, an app bundle or Vantor's own folders would have backups read, restores write
// and uninstalls trash what isn't OpenEmu's. Every place those three are read from goes through
// here first.
namespace FolderRule {

// Why `path` (absolute, cleaned) can't be taken as one of OpenEmu's folders; none when it can.
// `defaultPlace` is where OpenEmu keeps that folder unless told otherwise (always fine). Whether
// two moved folders overlap is judged apart (overlap()), once both are known.
// A path and the folder its links lead to are both judged. Reads the disk (whether it's a folder,
// what its links lead to, whether it is a volume's root).
std::optional<QString> refusal(const QString &path, const QString &defaultPlace);

// Whether two paths are the same or one holds the other, as written.
bool overlap(const QString &a, const QString &b);

} // namespace FolderRule
