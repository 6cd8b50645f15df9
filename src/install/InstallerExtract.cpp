#include "install/Installer.h"

#include "base/ByteCount.h"
#include "base/FriendlyError.h"
#include "base/PlatformError.h"
#include "platform/BundleInfo.h"
#include "platform/BundleLinks.h"
#include "platform/FileOps.h"
#include "platform/SystemTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <exception>
#include <fts.h>
#include <sys/stat.h>

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
            const QString copy = QDir(extracted).filePath(QFileInfo(*app).fileName());
            SystemTools::copyBundle(*app, copy);
            // The Mac's copy keeps every link as the image has it; the bundle keeps only those
            // that stay inside it (Linux's unpacking made no others, so nothing goes there).
            BundleLinks::dropLeaving(copy);
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

QString checkApp(const QString &app)
{
    const auto broken = [&app](const QString &why) {
        return FriendlyError(QStringLiteral("The download doesn't contain a working OpenEmu app."), app + u'\n' + why);
    };
    const auto meta = BundleInfo::read(app);
    if (!meta)
        throw broken(QStringLiteral("Its Info.plist is missing or can't be read."));
    if (meta->identifier != QStringLiteral("org.openemu.OpenEmu"))
        throw broken(QStringLiteral("Its identifier is %1, not org.openemu.OpenEmu.")
                         .arg(meta->identifier.value_or(QStringLiteral("missing"))));
    if (!meta->shortVersion || meta->shortVersion->isEmpty())
        throw broken(QStringLiteral("It names no version."));
    const QString executable = app + QStringLiteral("/Contents/MacOS/") + meta->executable.value_or(QString());
    if (!meta->executable || meta->executable->contains(u'/') || !QFileInfo(executable).isFile())
        throw broken(
            QStringLiteral("Its program (Contents/MacOS/%1) is missing.").arg(meta->executable.value_or(QString())));
    return *meta->shortVersion;
}

void tightenPermissions(const QString &app)
{
    const QByteArray root = QFile::encodeName(app);
    char *paths[] = {const_cast<char *>(root.constData()), nullptr};
    FTS *tree = fts_open(paths, FTS_PHYSICAL | FTS_NOCHDIR, nullptr);
    if (!tree)
        throw PlatformErrors::fileWrite(app, errno);
    while (FTSENT *entry = fts_read(tree)) {
        if (entry->fts_info != FTS_F && entry->fts_info != FTS_D)
            continue; // links keep their own modes; a folder is changed on the way in
        const mode_t mode = entry->fts_statp->st_mode & 07777;
        const mode_t tight = mode & ~mode_t(S_IWGRP | S_IWOTH | S_ISUID | S_ISGID);
        if (tight != mode && ::chmod(entry->fts_path, tight) != 0) {
            const int error = errno;
            fts_close(tree);
            throw PlatformErrors::fileWrite(QFile::decodeName(entry->fts_path), error);
        }
    }
    fts_close(tree);
}

} // namespace Installer
