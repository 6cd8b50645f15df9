// The model's install, update and rollback actions.

#include "app/AppModel.h"
#include "app/DeletionGuard.h"
#include "base/Background.h"
#include "base/ByteCount.h"
#include "base/Paths.h"
#include "base/Prompter.h"
#include "base/TestHooks.h"
#include "datacare/BackupManager.h"
#include "datacare/DataPlaces.h"
#include "install/Downloader.h"
#include "install/Installer.h"
#include "install/VersionChecker.h"
#include "install/WorkFolder.h"
#include "platform/FileOps.h"
#include "platform/FileUtil.h"
#include "platform/SystemTools.h"
#include "release/GitHubReleases.h"

#include <QDir>
#include <QLoggingCategory>
#include <QScopeGuard>

#include <utility>

#include <qcoro/qcorofuture.h>

Q_LOGGING_CATEGORY(lcInstall, "vantor.install", QtWarningMsg)

// What an install run needs, fixed at the moment of the request.
struct AppModel::InstallRequest
{
    bool isUpdate = false;
    Release release;
    ReleaseAsset asset;
    QUrl url;
    std::optional<QString> replacing;
    std::optional<QString> oldVersion;
    QString destDir;
};

namespace {

// A release file's name is used as a file name in the work folder only when it is a plain name.
bool isPlainFileName(const QString &name)
{
    return !name.isEmpty() && name != QStringLiteral(".") && name != QStringLiteral("..")
           && !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

} // namespace

QCoro::Task<Outcome> AppModel::install(bool isUpdate)
{
    return ChangeRunner::untilGone(installFlow(isUpdate));
}

QCoro::Task<Outcome> AppModel::installFlow(bool isUpdate)
{
    std::optional<Change> change = beginChange(Work::install);
    if (!change)
        co_return Outcome::failed;

    if (!VersionChecker::meetsMacOSRequirement() || !VersionChecker::isAppleSilicon()) {
        setError(FriendlyError(QStringLiteral("This Mac can't run OpenEmu-Silicon (it needs Apple silicon and macOS %1 "
                                              "or newer).")
                                   .arg(VersionChecker::minimumMacOSMajor),
                               QStringLiteral("macOS ") + VersionChecker::macVersionString()));
        co_return Outcome::failed;
    }

    const std::optional<Release> &latest = m_release.latest;
    const auto asset = latest ? GitHubReleases::pickAsset(*latest) : std::nullopt;
    if (!asset || !asset->browserDownloadUrl) {
        QStringList names;
        if (latest) {
            for (const ReleaseAsset &a : latest->assets)
                names.append(a.name);
        }
        setError(FriendlyError(QStringLiteral("The latest release has no downloadable app file (.dmg or .zip)."),
                               QStringLiteral("Assets: ")
                                   + (latest ? names.join(QStringLiteral(", ")) : QStringLiteral("none"))));
        co_return Outcome::failed;
    }

    // Checked at the request, before OpenEmu is asked to quit for nothing.
    if (asset->size < 1) {
        setError(FriendlyError(QStringLiteral("The release lists an impossible size for its file."),
                               QStringLiteral("%1: %2 bytes").arg(asset->name).arg(asset->size)));
        co_return Outcome::failed;
    }
    if (!isPlainFileName(asset->name)) {
        setError(FriendlyError(
            QStringLiteral("The release file has a name Vantor can't use safely, so it was not downloaded."),
            QStringLiteral("File name: \"%1\"").arg(asset->name)));
        co_return Outcome::failed;
    }

    setError(std::nullopt);
    setNotice(std::nullopt);

    InstallRequest request;
    request.isUpdate = isUpdate;
    request.release = *latest;
    request.asset = *asset;
    request.url = *asset->browserDownloadUrl;
    if (isUpdate && m_installed)
        request.replacing = m_installed->url;
    if (m_installed)
        request.oldVersion = m_installed->version;
    request.destDir = request.replacing                ? QFileInfo(*request.replacing).path()
                      : m_install.toSystemApplications ? Paths::systemApplications()
                                                       : Paths::userApplications();

    m_install.running = true;
    m_install.updating = isUpdate;
    m_install.cancelled = false;
    co_return co_await runInstall(std::move(request), std::move(*change));
}

void AppModel::cancelInstall()
{
    if (!m_install.running)
        return;
    m_install.cancelled = true;
    if (m_install.downloader)
        m_install.downloader->cancel();
}

QCoro::Task<Outcome> AppModel::runInstall(InstallRequest request, Change change)
{
    QString workDir;
    QString downloadCache; // kept on a cancel or a dropped connection; not once the file is whole
    // The work folder goes on every path; the model's fields only while there is a model. The
    // change itself ends after this, when `change` goes.
    auto cleanUp = qScopeGuard([this, &change, &workDir, &downloadCache] {
        if (!workDir.isEmpty())
            FileOps::removeItem(workDir);
        // A whole file that failed later (verification, unpacking) is not worth resuming.
        if (!downloadCache.isEmpty()
            && QDir(downloadCache).entryList({QStringLiteral("*.partial")}, QDir::Files).isEmpty())
            FileOps::removeItem(downloadCache);
        if (change.ownerGone())
            return;
        setBusyMessage(std::nullopt);
        setPhase(InstallPhase::idle);
        m_install.running = false;
        if (Downloader *downloader = std::exchange(m_install.downloader, nullptr))
            downloader->deleteLater();
    });

    const Outcome locked = co_await takeLock(change);
    if (locked != Outcome::done)
        co_return locked;
    if (request.isUpdate) {
        const Outcome closed = co_await ensureClosed(change);
        if (closed != Outcome::done)
            co_return closed;
    }

    const QString context
        = request.isUpdate ? QStringLiteral("Updating OpenEmu-Silicon") : QStringLiteral("Installing OpenEmu-Silicon");
    auto stopIfCancelled = [this] {
        if (m_install.cancelled)
            throw Cancelled{};
    };
    try {
        workDir = WorkFolder::create();
        // Into Vantor's caches, where a cancelled or dropped download waits to be resumed.
        const QString cache
            = Installer::downloadFolder(request.url.toString(), request.asset.size, request.asset.digest);
        downloadCache = cache;
        // Every volume written must have room before a byte is fetched: the download in the
        // caches, the unpacked app in the work folder, the staged copy beside the app.
        const qint64 size = request.asset.size;
        Installer::checkFreeSpace({{cache, size}, {workDir, size}, {request.destDir, size}});

        // The published checksum (GitHub's digest, else a checksum file) is looked up first, so
        // that the download knows whether its bytes will be compared.
        auto lookingUp = GitHubReleases::expectedChecksum(*m_network, request.release, request.asset);
        const std::optional<QString> checksum = co_await change.wait(lookingUp);
        stopIfCancelled();

        // The total first: the first progress anyone draws already has it.
        setProgress(0, request.asset.size, 0);
        setPhase(InstallPhase::downloading);
        Downloader *downloader = new Downloader(*m_network, this);
        m_install.downloader = downloader;
        downloader->setExpectedSize(request.asset.size);
        // After a resume the line says where it picked up, until bytes flow again: then it is
        // back to the share and the time left.
        auto resumedAt = std::make_shared<qint64>(-1);
        downloader->onProgress = [this, resumedAt](qint64 written, qint64 expected, double speed) {
            setProgress(written, expected >= 1 ? expected : m_install.totalBytes, speed);
            if (*resumedAt >= 0 && written > *resumedAt) {
                *resumedAt = -1;
                setBusyMessage(std::nullopt);
            }
        };
        stopIfCancelled();
        // Blocking work below runs on background threads. A cancel (Ctrl-C, SIGTERM) that came while a step ran
        // ends the run before the next.
        downloader->setKeepPartial(true);
        downloader->onResume = [this, resumedAt](qint64 offset) {
            *resumedAt = offset;
            setBusyMessage(QStringLiteral("Resuming at %1 of %2…")
                               .arg(ByteCount::fileStyle(offset), ByteCount::fileStyle(m_install.totalBytes)));
        };
        const QString target = QDir(cache).filePath(request.asset.name);
        // Hashed as it arrives only when a checksum will be compared.
        downloader->setHashing(checksum.has_value());
        auto downloading = downloader->download(request.url, target);
        const QString file = co_await change.wait(downloading);
        setBusyMessage(std::nullopt);
        const std::optional<QString> streamed = checksum ? std::optional<QString>(downloader->sha256()) : std::nullopt;

        setPhase(InstallPhase::verifying);
        stopIfCancelled();
        auto verifying = Background::run([file, size, checksum, workDir, streamed] {
            const QString summary = Installer::verify(file, size, checksum, streamed);
            // What unpacking will write must fit beside what is already there.
            const qint64 unpacked = Installer::unpackedSize(file);
            if (const auto free = FileUtil::freeSpace(workDir); free && *free < unpacked)
                throw FriendlyError(QStringLiteral("Not enough free disk space. About %1 is needed while installing.")
                                        .arg(ByteCount::fileStyle(unpacked)),
                                    QStringLiteral("Free: ") + ByteCount::fileStyle(*free));
            return summary;
        });
        auto verified = co_await change.wait(verifying);
        const QString summary = verified.take();
        stopIfCancelled();

        setPhase(InstallPhase::unpacking);
        // A broken app (no Info.plist, another identifier, no program) never replaces a working one.
        auto unpacking = Background::run([file, workDir] {
            const QString app = Installer::extractApp(file, workDir);
            const QString version = Installer::checkApp(app);
            Installer::tightenPermissions(app); // writable by its user only
            return std::pair{app, version};
        });
        auto unpacked = co_await change.wait(unpacking);
        const std::pair<QString, QString> checkedApp = unpacked.take();
        const QString app = checkedApp.first;
        const QString appVersion = checkedApp.second;
        stopIfCancelled();

        // Save states that load today but were made with a core this app replaces may not load
        // afterwards: the user decides before anything is placed. Application Support's cores
        // stay in effect either way.
        m_install.coreChanges.clear();
        using Changes = QPair<QList<SaveStateJudge::CoreChange>, qsizetype>; // and the states not read
        auto judging = Background::run([app, before = request.replacing] {
            const QList<Core> after = Cores::installed(app);
            if (std::none_of(after.begin(), after.end(),
                             [](const Core &c) { return c.place == QStringLiteral("app"); }))
                return Changes(); // a bundle without cores changes nothing
            qsizetype leftOut = 0;
            const QList<SaveState> states = SaveStates::scan(DataPlaces::find().saveStates, &leftOut);
            return Changes(SaveStateJudge::changedByUpdate(states, Cores::installed(before), after), leftOut);
        });
        auto judged = co_await change.wait(judging);
        const Changes changes = judged.take();
        const QList<SaveStateJudge::CoreChange> &coreChanges = changes.first;
        if (!coreChanges.isEmpty()) {
            const QString notRead = SaveStateJudge::leftOutNote(changes.second);
            const Prompter::Alert question{Prompter::AlertId::coreChange,
                                           SaveStateJudge::describe(coreChanges),
                                           (SaveStateJudge::stateCount(coreChanges) == 1
                                                ? QStringLiteral("It may not load afterwards. Update anyway?")
                                                : QStringLiteral("They may not load afterwards. Update anyway?"))
                                               + (notRead.isEmpty() ? QString() : QStringLiteral("\n\n") + notRead),
                                           {QStringLiteral("Update"), QStringLiteral("Cancel")},
                                           Prompter::Style::warning,
                                           1};
            auto asking = m_prompter.ask(question);
            if (co_await change.wait(asking) != 0)
                co_return Outcome::declined; // asked and answered: nothing to report
            m_install.coreChanges = coreChanges;
        }
        stopIfCancelled();

        // The project advises backing up save states before a new build first runs: an update
        // does it by itself, before anything is placed. A failure stops the update here.
        bool backedUp = false;
        bool leftOut = false; // save states on a drive that isn't connected
        const bool backUp = request.isUpdate && m_install.autoBackupBeforeUpdate && !m_install.skipNextAutoBackup;
        m_install.skipNextAutoBackup = false;
        if (backUp) {
            setBusyMessage(QStringLiteral("Backing up save states…"));
            auto backingUp = Background::run([] { return BackupManager::createAutomatic(); });
            auto backup = co_await change.wait(backingUp);
            setBusyMessage(std::nullopt);
            try {
                const BackupManager::Automatic made = backup.take();
                backedUp = made.zip.has_value();
                leftOut = !made.unreachable.isEmpty();
            } catch (...) {
                // Said as what it is: the backup, not the install, and the way on without it.
                const FriendlyError why
                    = FriendlyError::from(std::current_exception(), QStringLiteral("Backing up save states"));
                throw FriendlyError(autoBackupFailed()
                                        + QStringLiteral(" To update without it, turn off \"Back up save states and "
                                                         "battery saves first\"."),
                                    why.message + QLatin1Char('\n') + why.details);
            }
        }

        // The app must be signed by the project's makers, the same team as the copy it replaces,
        // before it replaces anything.
        // (The demo's sample app is not signed; the demo says so instead.)
        const bool demo = DemoFlag::isSet();
        auto checking = Background::run([app, replacing = request.replacing, demo] {
            return demo ? SystemTools::Signature::uncheckable : SystemTools::checkSignature(app, replacing);
        });
        auto checked = co_await change.wait(checking);
        const SystemTools::Signature signature = checked.take();

        // OpenEmu may have been opened since the start (from the Finder, say): it must not run
        // while its app is replaced. It is asked to quit again, or the update stops here.
        if (request.replacing) {
            const Outcome closed = co_await ensureClosed(change);
            if (closed != Outcome::done)
                co_return closed;
        }

        // From here on the change is made whole: a cancel no longer applies.
        setPhase(InstallPhase::installing);
        auto placing = Background::run(
            [app, request] { return Installer::place(app, request.destDir, request.replacing, request.oldVersion); });
        // Placed (or put back) on disk: with nobody left to tell, it is done all the same.
        auto placement = co_await change.wait(placing, Outcome::done);
        const QString placed = placement.take();

        FileOps::removeItem(cache); // installed: the download is no longer needed
        downloadCache.clear();

        // States the new cores put on OpenEmu's delete-at-launch list are backed up now (the
        // backup before the update holds them already when there was one). Installed either way.
        auto guarding = Background::run([placed, backedUp] { return DeletionGuard::protect(placed, backedUp); });
        auto guardedStates = co_await change.wait(guarding, Outcome::done);
        QString deletionNote;
        try {
            const DeletionGuard::Result guarded = guardedStates.take();
            if (guarded.fresh)
                deletionNote = DeletionGuard::notice(guarded.states);
        } catch (...) {
            deletionNote = QStringLiteral("The save states OpenEmu will offer to delete when it opens couldn't be "
                                          "backed up: when it asks, choose \u201CKeep for Now\u201D.");
        }
        const QString signatureSentence
            = demo ? QStringLiteral("Demo: the signature was not checked.")
              : signature == SystemTools::Signature::valid
                  ? QStringLiteral("The app is signed and notarized by the project, so Vantor did not change any "
                                   "Gatekeeper settings.")
                  : QStringLiteral("Its signature can't be checked on this system.");
        // An app whose own version isn't the release's would be offered the same update again.
        const QString tag = request.release.tagName;
        const QString versionNote
            = VersionChecker::compare(appVersion, tag) == VersionChecker::Ordering::same
                  ? QString()
                  : QStringLiteral("The app calls itself version %1, not %2.").arg(appVersion, tag);

        // The outcome first, then at most what the user must act on; the rest is in the details.
        const bool updated
            = request.replacing && request.oldVersion
              && VersionChecker::compare(*request.oldVersion, appVersion) != VersionChecker::Ordering::same;
        QString headline = updated ? QStringLiteral("OpenEmu-Silicon updated to %1.").arg(appVersion)
                                   : QStringLiteral("OpenEmu-Silicon %1 is installed.").arg(appVersion);
        const int atRisk = SaveStateJudge::stateCount(coreChanges);
        const QString leftOutNote
            = leftOut ? QStringLiteral("The save states on a drive that isn't connected were not backed up.")
                      : QString();
        // OpenEmu's offer to delete states comes first: its default button deletes them.
        QString second = deletionNote;
        if (second.isEmpty() && atRisk > 0)
            second = (atRisk == 1 ? QStringLiteral("1 save state may not load with the new cores")
                                  : QStringLiteral("%1 save states may not load with the new cores").arg(atRisk))
                     + (!backedUp     ? QStringLiteral(".")
                        : atRisk == 1 ? QStringLiteral("; it was backed up first.")
                                      : QStringLiteral("; they were backed up first."));
        else if (second.isEmpty())
            second = leftOutNote;
        if (!second.isEmpty())
            headline += QLatin1Char(' ') + second;
        QStringList details{QStringLiteral("Installed to %1.").arg(placed), summary, signatureSentence};
        if (backedUp)
            details.append(QStringLiteral("Save states and battery saves were backed up first."));
        if (!coreChanges.isEmpty())
            details.append(
                SaveStateJudge::describe(coreChanges)
                + (atRisk == 1 ? QStringLiteral(" It may not load now.") : QStringLiteral(" They may not load now.")));
        for (const QString &more : {leftOutNote, deletionNote, versionNote}) {
            if (!more.isEmpty() && more != second)
                details.append(more);
        }
        setNotice(headline, NoticeAction::openOpenEmu, details.join(QLatin1Char('\n')));
        // The version the user chose not to be offered is the one they have now.
        if (m_release.skippedVersion
            && VersionChecker::compare(*m_release.skippedVersion, appVersion) == VersionChecker::Ordering::same)
            offerSkippedVersionAgain();
        refreshInstalled();
        refreshTidy();
        refreshCores();
        co_return Outcome::done;
    } catch (const Cancelled &) {
        setNotice(QStringLiteral("Cancelled. Nothing was changed."));
        co_return Outcome::cancelled;
    } catch (const ChangeRunner::Gone &) {
        throw; // the model has gone: nothing to report
    } catch (...) {
        qCDebug(lcInstall) << "install failed";
        co_return fail(std::current_exception(), context);
    }
}

bool AppModel::canRollBack() const
{
    if (!m_hasPrevious)
        return false;
    if (!m_installed)
        return VersionChecker::findBundle().has_value();
    return m_keptVersion.isEmpty()
           || VersionChecker::compare(m_keptVersion, m_installed->version) != VersionChecker::Ordering::same;
}

bool AppModel::rollbackGoesForward() const
{
    return m_installed && !m_keptVersion.isEmpty()
           && VersionChecker::compare(m_keptVersion, m_installed->version) == VersionChecker::Ordering::descending;
}

QCoro::Task<Outcome> AppModel::rollback()
{
    return ChangeRunner::untilGone(rollbackFlow());
}

QCoro::Task<Outcome> AppModel::rollbackFlow()
{
    // A broken app (its Info.plist gone, say) isn't found as installed, yet it is what the kept
    // copy should replace.
    const std::optional<QString> outgoing
        = m_installed ? std::optional(m_installed->url) : VersionChecker::findBundle();
    if (!outgoing || !m_hasPrevious) {
        setError(FriendlyError(QStringLiteral("There is no previous version to go back to.")));
        co_return Outcome::failed;
    }
    if (!canRollBack()) {
        setError(FriendlyError(QStringLiteral("The kept copy is the version already installed, so there is nothing "
                                              "to go back to."),
                               QStringLiteral("Installed and kept: OpenEmu-Silicon %1").arg(m_keptVersion)));
        co_return Outcome::failed;
    }
    std::optional<Change> change = beginChange(Work::rollback);
    if (!change)
        co_return Outcome::failed;
    const QString left = m_installed ? m_installed->version : QString();

    // The question names the version it goes to and which way: back to an older one, or, after a
    // rollback, on to the newer one kept.
    const bool forward = rollbackGoesForward();
    const QString message = m_keptVersion.isEmpty() ? QStringLiteral("Go back to the previous version?")
                            : forward               ? QStringLiteral("Switch to OpenEmu-Silicon %1?").arg(m_keptVersion)
                                      : QStringLiteral("Go back to OpenEmu-Silicon %1?").arg(m_keptVersion);
    // Named, not a temporary in the co_await: g++ 12 destroys those twice.
    const Prompter::Alert question{
        Prompter::AlertId::rollback,
        message,
        QStringLiteral("The current version will be kept as the new \"previous version\", so you can switch back. "
                       "Your data isn't touched."),
        {forward ? QStringLiteral("Switch") : QStringLiteral("Go Back"), QStringLiteral("Cancel")},
        Prompter::Style::informational};
    const Outcome confirmed = co_await confirmThenClose(question, *change);
    if (confirmed != Outcome::done)
        co_return confirmed;

    setBusyMessage(QStringLiteral("Rolling back…"));
    auto swapping = Background::run([installed = *outgoing] { Installer::rollback(installed); });
    auto swapped = co_await change->wait(swapping, Outcome::done);
    Outcome outcome = Outcome::done;
    try {
        swapped.take();
        refreshInstalled();
        refreshCores();
        // Back from a newer version to an older one: the newer one is not offered again until a
        // release newer still comes out.
        const std::optional<Release> &latest = m_release.latest;
        if (m_installed && !left.isEmpty()
            && VersionChecker::compare(m_installed->version, left) == VersionChecker::Ordering::ascending) {
            const QString tag
                = latest && VersionChecker::compare(left, latest->tagName) == VersionChecker::Ordering::same
                      ? latest->tagName
                      : left;
            skipVersion(tag);
            setNotice(QStringLiteral("OpenEmu-Silicon rolled back to %1. Vantor won't offer %2 again until a newer "
                                     "release.")
                          .arg(m_installed->version, tag),
                      NoticeAction::openOpenEmu);
        } else if (m_installed) {
            setNotice(QStringLiteral("OpenEmu-Silicon switched to %1.").arg(m_installed->version),
                      NoticeAction::openOpenEmu);
        } else {
            setNotice(QStringLiteral("OpenEmu-Silicon rolled back to the previous version."));
        }
    } catch (...) {
        outcome = fail(std::current_exception(), QStringLiteral("Rolling back"));
    }
    setBusyMessage(std::nullopt);
    co_return outcome;
}
