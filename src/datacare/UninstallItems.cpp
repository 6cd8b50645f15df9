#include "datacare/UninstallItems.h"

#include "base/Paths.h"
#include "datacare/BackupManager.h"
#include "platform/FileOps.h"
#include "platform/FileUtil.h"

#include <QDir>

namespace UninstallItems {

namespace {

// What of `folder` is left once the `kept` paths (and the folders on the way to them) stay:
// whole children where they hold none of them, else what is left inside, level by level.
void rest(const QString &folder, const QStringList &kept, QStringList &out)
{
    const QFileInfoList children
        = QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &child : children) {
        const QString path = child.filePath();
        if (kept.contains(path))
            continue;
        const bool holdsKept = !child.isSymLink() && std::any_of(kept.begin(), kept.end(), [&](const QString &k) {
            return FileOps::isInside(k, path);
        });
        if (holdsKept)
            rest(path, kept, out);
        else
            out.append(path);
    }
}

} // namespace

QStringList ids()
{
    return {QStringLiteral("app"),         QStringLiteral("caches"),     QStringLiteral("states"),
            QStringLiteral("battery"),     QStringLiteral("bios"),       QStringLiteral("library"),
            QStringLiteral("screenshots"), QStringLiteral("prefs"),      QStringLiteral("other"),
            QStringLiteral("previous"),    QStringLiteral("autobackups")};
}

QList<UninstallItem> list(const std::optional<QString> &appPath)
{
    QList<UninstallItem> items;
    const auto add = [&](UninstallItem item) {
        item.paths.removeIf([](const QString &path) { return !FileOps::exists(path); });
        if (item.paths.isEmpty())
            return;
        for (const QString &path : std::as_const(item.paths)) {
            item.sizes.append(FileUtil::size(path));
            item.size += item.sizes.last();
        }
        items.append(item);
    };
    if (appPath)
        add({QStringLiteral("app"), QStringLiteral("OpenEmu-Silicon"), {*appPath}, 0, true, {}});
    add({QStringLiteral("caches"),
         QStringLiteral("Caches"),
         {Paths::cachesFolder(), QDir(Paths::library())
                                     .filePath(QStringLiteral("Saved Application State/") + Paths::bundleID()
                                               + QStringLiteral(".savedState"))},
         0,
         true,
         {}});
    // The user's own data, where OpenEmu keeps it now (as a backup finds it).
    QStringList kept;
    const QList<BackupItem> data = BackupManager::items();
    const QList<std::pair<const char *, QString>> parts{
        {"states", QStringLiteral("Save states")},      {"battery", QStringLiteral("Battery saves")},
        {"bios", QStringLiteral("BIOS files")},         {"library", QStringLiteral("Game library")},
        {"screenshots", QStringLiteral("Screenshots")}, {"prefs", QStringLiteral("Settings")}};
    for (const auto &[id, title] : parts) {
        for (const BackupItem &item : data) {
            if (item.id != QLatin1String(id) || !item.reachable)
                continue;
            add({item.id, title, item.sources, 0, false, {}});
            kept.append(item.sources);
        }
    }
    QStringList other;
    if (QFileInfo(Paths::supportFolder()).isDir())
        rest(Paths::supportFolder(), kept, other);
    add({QStringLiteral("other"),
         QStringLiteral("OpenEmu's other files (cores, bindings, shaders)"),
         other,
         0,
         false,
         {}});
    if (const auto previous = QDir(Paths::previousVersionsFolder())
                                  .entryInfoList({QStringLiteral("*.app")},
                                                 QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        !previous.isEmpty())
        add({QStringLiteral("previous"),
             QStringLiteral("Kept previous version"),
             {previous.first().filePath()},
             0,
             false,
             {}});
    add({QStringLiteral("autobackups"),
         QStringLiteral("Vantor's automatic backups"),
         {Paths::automaticBackupsFolder()},
         0,
         false,
         QStringLiteral("your safety copies")});
    return items;
}

} // namespace UninstallItems
