#pragma once

#include <QString>

// The per-run work folders in the temporary folder ("Vantor-" + a UUID). Each holds a marker
// with its owner's process id, so that folders of runs that were killed can be found later.
namespace WorkFolder {

// Creates a new work folder with its marker and gives its path. Throws PlatformError.
QString create();

// Removes the work folders whose owner is no longer running. Never throws.
void removeAbandoned();

} // namespace WorkFolder
