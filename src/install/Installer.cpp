#include "install/Installer.h"

#include "base/FriendlyError.h"
#include "base/Paths.h"
#include "install/VersionChecker.h"
#include "platform/FileOps.h"
#include "platform/SystemTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace Installer {

namespace {

const QString stagingName = QStringLiteral(".Vantor-new.app");
const QString parkingName = QStringLiteral(".parked.app");

QFileInfoList listing(const QString &folder)
{
    return QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                      QDir::Name);
}

// "OpenEmu.app" with label "1.0.3" gives "OpenEmu 1.0.3.app".
QString keptName(const QString &bundlePath, const QString &label)
{
    return QFileInfo(bundlePath).completeBaseName() + QLatin1Char(' ') + label + QStringLiteral(".app");
}

bool isWritable(const QString &folder)
{
    return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
}

} // namespace

std::optional<QString> previousApp()
{
    for (const QFileInfo &entry : listing(Paths::previousVersionsFolder())) {
        if (entry.suffix() == QStringLiteral("app"))
            return entry.filePath();
    }
    return std::nullopt;
}

QString place(const QString &newApp, const QString &destDir, const std::optional<QString> &replacing,
              const std::optional<QString> &oldVersion)
{
    FileOps::makePath(destDir);
    if (!isWritable(destDir))
        throw FriendlyError(
            QStringLiteral("Vantor can't write to %1. Choose your own Applications folder instead.").arg(destDir),
            QStringLiteral("Not writable: ") + destDir);

    const QString target = replacing.value_or(QDir(destDir).filePath(QFileInfo(newApp).fileName()));
    const QString staging = QFileInfo(target).dir().filePath(stagingName);
    FileOps::removeItem(staging);
    SystemTools::copyBundle(newApp, staging);

    std::optional<QString> kept;
    if (FileOps::exists(target)) {
        const QString previous = Paths::previousVersionsFolder();
        FileOps::makePath(previous); // on failure the staging copy waits for the next placement
        for (const QFileInfo &entry : listing(previous))
            FileOps::removeItem(entry.filePath());

        QString label = oldVersion.value_or(QStringLiteral("previous"));
        label.replace(QLatin1Char('/'), QLatin1Char('-'));
        const QString keptPath = QDir(previous).filePath(keptName(target, label));
        try {
            FileOps::moveItem(target, keptPath);
        } catch (...) {
            FileOps::removeItem(staging);
            throw;
        }
        kept = keptPath;
    }

    try {
        FileOps::moveItem(staging, target);
    } catch (...) {
        if (kept) {
            try {
                FileOps::moveItem(*kept, target);
            } catch (...) {
            }
        }
        FileOps::removeItem(staging);
        throw;
    }
    return target;
}

void rollback(const QString &installed)
{
    const QString previous = Paths::previousVersionsFolder();
    auto kept = previousApp();
    if (!kept)
        throw FriendlyError(QStringLiteral("There is no previous version to go back to."), previous);

    const QString parking = QDir(previous).filePath(parkingName);
    // A copy left parked by an earlier rollback is the kept copy now; give it a name of its own
    // first, or clearing the parking place below would delete it.
    if (QFileInfo(*kept).fileName() == parkingName) {
        const QString renamed = QDir(previous).filePath(
            keptName(installed, VersionChecker::version(*kept).value_or(QStringLiteral("newer"))));
        FileOps::moveItem(*kept, renamed);
        kept = renamed;
    }
    FileOps::removeItem(parking);

    FileOps::moveItem(installed, parking);
    try {
        FileOps::moveItem(*kept, installed);
    } catch (...) {
        try {
            FileOps::moveItem(parking, installed);
        } catch (...) {
        }
        throw;
    }

    const QString label = VersionChecker::version(parking).value_or(QStringLiteral("newer"));
    FileOps::moveItem(parking, QDir(previous).filePath(keptName(installed, label)));
}

} // namespace Installer
