#include "platform/BundleLinks.h"

#include "platform/FileOps.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace BundleLinks {

bool staysInside(QStringList linkPath, const QString &target, const std::function<bool(const QString &)> &isLink)
{
    if (target.isEmpty() || target.startsWith(QLatin1Char('/')) || linkPath.isEmpty())
        return false;
    linkPath.removeLast();
    bool throughLink = false;
    for (const QString &part : target.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QStringLiteral("."))
            continue;
        if (part == QStringLiteral("..")) {
            if (throughLink || linkPath.isEmpty())
                return false;
            linkPath.removeLast();
            continue;
        }
        linkPath.append(part);
        throughLink = throughLink || isLink(linkPath.join(QLatin1Char('/')));
    }
    return true;
}

QStringList dropLeaving(const QString &bundle)
{
    const QDir root(bundle);
    const auto isLink = [&root](const QString &below) { return QFileInfo(root.filePath(below)).isSymLink(); };
    // Judged all first, removed after: removing one link mustn't change how another is judged.
    QStringList leaving;
    QDirIterator entries(bundle, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = entries.next();
        if (!QFileInfo(path).isSymLink())
            continue;
        const QByteArray encoded = QFile::encodeName(path);
        QByteArray target(4096, '\0');
        const ssize_t length = ::readlink(encoded.constData(), target.data(), size_t(target.size()));
        const QString below = root.relativeFilePath(path);
        if (length <= 0 || length >= target.size()
            || !staysInside(below.split(QLatin1Char('/')), QFile::decodeName(target.left(length)), isLink))
            leaving.append(below);
    }
    for (const QString &below : leaving)
        FileOps::removeItem(root.filePath(below));
    return leaving;
}

} // namespace BundleLinks
