// Placement and rollback. Each keeps the installed path whole at every moment: the incoming app
// is staged beside it and swapped in with one atomic exchange, and each step is journalled, so
// that a run killed at any point is finished or undone the next time Vantor starts.

#include "base/FriendlyError.h"
#include "base/Paths.h"
#include "base/PlatformError.h"
#include "install/Installer.h"
#include "install/Journal.h"
#include "install/VersionChecker.h"
#include "platform/FileOps.h"
#include "platform/SystemTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QUuid>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcPlacement, "vantor.placement", QtWarningMsg)

namespace Installer {

namespace {

const QString stagingPrefix = QStringLiteral(".Vantor-new-");
const QString oldPrefix = QStringLiteral(".Vantor-old-");
const QString copyPrefix = QStringLiteral(".Vantor-copy-");
const QString asidePrefix = QStringLiteral(".Vantor-aside-");

QString unique()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QFileInfoList listing(const QString &folder)
{
    return QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                      QDir::Name);
}

// "OpenEmu.app" with label "1.0.3" gives "OpenEmu 1.0.3.app".
QString keptName(const QString &bundlePath, const QString &label)
{
    return QFileInfo(bundlePath).completeBaseName() + QLatin1Char(' ') + fileNameSafe(label) + QStringLiteral(".app");
}

bool isWritable(const QString &folder)
{
    return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
}

// Brings the staged app into the target; afterwards the staging path holds the outgoing app.
void swapIn(const Journal &journal)
{
    if (FileOps::exchangeItems(journal.staging, journal.target))
        return;
    // The file system cannot swap in one step: three renames, each covered by the journal.
    FileOps::moveItem(journal.target, journal.fallbackOld);
    FileOps::moveItem(journal.staging, journal.target);
    FileOps::moveItem(journal.fallbackOld, journal.staging);
}

// After the swap: the outgoing app becomes the kept copy, the set-aside copies go.
void settle(const Journal &journal)
{
    for (const QString &outgoing : {journal.staging, journal.fallbackOld}) {
        if (!FileOps::exists(outgoing))
            continue;
        if (FileOps::exists(journal.keptDest))
            FileOps::removeItem(outgoing); // moved already; what is left is a partial source
        else
            FileOps::moveItem(outgoing, journal.keptDest);
    }
    for (const auto &aside : journal.setAside)
        FileOps::removeItem(aside.second);
}

// Before the swap: everything goes back where it was.
void undo(const Journal &journal)
{
    if (journal.kind == Journal::Kind::update) {
        FileOps::removeItem(journal.staging);
    } else if (FileOps::exists(journal.staging)) {
        // The kept copy came across: its source may be left half removed.
        FileOps::removeItem(journal.source);
        FileOps::moveItem(journal.staging, journal.source);
    }
    for (const auto &[original, aside] : journal.setAside) {
        if (FileOps::exists(aside) && !FileOps::exists(original))
            FileOps::moveItem(aside, original);
    }
}

// Finishes the journalled run when the incoming app reached the target, else undoes it.
// Gives whether it finished.
bool resolve(const Journal &journal)
{
    if (journal.stagedInode < 0) {
        undo(journal);
        return false;
    }
    if (!FileOps::exists(journal.target)) {
        // Killed between the fallback's renames.
        if (FileOps::inode(journal.staging) == journal.stagedInode)
            FileOps::moveItem(journal.staging, journal.target);
        else if (FileOps::exists(journal.fallbackOld))
            FileOps::moveItem(journal.fallbackOld, journal.target);
    }
    if (FileOps::inode(journal.target) == journal.stagedInode) {
        settle(journal);
        return true;
    }
    undo(journal);
    return false;
}

// A run that failed in this process goes back to where it began, even after its swap: the
// user is told it failed, so the app they had must be the one they have.
void rewind(const Journal &journal)
{
    if (journal.stagedInode >= 0 && FileOps::inode(journal.target) == journal.stagedInode) {
        if (!FileOps::exists(journal.staging) && FileOps::exists(journal.fallbackOld))
            FileOps::moveItem(journal.fallbackOld, journal.staging);
        swapIn(journal);
    }
    undo(journal);
}

// Runs the journalled steps; on a failure puts things back (or, when even that fails, leaves
// the journal for the next start to finish or undo) and rethrows.
template <typename Steps>
void journalled(Journal &journal, Steps steps)
{
    JournalFile::write(journal);
    try {
        steps();
        settle(journal);
        JournalFile::remove();
    } catch (...) {
        try {
            rewind(journal);
            JournalFile::remove();
        } catch (...) {
        }
        FriendlyError::rethrowForAppChange(std::current_exception());
    }
}

// A journal read back is obeyed only for paths Vantor itself writes: an app in one of the two
// Applications folders, its own names beside it, and the kept-copies folder.
bool isTrustworthy(const Journal &journal)
{
    const QString folder = QFileInfo(journal.target).path();
    const QString previous = Paths::previousVersionsFolder();
    auto inFolder = [](const QString &path, const QString &dir, const QString &prefix) {
        const QFileInfo info(path);
        return QDir::cleanPath(path) == path && info.path() == dir
               && (prefix.isEmpty() || info.fileName().startsWith(prefix));
    };
    bool ok = (folder == Paths::userApplications() || folder == Paths::systemApplications())
              && QDir::cleanPath(journal.target) == journal.target
              && QFileInfo(journal.target).suffix() == QStringLiteral("app")
              && inFolder(journal.staging, folder, stagingPrefix) && inFolder(journal.fallbackOld, folder, oldPrefix)
              && inFolder(journal.keptDest, previous, QString());
    if (journal.kind == Journal::Kind::rollback)
        ok = ok && inFolder(journal.source, previous, QString());
    for (const auto &[original, aside] : journal.setAside)
        ok = ok && inFolder(original, previous, QString()) && inFolder(aside, previous, asidePrefix);
    return ok;
}

// Staging, fallback and copy leftovers of runs no journal explains (killed before their
// journal was written, or after it was removed).
void removeLeftovers(const QStringList &folders)
{
    for (const QString &folder : folders) {
        for (const QFileInfo &entry : listing(folder)) {
            const QString name = entry.fileName();
            if ((name.startsWith(stagingPrefix) && name.endsWith(QStringLiteral(".app"))) || name.startsWith(oldPrefix)
                || name.startsWith(copyPrefix))
                FileOps::removeItem(entry.filePath());
        }
    }
}

} // namespace

QString fileNameSafe(const QString &version)
{
    QString safe;
    for (const QChar c : version)
        safe += c.isLetterOrNumber() || QStringLiteral("._-+ ()").contains(c) ? c : QLatin1Char('-');
    while (safe.startsWith(QLatin1Char('.')))
        safe.remove(0, 1);
    return safe.isEmpty() ? QStringLiteral("previous") : safe;
}

std::optional<QString> previousApp()
{
    for (const QFileInfo &entry : listing(Paths::previousVersionsFolder())) {
        if (entry.suffix() == QStringLiteral("app"))
            return entry.filePath();
    }
    return std::nullopt;
}

namespace {

// The unpacked app is a work copy: on the same volume it is renamed into the staging place,
// which saves copying the whole bundle a second time; across volumes it is copied.
void stage(const QString &newApp, const QString &staging)
{
    if (::rename(QFile::encodeName(newApp).constData(), QFile::encodeName(staging).constData()) != 0)
        SystemTools::copyBundle(newApp, staging);
}

bool isWorkingApp(const QString &app)
{
    try {
        checkApp(app);
        return true;
    } catch (const FriendlyError &) {
        return false;
    }
}

} // namespace

QString place(const QString &newApp, const QString &destDir, const std::optional<QString> &replacing,
              const std::optional<QString> &oldVersion)
{
    FileOps::makePath(destDir);
    if (!isWritable(destDir))
        throw FriendlyError(
            QStringLiteral("Vantor can't write to %1. Choose your own Applications folder instead.").arg(destDir),
            QStringLiteral("Not writable: ") + destDir);

    const QString target = replacing.value_or(QDir(destDir).filePath(QFileInfo(newApp).fileName()));
    const QString folder = QFileInfo(target).path();
    const QString staging = QDir(folder).filePath(stagingPrefix + unique() + QStringLiteral(".app"));

    // A broken app there would push out a kept copy that works: it goes to the Trash instead.
    if (const auto kept = previousApp();
        kept && FileOps::exists(target) && !isWorkingApp(target) && isWorkingApp(*kept))
        FileOps::moveToTrash(target);
    if (!FileOps::exists(target)) {
        // Nothing to replace: the staged copy is renamed into place, one atomic step.
        try {
            stage(newApp, staging);
            FileOps::moveItem(staging, target);
        } catch (...) {
            FileOps::removeItem(staging);
            throw;
        }
        return target;
    }

    const QString previous = Paths::previousVersionsFolder();
    FileOps::makePath(previous);
    // A reinstall of the version already there keeps nothing of the copy it replaces: the kept
    // copy stays the one to go back to.
    const std::optional<QString> incoming = VersionChecker::version(newApp);
    const bool sameVersion
        = oldVersion && incoming && VersionChecker::compare(*oldVersion, *incoming) == VersionChecker::Ordering::same;
    Journal journal;
    journal.kind = Journal::Kind::update;
    journal.target = target;
    journal.staging = staging;
    // The outgoing copy of a reinstall goes under a name without ".app", so nothing takes it for
    // the kept copy, and is removed once the new one is in place.
    journal.keptDest = QDir(previous).filePath(
        sameVersion ? asidePrefix + unique() : keptName(target, oldVersion.value_or(QStringLiteral("previous"))));
    journal.fallbackOld = QDir(folder).filePath(oldPrefix + unique());
    journal.pid = ::getpid();
    // The earlier kept copy waits under a name without ".app" (so nothing takes it for the kept
    // copy) until the new one is in place.
    if (!sameVersion) {
        for (const QFileInfo &entry : listing(previous))
            journal.setAside.append({entry.filePath(), QDir(previous).filePath(asidePrefix + unique())});
    }

    journalled(journal, [&] {
        FileOps::checkpoint(QStringLiteral("copy to ") + staging);
        stage(newApp, staging);
        for (const auto &[original, aside] : journal.setAside)
            FileOps::moveItem(original, aside);
        journal.stagedInode = FileOps::inode(staging);
        JournalFile::write(journal);
        swapIn(journal);
    });
    if (sameVersion)
        FileOps::removeItem(journal.keptDest);
    return target;
}

void rollback(const QString &installed)
{
    const QString previous = Paths::previousVersionsFolder();
    const auto kept = previousApp();
    if (!kept)
        throw FriendlyError(QStringLiteral("There is no previous version to go back to."), previous);
    if (!FileOps::exists(installed))
        throw PlatformErrors::fileWrite(installed, ENOENT);

    const QString folder = QFileInfo(installed).path();
    Journal journal;
    journal.kind = Journal::Kind::rollback;
    journal.target = installed;
    journal.staging = QDir(folder).filePath(stagingPrefix + unique() + QStringLiteral(".app"));
    journal.source = *kept;
    journal.keptDest = QDir(previous).filePath(
        keptName(installed, VersionChecker::version(installed).value_or(QStringLiteral("newer"))));
    journal.fallbackOld = QDir(folder).filePath(oldPrefix + unique());
    journal.pid = ::getpid();

    journalled(journal, [&] {
        FileOps::moveItem(*kept, journal.staging);
        journal.stagedInode = FileOps::inode(journal.staging);
        JournalFile::write(journal);
        swapIn(journal);
    });
}

Recovery recoverInterrupted()
{
    Recovery recovery = Recovery::none;
    const auto journal = JournalFile::read();
    if (journal && journal->pid == ::getpid())
        return recovery; // this process's own run, still going
    const bool trusted = journal && isTrustworthy(*journal);
    if (journal && !trusted)
        qCInfo(lcPlacement) << "discarded an interruption journal that names paths Vantor doesn't write:"
                            << journal->target;
    if (journal) {
        if (trusted) {
            const bool finished = resolve(*journal);
            const bool update = journal->kind == Journal::Kind::update;
            recovery = update ? (finished ? Recovery::finishedUpdate : Recovery::undidUpdate)
                              : (finished ? Recovery::finishedRollback : Recovery::undidRollback);
        }
        JournalFile::remove();
    }
    QStringList folders{Paths::userApplications(), Paths::systemApplications(), Paths::previousVersionsFolder()};
    if (trusted)
        folders.append(QFileInfo(journal->target).path());
    removeLeftovers(folders);
    return recovery;
}

} // namespace Installer
