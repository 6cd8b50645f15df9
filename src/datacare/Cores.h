#pragma once

#include "platform/BundleInfo.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One of OpenEmu's emulator cores (a "<Name>.oecoreplugin" bundle) as installed on this Mac.
struct Core
{
    QString name; // CFBundleName, else the bundle's file name without ".oecoreplugin"
    QString identifier; // CFBundleIdentifier, "org.openemu.<Name>"
    QString version; // CFBundleVersion, empty when it gives none
    QString place; // "support" (Application Support/OpenEmu/Cores) or "app" (inside the app)
    QString path; // the bundle
    QStringList systems; // OESystemIdentifiers
    QList<RequiredFile> requiredFiles; // the BIOS files it asks for
};

namespace Cores {

// The cores OpenEmu loads: those in Application Support/OpenEmu/Cores, then those inside the
// app (`appPath`/Contents/PlugIns/Cores) whose file name isn't there already; OpenEmu itself
// loads the Application Support copy first. A bundle without a readable Info.plist or an
// identifier is skipped. In name order.
QList<Core> installed(const std::optional<QString> &appPath);

// Every BIOS file those cores list.
QList<RequiredFile> requiredFiles(const QList<Core> &cores);

} // namespace Cores
