#include "datacare/Cores.h"

#include "base/Paths.h"
#include "platform/BundleInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace Cores {

namespace {

// The core bundles in one folder (never through a link to somewhere else), by file name.
QList<QPair<QString, Core>> coresIn(const QString &folder, const QString &place)
{
    QList<QPair<QString, Core>> found;
    const QDir dir(folder);
    for (const QFileInfo &entry : dir.entryInfoList({QStringLiteral("*.oecoreplugin")},
                                                    QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name)) {
        const auto meta = BundleInfo::read(entry.filePath());
        if (!meta || !meta->identifier || meta->identifier->isEmpty())
            continue;
        Core core;
        core.name = meta->name.value_or(entry.completeBaseName());
        core.identifier = *meta->identifier;
        core.version = meta->bundleVersion.value_or(QString());
        core.place = place;
        core.path = entry.filePath();
        core.systems = meta->systems;
        core.requiredFiles = meta->requiredFiles;
        found.append({entry.fileName(), core});
    }
    return found;
}

} // namespace

QList<Core> installed(const std::optional<QString> &appPath)
{
    QList<Core> cores;
    QSet<QString> names;
    for (const auto &[file, core] :
         coresIn(QDir(Paths::supportFolder()).filePath(QStringLiteral("Cores")), QStringLiteral("support"))) {
        names.insert(file);
        cores.append(core);
    }
    if (appPath) {
        for (const auto &[file, core] :
             coresIn(QDir(*appPath).filePath(QStringLiteral("Contents/PlugIns/Cores")), QStringLiteral("app"))) {
            if (!names.contains(file))
                cores.append(core);
        }
    }
    std::sort(cores.begin(), cores.end(),
              [](const Core &a, const Core &b) { return a.name.compare(b.name, Qt::CaseInsensitive) < 0; });
    return cores;
}

QList<RequiredFile> requiredFiles(const QList<Core> &cores)
{
    QList<RequiredFile> files;
    for (const Core &core : cores)
        files.append(core.requiredFiles);
    return files;
}

} // namespace Cores
