#pragma once

#include "app/ChangeLock.h"
#include "app/HostStatus.h"
#include "app/InstallPhase.h"
#include "app/Outcome.h"
#include "base/FriendlyError.h"
#include "base/Prompter.h"
#include "datacare/BackupItem.h"
#include "datacare/TidyRow.h"
#include "install/InstalledApp.h"
#include "release/Release.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include <qcoro/qcorotask.h>

#include <exception>
#include <memory>
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
    Q_PROPERTY(HostStatus host READ host)
    Q_PROPERTY(std::optional<Release> latest READ latest NOTIFY latestChanged)
    Q_PROPERTY(std::optional<InstalledApp> installed READ installed NOTIFY installedChanged)
    Q_PROPERTY(bool loadingRelease READ loadingRelease NOTIFY loadingReleaseChanged)
    Q_PROPERTY(InstallPhase phase READ phase NOTIFY phaseChanged)
    Q_PROPERTY(qint64 downloaded READ downloaded NOTIFY downloadedChanged)
    Q_PROPERTY(qint64 totalBytes READ totalBytes NOTIFY totalBytesChanged)
    Q_PROPERTY(double speed READ speed NOTIFY speedChanged)
    Q_PROPERTY(std::optional<QString> notice READ notice WRITE setNotice NOTIFY noticeChanged)
    Q_PROPERTY(std::optional<FriendlyError> error READ error WRITE setError NOTIFY errorChanged)
    Q_PROPERTY(bool installToSystemApplications READ installToSystemApplications WRITE setInstallToSystemApplications
                   NOTIFY installToSystemApplicationsChanged)
    Q_PROPERTY(bool hasPrevious READ hasPrevious NOTIFY hasPreviousChanged)
    Q_PROPERTY(bool autoBackupBeforeUpdate READ autoBackupBeforeUpdate WRITE setAutoBackupBeforeUpdate NOTIFY
                   autoBackupBeforeUpdateChanged)
    Q_PROPERTY(std::optional<QString> gamesFolder READ gamesFolder NOTIFY gamesFolderChanged)
    Q_PROPERTY(BiosMap biosFound READ biosFound NOTIFY biosFoundChanged)
    Q_PROPERTY(BiosMap biosHashes READ biosHashes NOTIFY biosFoundChanged)
    Q_PROPERTY(std::optional<QString> skippedVersion READ skippedVersion NOTIFY skippedVersionChanged)
    Q_PROPERTY(QList<BackupItem> backupItems READ backupItems NOTIFY backupItemsChanged)
    Q_PROPERTY(QList<TidyRow> tidyRows READ tidyRows NOTIFY tidyRowsChanged)
    Q_PROPERTY(std::optional<QString> busyMessage READ busyMessage NOTIFY busyMessageChanged)
    Q_PROPERTY(qint64 busyDone READ busyDone NOTIFY busyProgressChanged)
    Q_PROPERTY(qint64 busyTotal READ busyTotal NOTIFY busyProgressChanged)

public:
    using BiosMap = QMap<QString, QString>; // file name -> where it was found

    // feedUrl: where the latest release is described (see GitHubReleases::configuredFeedUrl).
    // The prompter asks the user's questions; the workspace shows files and folders.
    AppModel(QString feedUrl, Prompter &prompter, Workspace &workspace, QObject *parent = nullptr);
    ~AppModel() override;

    // This Mac against OpenEmu-Silicon's requirements, read afresh at each call (cheap).
    HostStatus host() const;
    const std::optional<Release> &latest() const { return m_latest; }
    const std::optional<InstalledApp> &installed() const { return m_installed; }
    bool loadingRelease() const { return m_loadingRelease; }
    InstallPhase phase() const { return m_phase; }
    qint64 downloaded() const { return m_downloaded; }
    qint64 totalBytes() const { return m_totalBytes; }
    double speed() const { return m_speed; }
    const std::optional<QString> &notice() const { return m_notice; }
    const std::optional<FriendlyError> &error() const { return m_error; }
    bool installToSystemApplications() const { return m_installToSystemApplications; }
    bool hasPrevious() const { return m_hasPrevious; }
    // Whether an update backs up the save states before it places anything (a setting).
    bool autoBackupBeforeUpdate() const { return m_autoBackupBeforeUpdate; }
    void setAutoBackupBeforeUpdate(bool on);
    // Skips that backup for the next update only (vantor-cli update --no-backup).
    void skipNextAutoBackup() { m_skipNextAutoBackup = true; }
    const std::optional<QString> &gamesFolder() const { return m_gamesFolder; }
    const BiosMap &biosFound() const { return m_biosFound; }
    // The MD5 of each BIOS file found (file name -> hex), from the same scan.
    const BiosMap &biosHashes() const { return m_biosHashes; }
    // A release the user chose not to be offered ("Skip This Version"), by its tag.
    const std::optional<QString> &skippedVersion() const { return m_skippedVersion; }
    // Said on the release card when the newest release has no app file and an older one is
    // offered instead.
    const std::optional<QString> &fallbackNote() const { return m_fallbackNote; }
    void skipVersion(const QString &tag);
    void offerSkippedVersionAgain();
    // Whether the latest release is the skipped one (compared as versions: "v1.0.4" is "1.0.4").
    bool latestIsSkipped() const;
    const QList<BackupItem> &backupItems() const { return m_backupItems; }
    const QList<TidyRow> &tidyRows() const { return m_tidyRows; }
    const std::optional<QString> &busyMessage() const { return m_busyMessage; }
    // The bytes a backup or restore has written so far, and its total (0 when unknown).
    qint64 busyDone() const { return m_busyDone; }
    qint64 busyTotal() const { return m_busyTotal; }

    // The banners' close buttons clear these; the install choice is the Home page's toggle.
    void setNotice(const std::optional<QString> &notice);
    void setError(const std::optional<FriendlyError> &error);
    void setInstallToSystemApplications(bool value);

    // True while an install runs or a long action shows its progress text.
    bool isBusy() const;
    // Whether the latest release is newer than the installed app.
    bool updateAvailable() const;

    // The startup sequence, run each time the window's content appears.
    void start();
    // True until every task start() began has ended; settled() is emitted when they have.
    bool isSettling() const { return m_startupTasks > 0; }

    // Each action's task may be ignored (the window redraws from the fields) or awaited for its
    // Outcome (the command line). A task resuming after the model was destroyed touches nothing
    // of it: every action holds the lifetime token and looks at it after each wait.
    QCoro::Task<> checkLatest();
    void refreshInstalled();
    // "Check for updates": the release check, then the installed app read again.
    QCoro::Task<> checkForUpdates();

    // OpenEmu as a running program: asks it to quit before a change (true when none runs any
    // more), and opens the installed app.
    QCoro::Task<Outcome> ensureClosed();
    QCoro::Task<Outcome> launch();
    // The confirmation an action asks first (its first button confirms), then the lock
    // (beginChange), then ensureClosed(). done when the action may go on; declined, or failed
    // when another Vantor holds the lock or OpenEmu would not quit.
    QCoro::Task<Outcome> confirmThenClose(Prompter::Alert alert, ChangeLock::Hold &hold);
    // Takes the lock that keeps other Vantors out (failed, with the error set, when another
    // holds it), then finishes or undoes an install or rollback a killed Vantor left half done.
    QCoro::Task<Outcome> beginChange(ChangeLock::Hold &hold);

    // Downloads, verifies, unpacks and places the latest release; one run at a time.
    QCoro::Task<Outcome> install(bool isUpdate);
    bool isInstalling() const { return m_installTask.has_value(); }
    // The progress card's Cancel: stops the running download.
    void cancelInstall();
    // Swaps the installed app with the kept previous version, after asking.
    QCoro::Task<Outcome> rollback();

    // OpenEmu's data: the backup items, a backup to a chosen folder, a restore from a chosen zip.
    QCoro::Task<> refreshBackupItems();
    QCoro::Task<Outcome> runBackup();
    QCoro::Task<Outcome> runRestore();
    // The Backup page's toggles.
    void setBackupItemIncluded(const QString &id, bool include);

    // The first-game guide: the BIOS scan, and the games folder the user picks.
    QCoro::Task<> refreshBIOS();
    QCoro::Task<Outcome> chooseGamesFolder();

    // Moves the app, and on request its data, to the Trash.
    QCoro::Task<Outcome> uninstall();

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
    void busyMessageChanged();
    void busyProgressChanged();
    // After any field above has changed, so that a view can re-sync itself in one place.
    void changed();
    void settled();

private:
    struct InstallTask
    {
        bool cancelled = false;
    };
    struct InstallRequest;

    template <typename T>
    void assign(T &field, T value, void (AppModel::*signal)());
    void setBusyMessage(const std::optional<QString> &message);
    void setBusyProgress(qint64 done, qint64 total);
    void setPhase(InstallPhase phase);
    void setProgress(qint64 downloaded, qint64 totalBytes, double speed);
    void runStartupTask(QCoro::Task<> task);
    // What start() does first: the leftovers of killed runs, when no other Vantor is working.
    QCoro::Task<> recoverAtStart();
    // The notice for what recovery did, and the installed app read again.
    void reportRecovery(int recovery);
    QCoro::Task<Outcome> runInstall(InstallRequest request);
    // Ends an action with a failure: the error is stored and failed is given.
    Outcome fail(std::exception_ptr failure, const QString &context);

    // True while the model exists; shared with every running action (see above).
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    QString m_feedUrl;
    Prompter &m_prompter;
    Workspace &m_workspace;
    QNetworkAccessManager *m_network;
    int m_startupTasks = 0;
    Downloader *m_downloader = nullptr; // the running install's download, for Cancel
    std::optional<InstallTask> m_installTask; // set while an install or update runs

    std::optional<Release> m_latest;
    std::optional<InstalledApp> m_installed;
    bool m_loadingRelease = false;
    InstallPhase m_phase = InstallPhase::idle;
    qint64 m_downloaded = 0;
    qint64 m_totalBytes = 0;
    double m_speed = 0;
    std::optional<QString> m_notice;
    std::optional<FriendlyError> m_error;
    bool m_installToSystemApplications = false;
    bool m_hasPrevious = false;
    bool m_autoBackupBeforeUpdate = true;
    bool m_skipNextAutoBackup = false;
    std::optional<QString> m_gamesFolder;
    BiosMap m_biosFound;
    BiosMap m_biosHashes;
    std::optional<QString> m_skippedVersion;
    std::optional<QString> m_fallbackNote;
    QList<BackupItem> m_backupItems;
    QList<TidyRow> m_tidyRows;
    quint64 m_tidyScans = 0; // scans started; only the newest one's rows are kept
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
