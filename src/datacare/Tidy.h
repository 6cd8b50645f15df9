#pragma once

#include "datacare/TidyRow.h"

#include <QList>

#include <optional>

// Where OpenEmu keeps things on this Mac and how much room each takes.
namespace Tidy {

// The app (when its path is given), the data folder, the settings file and the caches folder,
// in that order, each with whether it exists and its size. Reads the disk: run it off the
// main thread.
QList<TidyRow> scan(const std::optional<QString> &appPath);

} // namespace Tidy
