#include "guide/GuideChecklist.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include "base/Paths.h"
#include "platform/FileOps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fts.h>

namespace GuideChecklist {

FoundFiles scanFileNames()
{
    FoundFiles found;
    int looked = 0;
    QStringList roots{Paths::supportFolder()};
    // OpenEmu's own data folders (BIOS, say) may be links the user made too: each is walked in
    // turn, from where it points. No other link is followed.
    for (qsizetype at = 0; at < roots.size() && looked <= maxEntries; ++at) {
        const QByteArray root = QFile::encodeName(roots[at]);
        char *paths[] = {const_cast<char *>(root.constData()), nullptr};
        // FTS_NOSTAT: the walk needs only "folder or not", which the directory listing tells.
        // FTS_COMFOLLOW: the folder walked may itself be a link the user made (the data moved to
        // another disk) and is followed; nothing below it is.
        FTS *tree = fts_open(paths, FTS_PHYSICAL | FTS_COMFOLLOW | FTS_NOCHDIR | FTS_NOSTAT, nullptr);
        if (!tree)
            continue;
        while (FTSENT *entry = fts_read(tree)) {
            if (entry->fts_level == 0) // the folder itself
                continue;
            if (entry->fts_info == FTS_DP) // a folder again, on the way out
                continue;
            const QString name = QFile::decodeName(QByteArray(entry->fts_name, qsizetype(entry->fts_namelen)));
            const QString path = QFile::decodeName(QByteArray(entry->fts_path, qsizetype(entry->fts_pathlen)));
            const bool isFolder = entry->fts_info == FTS_D || entry->fts_info == FTS_DC || entry->fts_info == FTS_DNR;
            if (name.startsWith(QLatin1Char('.'))) {
                if (isFolder)
                    fts_set(tree, entry, FTS_SKIP);
                continue;
            }
            if (++looked > maxEntries)
                break;
            const bool top = at == 0 && entry->fts_level == 1;
            if (top && !isFolder && Paths::dataTopFolders().contains(name) && QFileInfo(path).isSymLink()) {
                roots.append(path);
                continue;
            }
            if (isFolder) {
                if (name == QStringLiteral("Game Library") || name == QStringLiteral("Save States"))
                    fts_set(tree, entry, FTS_SKIP);
                continue;
            }
            found.insert(name, path);
        }
        fts_close(tree);
    }
    return found;
}

bool isSatisfied(const BIOSEntry &entry, const FoundFiles &found)
{
    const auto present = [&](const QString &name) { return found.contains(name); };
    return entry.anyOf ? std::any_of(entry.files.begin(), entry.files.end(), present)
                       : std::all_of(entry.files.begin(), entry.files.end(), present);
}

namespace {

// Worst first.
int rank(BiosCheck::State state)
{
    switch (state) {
    case BiosCheck::State::missing: return 0;
    case BiosCheck::State::bad: return 1;
    case BiosCheck::State::unrecognised: return 2;
    case BiosCheck::State::verified:
    case BiosCheck::State::present: return 3;
    }
    return 0;
}

} // namespace

Readiness readiness(const BIOSEntry &entry, const QList<BiosCheck> &all)
{
    // A file the cores can do without never holds its system back.
    QList<BiosCheck> checks;
    for (const BiosCheck &check : all) {
        if (!(check.optional && check.state == BiosCheck::State::missing))
            checks.append(check);
    }
    if (all.isEmpty())
        return Readiness::missing;
    if (checks.isEmpty())
        return Readiness::ready;
    int overall = entry.anyOf ? 0 : 3;
    for (const BiosCheck &check : checks)
        overall = entry.anyOf ? std::max(overall, rank(check.state)) : std::min(overall, rank(check.state));
    return overall == 3 ? Readiness::ready : overall == 0 ? Readiness::missing : Readiness::warning;
}

QString readinessName(Readiness readiness)
{
    switch (readiness) {
    case Readiness::ready: return QStringLiteral("ready");
    case Readiness::warning: return QStringLiteral("warning");
    case Readiness::missing: return QStringLiteral("missing");
    }
    return {};
}

QString folder(const BIOSEntry &entry, const FoundFiles &found)
{
    for (const QString &name : entry.files) {
        if (const auto it = found.constFind(name); it != found.constEnd())
            return QFileInfo(*it).path();
    }
    if (entry.system.contains(QStringLiteral("Dreamcast")) && QFileInfo::exists(Paths::dreamcastBIOSFolder()))
        return Paths::dreamcastBIOSFolder();
    if (QFileInfo::exists(Paths::supportFolder()))
        return Paths::supportFolder();
    return QDir(Paths::library()).filePath(QStringLiteral("Application Support"));
}

QList<GuideStep> steps(bool installed, const std::optional<QString> &gamesFolder, const FoundFiles &found,
                       qsizetype controllers)
{
    const auto &table = ProjectDocs::biosTable();
    const auto satisfied
        = std::count_if(table.begin(), table.end(), [&](const BIOSEntry &entry) { return isSatisfied(entry, found); });
    return {
        {1, QStringLiteral("Install OpenEmu-Silicon"), installed,
         installed ? QStringLiteral("Found on this Mac.") : QStringLiteral("Use the Home page to install it.")},
        {2, QStringLiteral("Choose your games folder"), gamesFolder.has_value(),
         gamesFolder.value_or(QStringLiteral("Pick the folder where your own game files live. Vantor only remembers "
                                             "the path."))},
        {3, QStringLiteral("Add BIOS files (only for some systems)"), satisfied != 0,
         satisfied != 0 ? QStringLiteral("%1 system(s) have their BIOS file(s).").arg(satisfied)
                        : QStringLiteral("Optional. Only needed for the systems in the table below.")},
        {4, QStringLiteral("Connect a controller"), controllers >= 1,
         controllers >= 1 ? QStringLiteral("%1 controller(s) connected.").arg(controllers)
                          : QStringLiteral("Optional. The keyboard works too.")},
    };
}

QList<KnownDump> knownDumps(const QList<RequiredFile> &coreFiles)
{
    QList<KnownDump> known = ProjectDocs::knownDumps();
    for (const RequiredFile &file : coreFiles)
        known.append({file.name, file.md5, false, {}, true, file.optional});
    return known;
}

FileHashes hashFiles(const FoundFiles &found, const QList<KnownDump> &known)
{
    QSet<QString> named;
    for (const BIOSEntry &entry : ProjectDocs::biosTable()) {
        for (const QString &file : entry.files)
            named.insert(file.toLower());
    }
    for (const KnownDump &dump : known)
        named.insert(dump.file.toLower());
    FileHashes hashes;
    for (auto it = found.cbegin(); it != found.cend(); ++it) {
        if (!named.contains(it.key().toLower()) || ProjectDocs::isNeverJudged(it.key()))
            continue;
        // Read only when it is a regular file (a link to one counts), never waiting on a FIFO or a
        // device; BIOS files are kilobytes to a few megabytes, anything far larger is not one.
        const auto bytes = FileOps::readRegularFile(it.value(), 64 * 1024 * 1024, FileOps::Links::follow);
        if (!bytes)
            continue;
        hashes.insert(it.key(), QString::fromLatin1(QCryptographicHash::hash(*bytes, QCryptographicHash::Md5).toHex()));
    }
    return hashes;
}

QList<BiosCheck> checks(const BIOSEntry &entry, const FoundFiles &found, const FileHashes &hashes,
                        const QList<KnownDump> &known)
{
    QList<BiosCheck> list;
    for (const QString &file : entry.files) {
        BiosCheck check;
        check.file = file;
        // Optional when every core that names it says so.
        const auto listing = std::count_if(known.begin(), known.end(),
                                           [&](const KnownDump &d) { return d.file == file && d.fromCore; });
        const auto optional = std::count_if(known.begin(), known.end(),
                                            [&](const KnownDump &d) { return d.file == file && d.optional; });
        check.optional = optional > 0 && optional == listing;
        // Found by name as the satisfied rule finds it (exact name).
        if (const auto where = found.constFind(file); where != found.cend())
            check.path = *where;
        if (!check.path) {
            list.append(check);
            continue;
        }
        if (ProjectDocs::isNeverJudged(file)) {
            check.state = BiosCheck::State::present;
            list.append(check);
            continue;
        }
        check.state = BiosCheck::State::unrecognised;
        const QString md5 = hashes.value(file);
        // A dump OpenEmu's own cores accept is verified, even where the table marks it bad.
        for (const KnownDump &dump : known) {
            if (dump.file != file || dump.md5 != md5)
                continue;
            if (!dump.bad) {
                check.state = BiosCheck::State::verified;
                check.remark.clear();
                break;
            }
            check.state = BiosCheck::State::bad;
            check.remark = dump.remark;
        }
        list.append(check);
    }
    return list;
}

QString stateName(BiosCheck::State state)
{
    switch (state) {
    case BiosCheck::State::verified: return QStringLiteral("verified");
    case BiosCheck::State::unrecognised: return QStringLiteral("unrecognised");
    case BiosCheck::State::bad: return QStringLiteral("bad");
    case BiosCheck::State::present: return QStringLiteral("present");
    case BiosCheck::State::missing: return QStringLiteral("missing");
    }
    return {};
}

} // namespace GuideChecklist
