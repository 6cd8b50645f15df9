#include "datacare/FolderRule.h"

#include "base/Paths.h"
#include "platform/FileOps.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

namespace FolderRule {

namespace {

// The Mac's default volume ignores case: ~/LIBRARY is ~/Library there. Judged the careful way
// everywhere.
bool same(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

bool inside(const QString &path, const QString &folder)
{
    if (folder == QStringLiteral("/"))
        return true;
    return same(path, folder) || path.startsWith(folder + QLatin1Char('/'), Qt::CaseInsensitive);
}

QString parentOf(const QString &path)
{
    return QFileInfo(path).path();
}

// OpenEmu's folders inside its support folder that no moved folder may be, hold or sit in.
QStringList openEmuOwnFolders()
{
    const QDir support(Paths::supportFolder());
    QStringList folders;
    for (const char *name : {"Save States", "Game Library", "Screenshots", "BIOS", "Cores", "Bindings", "Shaders"})
        folders.append(support.filePath(QLatin1String(name)));
    return folders;
}

QStringList trashes()
{
    QStringList found{QDir(Paths::home()).filePath(QStringLiteral(".Trash"))};
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    found.append(QDir(data.isEmpty() ? Paths::home() + QStringLiteral("/.local/share") : data)
                     .filePath(QStringLiteral("Trash")));
    return found;
}

// Why one form of the path (as written, or with its links resolved) is refused.
std::optional<QString> judge(const QString &path, const QString &defaultPlace)
{
    const QString home = Paths::home();
    const QString library = Paths::library();
    const QString parent = parentOf(path);
    if (path == QStringLiteral("/") || inside(home, path))
        return QStringLiteral("the home folder or a folder that holds it");
    if (same(parent, home))
        return QStringLiteral("a folder directly in the home folder");
    if (same(path, library) || same(parent, library))
        return QStringLiteral("~/Library or a folder directly in it");
    if (inside(path, library)) {
        // Inside ~/Library only OpenEmu's own folder, or a cloud drive's folders (iCloud Drive,
        // and Dropbox and the like under CloudStorage), which are the user's documents.
        bool allowed = inside(path, Paths::supportFolder());
        for (const char *cloud : {"Mobile Documents", "CloudStorage"}) {
            const QString root = QDir(library).filePath(QLatin1String(cloud));
            allowed = allowed || (inside(path, root) && !same(parent, root));
        }
        if (!allowed)
            return QStringLiteral("inside ~/Library, outside OpenEmu's own folder");
    }
    if (inside(path, home)) {
        // ~/.ssh, ~/.config and the like: settings and programs, never a game's data.
        const QString below = path.mid(home.size() + 1);
        for (const QString &part : below.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            if (part.startsWith(QLatin1Char('.')))
                return QStringLiteral("a hidden folder in the home folder");
        }
    }
    for (const QString &apps :
         {Paths::userApplications(), Paths::systemApplications(), QStringLiteral("/Applications")}) {
        if (inside(path, apps))
            return QStringLiteral("an Applications folder");
    }
    for (const QString &part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part.endsWith(QStringLiteral(".app"), Qt::CaseInsensitive))
            return QStringLiteral("inside an app");
        if (same(part, QStringLiteral(".Trash")) || same(part, QStringLiteral(".Trashes"))
            || part.startsWith(QStringLiteral(".Trash-"), Qt::CaseInsensitive))
            return QStringLiteral("the Trash");
    }
    for (const QString &trash : trashes()) {
        if (inside(path, trash))
            return QStringLiteral("the Trash");
    }
    if (same(path, QStringLiteral("/Volumes")))
        return QStringLiteral("/Volumes");
    for (const QString &own : {Paths::vantorSupportFolder(), Paths::vantorCachesFolder()}) {
        if (overlap(path, own))
            return QStringLiteral("one of Vantor's own folders");
    }
    if (inside(Paths::supportFolder(), path))
        return QStringLiteral("a folder that holds OpenEmu's support folder");
    for (const QString &folder : openEmuOwnFolders()) {
        if (!same(folder, defaultPlace) && overlap(path, folder))
            return QStringLiteral("another of OpenEmu's folders, or one that holds it: ") + folder;
    }
    return std::nullopt;
}

} // namespace

bool overlap(const QString &a, const QString &b)
{
    return inside(a, b) || inside(b, a);
}

std::optional<QString> refusal(const QString &path, const QString &defaultPlace)
{
    const QString written = QDir::cleanPath(path);
    if (same(written, QDir::cleanPath(defaultPlace)))
        return std::nullopt;
    const QFileInfo info(written);
    if (info.exists() && !info.isDir())
        return QStringLiteral("not a folder");
    if (const auto why = judge(written, defaultPlace))
        return why;
    // Where its links lead (a link to the home is the home), the missing part taken as written.
    const std::optional<QString> real = FileOps::resolveOnDisk(written, QString());
    if (!real)
        return QStringLiteral("links that go round in circles");
    if (*real != written) {
        if (const auto why = judge(*real, defaultPlace))
            return *why + QStringLiteral(" (where its links lead: ") + *real + QLatin1Char(')');
    }
    // A drive's own top folder holds everything on it.
    if (info.isDir()) {
        const QStorageInfo volume(*real);
        if (volume.isValid() && QDir::cleanPath(volume.rootPath()) == *real)
            return QStringLiteral("the top folder of a volume");
    }
    return std::nullopt;
}

} // namespace FolderRule
