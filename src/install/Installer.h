#pragma once

#include <QString>

#include <optional>

// Placing a release's app and keeping the one copy it replaced.
namespace Installer {

// The kept previous version: the first entry ending in ".app" in the previous-versions
// folder, in listing order, or none. Never creates the folder.
std::optional<QString> previousApp();

} // namespace Installer
