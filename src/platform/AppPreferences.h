#pragma once

#include <QMap>
#include <QString>

#include <optional>

// OpenEmu's settings as the system's preferences service holds them. On the Mac, cfprefsd caches
// each app's preferences and may keep, or write back, values its file no longer has; so the file
// is brought up to date before it is backed up (`defaults export`), and the service is told after
// the file was replaced by a restore (`defaults import`) or moved to the Trash (`defaults delete`).
// The file itself is still what is backed up, restored and trashed, so a copy of the old one
// always stays in the Trash. Where there is no `defaults` (Linux) the file is all there is and
// these do nothing. Failures are ignored: the file was handled already. Tests stand a script in
// for the tool by naming it in VANTOR_DEFAULTS_TOOL.
namespace AppPreferences {

// The top-level entries of a domain's preferences: a string's text, or none for a value of
// another type. On the Mac they come from the preferences service (`defaults export DOMAIN -`),
// so values cfprefsd holds are seen; elsewhere, or when that gives nothing, from the file. Empty
// when there are none or they can't be read.
QMap<QString, std::optional<QString>> strings(const QString &domain, const QString &file);

void exportTo(const QString &domain, const QString &file);
void importFrom(const QString &domain, const QString &file);
void forget(const QString &domain);

} // namespace AppPreferences
