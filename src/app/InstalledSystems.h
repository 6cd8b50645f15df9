#pragma once

#include "datacare/Cores.h"
#include "guide/ProjectDocs.h"

#include <QList>

#include <optional>

// The systems as the installed OpenEmu has them: its system plug-ins
// (Contents/PlugIns/Systems/*.oesystemplugin) and, for each, the installed cores that serve it
// with their versions. The project's table is what Vantor shows before OpenEmu is installed.
namespace InstalledSystems {

// In name order; empty when there is no app or it has no system plug-ins that can be read. Each
// system's BIOS files come from the project's BIOS table (by OpenEmu's system identifier).
// Reads the disk: run it off the main thread.
QList<SystemInfo> list(const std::optional<QString> &appPath, const QList<Core> &cores);

} // namespace InstalledSystems
