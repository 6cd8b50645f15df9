#pragma once

#include "app/ChangeRunner.h"
#include "app/FlowState.h"
#include "app/HostStatus.h"
#include "app/InstallPhase.h"
#include "app/Outcome.h"
#include "app/SaveStateJudge.h"
#include "base/FriendlyError.h"
#include "base/Prompter.h"
#include "datacare/Cores.h"
#include "install/InstalledApp.h"

#include <QObject>
#include <QString>

#include <qcoro/qcorotask.h>

#include <exception>
#include <optional>

class Downloader;
class QNetworkAccessManager;
class Workspace;

// The one state object of Vantor. The window and the command line are two views of it: they
// read its fields, call its actions and redraw on its change signals. Every field lives on
// the main thread; actions hand blocking work to background tasks and store the results here.
class AppModel : public QObject
{
    Q_OBJECT

public:
    using BiosMap = GuideState::BiosMap; // file name -> where it was found

    // feedUrl: where the latest release is described (see GitHubReleases::configuredFeedUrl).
    // The prompter asks the user's questions; the workspace shows files and folders.
    AppModel(QString feedUrl, Prompter &prompter, Workspace &workspace, QObject *parent = nullptr);
    ~AppModel() override;

    // This Mac against OpenEmu-Silicon's requirements, read afresh at each call (cheap).
    HostStatus host() const;
    const std::optional<Release> &latest() const { return m_release.latest; }
    const std::optional<InstalledApp> &installed() const { return m_installed; }
    bool loadingRelease() const { return m_release.loading; }
    InstallPhase phase() const { return m_install.phase; }
    qint64 downloaded() const { return m_install.downloaded; }
    qint64 totalBytes() const { return m_install.totalBytes; }
    double speed() const { return m_install.speed; }
    const std::optional<QString> &notice() const { return m_notice; }
    const std::optional<FriendlyError> &error() const { return m_error; }
    bool installToSystemApplications() const { return m_install.toSystemApplications; }
    bool hasPrevious() const { return m_hasPrevious; }
    // The kept copy's own version; empty when there is none or it can't be read.
    const QString &keptVersion() const { return m_keptVersion; }
    // A kept copy, and an app to swap it with (the installed one, or a broken OpenEmu bundle)
    // that isn't the same version.
    bool canRollBack() const;
    // Whether the kept copy is newer than the installed app (after a rollback): a rollback then
    // goes forward, and says so.
    bool rollbackGoesForward() const;
    // Whether an update backs up the save states before it places anything (a setting).
    bool autoBackupBeforeUpdate() const { return m_install.autoBackupBeforeUpdate; }
    void setAutoBackupBeforeUpdate(bool on);
    // The first sentence of the error when that backup fails (the window's way on follows it;
    // the command line says its own).
    static QString autoBackupFailed()
    {
        return QStringLiteral("The backup of your save states before the update didn't work, so nothing was updated.");
    }
    // Skips that backup for the next update only (vantor-cli update --no-backup).
    void skipNextAutoBackup() { m_install.skipNextAutoBackup = true; }
    const std::optional<QString> &gamesFolder() const { return m_guide.gamesFolder; }
    const BiosMap &biosFound() const { return m_guide.found; }
    // BIOS files found where OpenEmu never looks for them.
    const BiosMap &biosMisplaced() const { return m_guide.misplaced; }
    // The MD5 of each BIOS file found (file name -> hex), from the same scan.
    const BiosMap &biosHashes() const { return m_guide.hashes; }
    // The dumps those files are judged against: the project's table and the installed cores' lists.
    const QList<KnownDump> &knownDumps() const { return m_guide.known; }
    // A release the user chose not to be offered ("Skip This Version"), by its tag.
    const std::optional<QString> &skippedVersion() const { return m_release.skippedVersion; }
    // Said on the release card when the newest release has no app file and an older one is
    // offered instead.
    const std::optional<QString> &fallbackNote() const { return m_release.fallbackNote; }
    void skipVersion(const QString &tag);
    void offerSkippedVersionAgain();
    // Whether the latest release is the skipped one (compared as versions: "v1.0.4" is "1.0.4").
    bool latestIsSkipped() const;
    const QList<BackupItem> &backupItems() const { return m_backup.items; }
    const QList<TidyRow> &tidyRows() const { return m_tidy.rows; }
    // OpenEmu's emulator cores as it will load them, as the last refreshCores() (at start and after
    // each change) or refreshSaveStates() read them.
    const QList<Core> &cores() const { return m_saveStates.cores; }
    // The systems the installed OpenEmu has (its system plug-ins, the cores that serve each), read
    // with the cores; the project's table until OpenEmu is installed. Announced by coresChanged.
    const QList<SystemInfo> &systems() const
    {
        return m_saveStates.systems.isEmpty() ? ProjectDocs::systems() : m_saveStates.systems;
    }
    // The save states judged by the last refreshSaveStates(), and whether one is running.
    const QList<JudgedState> &saveStates() const { return m_saveStates.states; }
    bool loadingSaveStates() const { return m_saveStates.loading; }
    // How many save states lay past what one scan reads (SaveStates::maxBundles).
    qsizetype saveStatesLeftOut() const { return m_saveStates.leftOut; }
    // The save-state folder when it is on a drive that isn't connected.
    const std::optional<QString> &saveStatesUnreachable() const { return m_saveStates.unreachable; }
    QCoro::Task<> refreshCores();
    QCoro::Task<> refreshSaveStates();
    // The cores the last update replaced under save states that loaded before it.
    const QList<SaveStateJudge::CoreChange> &updateCoreChanges() const { return m_install.coreChanges; }
    const std::optional<QString> &busyMessage() const { return m_busyMessage; }
    // The bytes a backup or restore has written so far, and its total (0 when unknown).
    qint64 busyDone() const { return m_busyDone; }
    qint64 busyTotal() const { return m_busyTotal; }

    // The banners' close buttons clear these; the install choice is the Home page's toggle.
    // A notice leads with the outcome, adds at most one more sentence, and keeps what only some
    // want to read (checksums, signatures) in its details.
    void setNotice(const std::optional<QString> &notice);
    // A notice about a file the user may want to see (a backup zip): the banner offers Show in Finder.
    void setNotice(const QString &notice, const QString &file);
    // The one next step a notice offers: Show in Finder (noticeFile), Open OpenEmu, or Undo
    // Restore (restores noticeFile, the backup of what the restore replaced).
    enum class NoticeAction { none, showFile, openOpenEmu, undoRestore };
    void setNotice(const QString &notice, NoticeAction action, const QString &details = {}, const QString &file = {});
    const std::optional<QString> &noticeFile() const { return m_noticeFile; }
    NoticeAction noticeAction() const { return m_noticeAction; }
    const QString &noticeDetails() const { return m_noticeDetails; }
    void setError(const std::optional<FriendlyError> &error);
    void setInstallToSystemApplications(bool value);

    // True from the first step of a change (install, update, rollback, backup, restore,
    // uninstall) to its last, waits and questions included, and while a long action shows its
    // progress text. A second change is refused meanwhile, and Launch is not offered.
    bool isBusy() const;
    bool isChanging() const { return m_changes.isRunning(); }
    // Which change runs, so that a view can show its progress wherever the user is and lead back
    // to its page.
    enum class Work { none, install, rollback, backup, restore, biosImport, uninstall };
    Work work() const { return m_changes.isRunning() ? m_work : Work::none; }
    // Whether the latest release is newer than the installed app.
    bool updateAvailable() const;

    // The startup sequence, run each time the window's content appears.
    void start();
    // True until every task start() began has ended; settled() is emitted when they have.
    bool isSettling() const { return m_startupTasks > 0; }

    // Each action's task may be ignored (the window redraws from the fields) or awaited for its
    // Outcome (the command line). A task resuming after the model was destroyed touches nothing
    // of it: a change learns it from its ChangeRunner::Change, a refresh from its Refresh.
    QCoro::Task<> checkLatest();
    void refreshInstalled();
    // Every page's data read again: what each change ends with.
    void refreshAfterChange();
    // "Check for Updates": the release check, then the installed app read again.
    QCoro::Task<> checkForUpdates();

    // Opens the installed app (refused while a change runs).
    QCoro::Task<Outcome> launch();

    // Downloads, verifies, unpacks and places the latest release; one run at a time.
    QCoro::Task<Outcome> install(bool isUpdate);
    bool isInstalling() const { return m_install.running; }
    bool isUpdating() const { return m_install.running && m_install.updating; }
    // The progress card's Cancel: stops the running download.
    void cancelInstall();
    // Swaps the installed app with the kept previous version, after asking.
    QCoro::Task<Outcome> rollback();

    // OpenEmu's data: the backup items, a backup to a chosen folder, a restore from a chosen zip.
    // Reads the items and the earlier backups in the backup folder.
    QCoro::Task<> refreshBackupItems();
    // Backs up into `folder`, or the backup folder.
    QCoro::Task<Outcome> runBackup(std::optional<QString> folder = std::nullopt);
    // Where backups go: the folder the user chose, remembered, else ~/Documents/OpenEmu Backups
    // (made when first used), the command line's default too.
    QString backupFolder() const;
    void setBackupFolder(const QString &folder);
    // The Backup page's Change…: a folder panel; declined when cancelled.
    QCoro::Task<Outcome> chooseBackupFolder();
    const QList<BackupManager::Listed> &earlierBackups() const { return m_backup.earlier; }
    // Restores `zip`, or one the user picks: an automatic backup, or a file they choose.
    QCoro::Task<Outcome> runRestore(std::optional<QString> zip = std::nullopt);
    // Restores the automatic backup the last restore made of the files it replaced.
    QCoro::Task<Outcome> undoRestore();
    // The Backup page's toggles.
    void setBackupItemIncluded(const QString &id, bool include);

    // The first-game guide: the BIOS scan, and the games folder the user picks.
    QCoro::Task<> refreshBIOS();
    // Adds the known BIOS dumps found in the paths (files, folders, zips), or in a folder the
    // user chooses when none are given. A change: one at a time, with other Vantors kept out.
    QCoro::Task<Outcome> importBios(std::optional<QStringList> paths = std::nullopt);
    const BiosImportResult &lastBiosImport() const { return m_guide.lastImport; }
    QCoro::Task<Outcome> chooseGamesFolder();
    // The guide's games-folder step, done without a folder: the games are in OpenEmu already.
    bool gamesStepDone() const { return m_guide.gamesStepDone; }
    void markGamesStepDone();

    // Moves the app and what else the user ticks (UninstallItems' ids) to the Trash: the window
    // asks with one checklist; the command line names the ids and is asked once, with the list.
    QCoro::Task<Outcome> uninstall(std::optional<QStringList> ids = std::nullopt);
    // One of Tidy's rows to the Trash, after asking: the caches, the saved window state and the
    // kept copy at any time; OpenEmu's data once its app has gone.
    QCoro::Task<Outcome> trashLeftover(QString rowId);
    static bool canTrashAnyTime(const QString &rowId);

    // OpenEmu's places and their sizes, for the Tidy page; and showing them.
    QCoro::Task<> refreshTidy();
    void reveal(const QString &path);
    void openFolder(const QString &path);
    // The About page's links.
    void openWebPage(const QUrl &url);

    QString feedUrl() const { return m_feedUrl; }
    QNetworkAccessManager &network() { return *m_network; }

Q_SIGNALS:
    void latestChanged();
    void installedChanged();
    void loadingReleaseChanged();
    void phaseChanged();
    void downloadedChanged();
    void totalBytesChanged();
    void speedChanged();
    void noticeChanged();
    void errorChanged();
    void installToSystemApplicationsChanged();
    void hasPreviousChanged();
    void autoBackupBeforeUpdateChanged();
    void gamesFolderChanged();
    void biosFoundChanged();
    void skippedVersionChanged();
    void backupItemsChanged();
    void tidyRowsChanged();
    void coresChanged();
    void saveStatesChanged();
    void busyMessageChanged();
    void busyProgressChanged();
    // isBusy() may have changed.
    void busyChanged();
    // After any field above has changed, so that a view can re-sync itself in one place.
    void changed();
    void settled();

private:
    struct InstallRequest;
    using Change = ChangeRunner::Change;

    template <typename T>
    void assign(T &field, T value, void (AppModel::*signal)());
    void setBusyMessage(const std::optional<QString> &message);
    void setBusyProgress(qint64 done, qint64 total);
    void setPhase(InstallPhase phase);
    void setProgress(qint64 downloaded, qint64 totalBytes, double speed);
    void runStartupTask(QCoro::Task<> task);
    // Begins a change, or refuses it (with the error set) while another one runs. Its flow is
    // run through ChangeRunner::untilGone() and waits only through Change::wait().
    std::optional<Change> beginChange(Work work);
    // The changes themselves, each run by the public action of the same name.
    QCoro::Task<Outcome> installFlow(bool isUpdate);
    QCoro::Task<Outcome> rollbackFlow();
    QCoro::Task<Outcome> backupFlow(std::optional<QString> folder);
    QCoro::Task<Outcome> restoreFlow(std::optional<QString> zip);
    QCoro::Task<Outcome> biosImportFlow(std::optional<QStringList> paths);
    QCoro::Task<Outcome> uninstallFlow(std::optional<QStringList> ids);
    QCoro::Task<Outcome> trashLeftoverFlow(QString rowId);
    QCoro::Task<Outcome> recoveryFlow();
    // Asks a running OpenEmu to quit (done when none runs any more); declined, or failed when it
    // would not quit.
    QCoro::Task<Outcome> ensureClosed(const Change &change);
    // The confirmation a change asks first (its first button confirms), then the lock
    // (takeLock), then ensureClosed(). done when the change may go on.
    QCoro::Task<Outcome> confirmThenClose(Prompter::Alert alert, Change &change);
    // takeLock(), then ensureClosed(): what a change does once its questions are answered.
    QCoro::Task<Outcome> lockThenClose(Change &change);
    // Takes the lock that keeps other Vantors out (failed, with the error set, when another
    // holds it), then finishes or undoes an install or rollback a killed Vantor left half done.
    QCoro::Task<Outcome> takeLock(Change &change);
    // What start() does first: the leftovers of killed runs, when no other Vantor is working.
    QCoro::Task<> recoverAtStart();
    // The notice for what recovery did, and the installed app read again.
    void reportRecovery(int recovery);
    QCoro::Task<Outcome> runInstall(InstallRequest request, Change change);
    // Ends an action with a failure: the error is stored and failed is given.
    Outcome fail(std::exception_ptr failure, const QString &context);

    QString m_feedUrl;
    Prompter &m_prompter;
    Workspace &m_workspace;
    QNetworkAccessManager *m_network;
    int m_startupTasks = 0;
    Work m_work = Work::none;
    ChangeRunner m_changes{[this] {
        Q_EMIT busyChanged();
        Q_EMIT changed();
        // At once, so that a refresh asked for after the change is the newer one.
        if (!m_changes.isRunning())
            refreshAfterChange();
    }};

    std::optional<InstalledApp> m_installed;
    bool m_hasPrevious = false;
    QString m_keptVersion;
    std::optional<QString> m_notice;
    std::optional<QString> m_noticeFile;
    NoticeAction m_noticeAction = NoticeAction::none;
    QString m_noticeDetails;
    std::optional<FriendlyError> m_error;
    ReleaseState m_release{this};
    InstallState m_install;
    BackupState m_backup{this};
    TidyState m_tidy{this};
    GuideState m_guide{this};
    SaveStatesState m_saveStates{this};
    std::optional<QString> m_busyMessage;
    qint64 m_busyDone = 0;
    qint64 m_busyTotal = 0;
};

// Stores a field and announces it, then announces the model as a whole.
template <typename T>
void AppModel::assign(T &field, T value, void (AppModel::*signal)())
{
    field = std::move(value);
    Q_EMIT(this->*signal)();
    Q_EMIT changed();
}
