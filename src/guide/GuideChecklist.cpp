#include "guide/GuideChecklist.h"

#include "base/Paths.h"
#include "platform/FileOps.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <fts.h>

namespace GuideChecklist {

namespace {

QString biosFolder()
{
    return QDir(Paths::supportFolder()).filePath(QStringLiteral("BIOS"));
}

} // namespace

FoundFiles scanFileNames()
{
    // OpenEmu looks for each file by its name in its BIOS folder and nowhere else, whatever the
    // name's case (the Mac's default volume ignores it). The folder itself may be a link the user
    // made (the data moved to another disk): it is followed; a link to a file in it counts too,
    // as OpenEmu would open it.
    FoundFiles found;
    const QFileInfoList files
        = QDir(biosFolder()).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &file : files.mid(0, maxEntries)) {
        if (file.fileName().startsWith(QLatin1Char('.')))
            continue;
        const QString key = file.fileName().toLower();
        if (!found.contains(key))
            found.insert(key, file.filePath());
    }
    return found;
}

FoundFiles misplacedFiles(const QStringList &names)
{
    QSet<QString> wanted;
    for (const QString &name : names)
        wanted.insert(name.toLower());
    FoundFiles found;
    int looked = 0;
    const QByteArray root = QFile::encodeName(Paths::supportFolder());
    char *paths[] = {const_cast<char *>(root.constData()), nullptr};
    // FTS_NOSTAT: the walk needs only "folder or not", which the directory listing tells.
    // FTS_COMFOLLOW: OpenEmu's folder may itself be a link the user made; nothing below it is
    // followed.
    FTS *tree = fts_open(paths, FTS_PHYSICAL | FTS_COMFOLLOW | FTS_NOCHDIR | FTS_NOSTAT, nullptr);
    if (!tree)
        return found;
    while (FTSENT *entry = fts_read(tree)) {
        if (entry->fts_level == 0 || entry->fts_info == FTS_DP)
            continue;
        const QString name = QFile::decodeName(QByteArray(entry->fts_name, qsizetype(entry->fts_namelen)));
        const QString path = QFile::decodeName(QByteArray(entry->fts_path, qsizetype(entry->fts_pathlen)));
        const bool isFolder = entry->fts_info == FTS_D || entry->fts_info == FTS_DC || entry->fts_info == FTS_DNR;
        if (++looked > maxEntries)
            break;
        // The BIOS folder is where they belong; the library and the save states hold none.
        const bool skipped
            = name.startsWith(QLatin1Char('.')) || (entry->fts_level == 1 && (Paths::dataTopFolders().contains(name)));
        if (isFolder) {
            if (skipped)
                fts_set(tree, entry, FTS_SKIP);
            continue;
        }
        if (!skipped && wanted.contains(name.toLower()) && !found.contains(name.toLower()))
            found.insert(name.toLower(), path);
    }
    fts_close(tree);
    return found;
}

bool isSatisfied(const BIOSEntry &entry, const FoundFiles &found)
{
    const auto present = [&](const QString &name) { return found.contains(name.toLower()); };
    QStringList required;
    for (const QString &file : entry.files) {
        if (!entry.optionalFiles.contains(file))
            required.append(file);
    }
    // A row of optional files only (some games need them) counts once one is there.
    if (required.isEmpty())
        return std::any_of(entry.files.begin(), entry.files.end(), present);
    return std::all_of(required.begin(), required.end(), present);
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
    if (all.isEmpty())
        return Readiness::missing;
    // OpenEmu's rule: every file its cores can't do without must be there. An optional file never
    // holds its system back; a row of optional files only takes the best of those there.
    QList<BiosCheck> required, present;
    for (const BiosCheck &check : all) {
        if (!check.optional)
            required.append(check);
        else if (check.state != BiosCheck::State::missing)
            present.append(check);
    }
    const bool anyOf = entry.anyOf || required.isEmpty();
    const QList<BiosCheck> &judged = required.isEmpty() ? present : required;
    if (judged.isEmpty())
        return Readiness::missing;
    int overall = anyOf ? 0 : 3;
    for (const BiosCheck &check : judged)
        overall = anyOf ? std::max(overall, rank(check.state)) : std::min(overall, rank(check.state));
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

QString folder(const BIOSEntry &, const FoundFiles &)
{
    return biosFolder(); // the one place OpenEmu looks
}

QList<GuideStep> steps(bool installed, const std::optional<QString> &gamesFolder, const FoundFiles &found,
                       qsizetype controllers, bool gamesStepDone)
{
    const auto &table = ProjectDocs::biosTable();
    const auto satisfied
        = std::count_if(table.begin(), table.end(), [&](const BIOSEntry &entry) { return isSatisfied(entry, found); });
    return {
        {1, QStringLiteral("Install OpenEmu-Silicon"), installed,
         installed ? QStringLiteral("Found on this Mac.") : QStringLiteral("Use the Home page to install it.")},
        {2, QStringLiteral("Choose your games folder"), gamesFolder.has_value() || gamesStepDone,
         gamesFolder.value_or(gamesStepDone
                                  ? QStringLiteral("Marked as done.")
                                  : QStringLiteral("OpenEmu plays the games in its library: drag this folder onto its "
                                                   "window (or choose File > Add to Library…) to import them. Vantor "
                                                   "only remembers where the folder is."))},
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
        if (!named.contains(it.key().toLower()))
            continue;
        // Read only when it is a regular file (a link to one counts), never waiting on a FIFO or a
        // device; BIOS files are kilobytes to a few megabytes, anything far larger is not one.
        const auto bytes = FileOps::readRegularFile(it.value(), 64 * 1024 * 1024, FileOps::Links::follow);
        if (!bytes)
            continue;
        hashes.insert(it.key().toLower(),
                      QString::fromLatin1(QCryptographicHash::hash(*bytes, QCryptographicHash::Md5).toHex()));
    }
    return hashes;
}

QList<BiosCheck> checks(const BIOSEntry &entry, const FoundFiles &found, const FileHashes &hashes,
                        const QList<KnownDump> &known, const FoundFiles &misplaced)
{
    QList<BiosCheck> list;
    for (const QString &file : entry.files) {
        BiosCheck check;
        check.file = file;
        const QString key = file.toLower();
        const auto named = [&](const KnownDump &d) { return d.file.compare(file, Qt::CaseInsensitive) == 0; };
        // Optional when the table says so, or when every installed core that names it does.
        const auto listing
            = std::count_if(known.begin(), known.end(), [&](const KnownDump &d) { return named(d) && d.fromCore; });
        const auto optional
            = std::count_if(known.begin(), known.end(), [&](const KnownDump &d) { return named(d) && d.optional; });
        check.optional = entry.optionalFiles.contains(file) || (optional > 0 && optional == listing);
        if (const auto where = found.constFind(key); where != found.cend())
            check.path = *where;
        if (!check.path) {
            // Somewhere OpenEmu never looks: said, and still missing.
            if (const auto elsewhere = misplaced.constFind(key); elsewhere != misplaced.cend())
                check.elsewhere = *elsewhere;
            list.append(check);
            continue;
        }
        check.state = BiosCheck::State::unrecognised;
        const QString md5 = hashes.value(key);
        // A dump OpenEmu's own cores accept is verified, even where the table marks it bad; a name
        // may be listed with several accepted dumps.
        for (const KnownDump &dump : known) {
            if (!named(dump) || dump.md5 != md5)
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
    case BiosCheck::State::unrecognised: return QStringLiteral("unrecognized");
    case BiosCheck::State::bad: return QStringLiteral("bad");
    case BiosCheck::State::present: return QStringLiteral("present");
    case BiosCheck::State::missing: return QStringLiteral("missing");
    }
    return {};
}

} // namespace GuideChecklist
