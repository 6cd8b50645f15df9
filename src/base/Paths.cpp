#include "base/Paths.h"

#include <QDir>
#include <QMutex>
#include <QMutexLocker>

namespace Paths {

namespace {

QMutex bundleIDMutex;
QString currentBundleID = defaultBundleID;

QString join(const QString &base, const QString &relative)
{
    return QDir(base).filePath(relative);
}

} // namespace

QString home()
{
    static const QString path = QDir::cleanPath(QDir::homePath());
    return path;
}

QString library()
{
    return join(home(), QStringLiteral("Library"));
}

QString systemApplications()
{
    const QString configured = qEnvironmentVariable("VANTOR_SYSTEM_APPLICATIONS");
    return configured.isEmpty() ? QStringLiteral("/Applications") : QDir::cleanPath(configured);
}

QString userApplications()
{
    return join(home(), QStringLiteral("Applications"));
}

QString bundleID()
{
    QMutexLocker lock(&bundleIDMutex);
    return currentBundleID;
}

void setBundleID(const QString &value)
{
    QMutexLocker lock(&bundleIDMutex);
    currentBundleID = value;
}

QString vantorSupportFolder()
{
    return join(library(), QStringLiteral("Application Support/Vantor"));
}

QString previousVersionsFolder()
{
    return join(vantorSupportFolder(), QStringLiteral("Previous versions"));
}

QString defaultBackupFolder()
{
    return QDir::home().filePath(QStringLiteral("Documents/OpenEmu Backups"));
}

QString automaticBackupsFolder()
{
    return join(vantorSupportFolder(), QStringLiteral("Automatic backups"));
}

QString vantorCachesFolder()
{
    return join(library(), QStringLiteral("Caches/Vantor"));
}

QString supportFolder()
{
    return join(library(), QStringLiteral("Application Support/OpenEmu"));
}

QString saveStatesFolder()
{
    return join(supportFolder(), QStringLiteral("Save States"));
}

QString gameLibraryFolder()
{
    return join(supportFolder(), QStringLiteral("Game Library"));
}

QString dreamcastBIOSFolder()
{
    return join(supportFolder(), QStringLiteral("Flycast"));
}

QStringList dataTopFolders()
{
    return {QStringLiteral("Save States"), QStringLiteral("Game Library"), QStringLiteral("BIOS"),
            QStringLiteral("Screenshots")};
}

QString settingsFile()
{
    return join(library(), QStringLiteral("Preferences/") + bundleID() + QStringLiteral(".plist"));
}

QString cachesFolder()
{
    return join(library(), QStringLiteral("Caches/") + bundleID());
}

} // namespace Paths
