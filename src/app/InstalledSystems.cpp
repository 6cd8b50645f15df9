#include "app/InstalledSystems.h"

#include "platform/BundleInfo.h"
#include "platform/FileOps.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>

namespace InstalledSystems {

namespace {

constexpr qint64 maxInfoBytes = 1024 * 1024;

} // namespace

QList<SystemInfo> list(const std::optional<QString> &appPath, const QList<Core> &cores)
{
    QList<SystemInfo> systems;
    if (!appPath)
        return systems;
    const QDir plugins(QDir(*appPath).filePath(QStringLiteral("Contents/PlugIns/Systems")));
    for (const QFileInfo &plugin : plugins.entryInfoList({QStringLiteral("*.oesystemplugin")},
                                                         QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks)) {
        const auto bytes
            = FileOps::readRegularFile(plugin.filePath() + QStringLiteral("/Contents/Info.plist"), maxInfoBytes);
        const auto keys = BundleInfo::stringsOf(bytes.value_or(QByteArray()));
        const QString identifier = keys.value(QStringLiteral("OESystemIdentifier")).value_or(QString());
        const QString name = keys.value(QStringLiteral("OESystemName")).value_or(plugin.completeBaseName());
        if (identifier.isEmpty())
            continue;
        QStringList serving;
        for (const Core &core : cores) {
            if (core.systems.contains(identifier))
                serving.append(core.version.isEmpty() ? core.name : core.name + QLatin1Char(' ') + core.version);
        }
        SystemInfo system{QUuid::createUuid(),
                          name,
                          serving.isEmpty() ? QStringLiteral("none installed") : serving.join(QStringLiteral(" / ")),
                          std::nullopt,
                          QString(),
                          identifier};
        for (const BIOSEntry &entry : ProjectDocs::biosTable()) {
            if (entry.systemId == identifier)
                system.bios = entry.files.join(QStringLiteral(", "))
                              + (entry.optional ? QStringLiteral(" (optional)") : QString());
        }
        if (serving.isEmpty())
            system.note = QStringLiteral("No installed core plays it");
        systems.append(system);
    }
    std::sort(systems.begin(), systems.end(),
              [](const SystemInfo &a, const SystemInfo &b) { return a.name.compare(b.name, Qt::CaseInsensitive) < 0; });
    return systems;
}

} // namespace InstalledSystems
