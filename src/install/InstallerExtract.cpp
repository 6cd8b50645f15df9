#include "install/Installer.h"

#include "base/ByteCount.h"
#include "base/FriendlyError.h"
#include "platform/FileOps.h"
#include "platform/SystemTools.h"

#include <QDir>
#include <QFileInfo>

#include <exception>

namespace Installer {

namespace {

bool isRealFolder(const QFileInfo &entry)
{
    return entry.isDir() && !entry.isSymLink();
}

} // namespace

std::optional<QString> findApp(const QString &folder)
{
    const QFileInfoList entries
        = QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);

    QList<QFileInfo> candidates;
    for (const QFileInfo &entry : entries) {
        if (entry.suffix() == QStringLiteral("app") && isRealFolder(entry))
            candidates.append(entry);
    }
    if (!candidates.isEmpty()) {
        for (const QFileInfo &candidate : candidates) {
            if (candidate.fileName().toLower().startsWith(QStringLiteral("openemu")))
                return candidate.filePath();
        }
        return candidates.first().filePath();
    }
    for (const QFileInfo &entry : entries) {
        if (!isRealFolder(entry) || entry.fileName() == QStringLiteral("__MACOSX"))
            continue;
        if (auto found = findApp(entry.filePath()))
            return found;
    }
    return std::nullopt;
}

qint64 unpackedSize(const QString &releaseFile)
{
    const qint64 listed = SystemTools::listedSize(releaseFile);
    const bool image = QFileInfo(releaseFile).suffix().toLower() == QStringLiteral("dmg");
    return image ? ByteCount::saturatingMultiply(listed, 2) : listed;
}

QString extractApp(const QString &releaseFile, const QString &workDir)
{
    const QString extracted = QDir(workDir).filePath(QStringLiteral("extracted"));
    FileOps::makePath(extracted);

    if (QFileInfo(releaseFile).suffix().toLower() == QStringLiteral("dmg")) {
        const QString mount = QDir(workDir).filePath(QStringLiteral("mount"));
        FileOps::makePath(mount);
        SystemTools::attachDiskImage(releaseFile, mount);

        std::exception_ptr failure;
        try {
            const auto app = findApp(mount);
            if (!app)
                throw FriendlyError(QStringLiteral("The disk image doesn't contain an OpenEmu app."),
                                    QStringLiteral("No .app found in ") + mount);
            SystemTools::copyBundle(*app, QDir(extracted).filePath(QFileInfo(*app).fileName()));
        } catch (...) {
            failure = std::current_exception();
        }
        SystemTools::detachDiskImage(mount);
        if (failure)
            std::rethrow_exception(failure);
    } else {
        SystemTools::unpackZip(releaseFile, extracted);
    }

    const auto app = findApp(extracted);
    if (!app)
        throw FriendlyError(QStringLiteral("The download doesn't contain an OpenEmu app."),
                            QStringLiteral("No .app found in ") + extracted);
    return *app;
}

} // namespace Installer
