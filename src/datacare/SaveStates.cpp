#include "datacare/SaveStates.h"

#include "platform/BundleInfo.h"
#include "platform/FileOps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <fts.h>

namespace SaveStates {

namespace {

constexpr qint64 maxInfoBytes = 8 * 1024 * 1024;

SaveState read(const QString &folder, const QString &bundle)
{
    SaveState state;
    state.path = bundle;
    const QStringList where = QDir(folder).relativeFilePath(bundle).split(QLatin1Char('/'));
    state.system = where.size() > 1 ? where.first() : QString();
    state.game = where.size() > 2 ? where.at(where.size() - 2) : QString();
    state.name = QFileInfo(bundle).completeBaseName();
    const QFileInfo data(bundle + QStringLiteral("/State"));
    state.date = data.lastModified();
    state.size = data.isFile() && !data.isSymLink() ? data.size() : 0;
    const auto info = FileOps::readRegularFile(bundle + QStringLiteral("/Info.plist"), maxInfoBytes);
    const auto keys = BundleInfo::stringsOf(info.value_or(QByteArray()));
    const auto text = [&](const char *key) { return keys.value(QLatin1String(key)).value_or(QString()); };
    state.coreIdentifier = text("Core Identifier");
    if (keys.contains(QStringLiteral("Core Version")))
        state.coreVersion = keys.value(QStringLiteral("Core Version"));
    if (!text("Name").isEmpty())
        state.name = text("Name");
    state.formatVersion = text("Version");
    // When OpenEmu says it was saved; the file's date only when it says nothing.
    if (const auto stamp = BundleInfo::dateOf(info.value_or(QByteArray()), "Timestamp"))
        state.date = *stamp;
    state.readable = data.isFile() && !data.isSymLink() && !text("Name").isEmpty() && !text("ROM MD5").isEmpty()
                     && !state.coreIdentifier.isEmpty();
    state.name = displayName(state.name);
    return state;
}

} // namespace

QString displayName(const QString &name)
{
    if (name == QStringLiteral("OESpecialState_auto"))
        return QStringLiteral("Auto Save State");
    if (name == QStringLiteral("OESpecialState_quick"))
        return QStringLiteral("Quick Save State");
    static const QRegularExpression slot(QStringLiteral("^OESpecialState_quick(\\d+)$"));
    if (const auto match = slot.match(name); match.hasMatch())
        return QStringLiteral("Quick Save, Slot %1").arg(match.captured(1));
    return name;
}

QList<SaveState> scan(const QString &folder, qsizetype *leftOut)
{
    if (leftOut)
        *leftOut = 0;
    QList<SaveState> states;
    const QByteArray root = QFile::encodeName(folder);
    char *paths[] = {const_cast<char *>(root.constData()), nullptr};
    // The folder itself may be a link the user made (moved to another drive); nothing below it is
    // followed.
    FTS *tree = fts_open(paths, FTS_PHYSICAL | FTS_COMFOLLOW | FTS_NOCHDIR, nullptr);
    if (!tree)
        return states;
    while (FTSENT *entry = fts_read(tree)) {
        if (entry->fts_info != FTS_D || entry->fts_level == 0)
            continue;
        const QString path = QFile::decodeName(QByteArray(entry->fts_path, qsizetype(entry->fts_pathlen)));
        if (!path.endsWith(QStringLiteral(".oesavestate")))
            continue;
        fts_set(tree, entry, FTS_SKIP); // a bundle: its insides are not more states
        if (states.size() < maxBundles)
            states.append(read(folder, path));
        else if (leftOut)
            ++*leftOut; // only counted, so that what wasn't read can be said
        else
            break;
    }
    fts_close(tree);
    std::sort(states.begin(), states.end(), [](const SaveState &a, const SaveState &b) { return a.path < b.path; });
    return states;
}

} // namespace SaveStates
