#include "Installer.h"

#include "app/Paths.h"

#include <QDir>
#include <QFileInfo>

namespace Installer {

std::optional<QString> previousApp()
{
    const QDir folder(Paths::previousVersionsFolder());
    const QFileInfoList entries
        = folder.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (entry.suffix() == QStringLiteral("app"))
            return entry.filePath();
    }
    return std::nullopt;
}

} // namespace Installer
