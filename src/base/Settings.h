#pragma once

#include <QString>

#include <optional>

// The one remembered choice: the games folder, in the user defaults (QSettings, organisation
// and application "Vantor").
namespace Settings {

std::optional<QString> gamesFolder();
void setGamesFolder(const QString &path);

} // namespace Settings
