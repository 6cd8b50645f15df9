#include "app/AppModel.h"

#include "base/Background.h"
#include "base/Paths.h"
#include "base/Settings.h"
#include "install/Downloader.h"
#include "install/Installer.h"
#include "install/VersionChecker.h"
#include "install/WorkFolder.h"
#include "platform/Host.h"
#include "release/GitHubReleases.h"

#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>

Q_LOGGING_CATEGORY(lcModel, "vantor.model", QtWarningMsg)

AppModel::AppModel(QString feedUrl, Prompter &prompter, Workspace &workspace, QObject *parent)
    : QObject(parent)
    , m_feedUrl(std::move(feedUrl))
    , m_prompter(prompter)
    , m_workspace(workspace)
    , m_network(new QNetworkAccessManager(this))
    , m_gamesFolder(Settings::gamesFolder())
    , m_skippedVersion(Settings::skippedVersion())
{
    m_autoBackupBeforeUpdate = Settings::autoBackupBeforeUpdate();
}

AppModel::~AppModel()
{
    // Running actions learn here that the model is going, and touch nothing of it from now on.
    // Requests are aborted; their tasks resume from the event loop (to remove a work folder, say)
    // before the network manager and the running download, set free of the model here, are
    // deleted after them. Background steps finish on their own.
    *m_alive = false;
    if (m_downloader) {
        m_downloader->onProgress = nullptr;
        m_downloader->setParent(nullptr);
        m_downloader->stopNow();
        m_downloader->deleteLater();
    }
    const auto replies = m_network->findChildren<QNetworkReply *>();
    for (QNetworkReply *reply : replies)
        reply->abort();
    m_network->setParent(nullptr);
    m_network->deleteLater();
}

Outcome AppModel::fail(std::exception_ptr failure, const QString &context)
{
    setError(FriendlyError::from(failure, context));
    return Outcome::failed;
}

void AppModel::setNotice(const std::optional<QString> &notice)
{
    assign(m_notice, notice, &AppModel::noticeChanged);
}

void AppModel::setError(const std::optional<FriendlyError> &error)
{
    assign(m_error, error, &AppModel::errorChanged);
}

void AppModel::setInstallToSystemApplications(bool value)
{
    assign(m_installToSystemApplications, value, &AppModel::installToSystemApplicationsChanged);
}

void AppModel::setBusyMessage(const std::optional<QString> &message)
{
    assign(m_busyMessage, message, &AppModel::busyMessageChanged);
}

void AppModel::setAutoBackupBeforeUpdate(bool on)
{
    Settings::setAutoBackupBeforeUpdate(on);
    assign(m_autoBackupBeforeUpdate, on, &AppModel::autoBackupBeforeUpdateChanged);
}

void AppModel::setBusyProgress(qint64 done, qint64 total)
{
    if (done == m_busyDone && total == m_busyTotal)
        return;
    m_busyDone = done;
    m_busyTotal = total;
    Q_EMIT busyProgressChanged();
    Q_EMIT changed();
}

void AppModel::setPhase(InstallPhase phase)
{
    assign(m_phase, phase, &AppModel::phaseChanged);
}

void AppModel::setProgress(qint64 downloaded, qint64 totalBytes, double speed)
{
    // One change signal for the three, so that a view redraws the progress once per event.
    m_downloaded = downloaded;
    m_totalBytes = totalBytes;
    m_speed = speed;
    Q_EMIT downloadedChanged();
    Q_EMIT totalBytesChanged();
    Q_EMIT speedChanged();
    Q_EMIT changed();
}

HostStatus AppModel::host() const
{
    HostStatus host;
    host.macOSVersion = VersionChecker::macVersionString();
    host.minimumMacOSMajor = VersionChecker::minimumMacOSMajor;
    host.meetsMacOS = VersionChecker::meetsMacOSRequirement();
    host.appleSilicon = VersionChecker::isAppleSilicon();
    host.macOS10OrOlder = Host::macOSVersion().major <= 10;
    return host;
}

bool AppModel::isBusy() const
{
    return m_phase != InstallPhase::idle || m_busyMessage.has_value();
}

bool AppModel::updateAvailable() const
{
    return m_installed && m_latest && !latestIsSkipped()
           && VersionChecker::compare(m_installed->version, m_latest->tagName) == VersionChecker::Ordering::ascending;
}

bool AppModel::latestIsSkipped() const
{
    return m_latest && m_skippedVersion
           && VersionChecker::compare(*m_skippedVersion, m_latest->tagName) == VersionChecker::Ordering::same;
}

void AppModel::skipVersion(const QString &tag)
{
    Settings::setSkippedVersion(tag);
    assign(m_skippedVersion, std::optional<QString>(tag), &AppModel::skippedVersionChanged);
}

void AppModel::offerSkippedVersionAgain()
{
    Settings::setSkippedVersion(std::nullopt);
    assign(m_skippedVersion, std::optional<QString>(), &AppModel::skippedVersionChanged);
}

void AppModel::start()
{
    refreshInstalled();
    runStartupTask(recoverAtStart());
    runStartupTask(checkLatest());
    runStartupTask(refreshBIOS());
    runStartupTask(refreshBackupItems());
    runStartupTask(refreshTidy());
}

void AppModel::runStartupTask(QCoro::Task<> task)
{
    ++m_startupTasks;
    QCoro::connect(std::move(task), this, [this] {
        if (--m_startupTasks == 0)
            Q_EMIT settled();
    });
}

QCoro::Task<> AppModel::checkLatest()
{
    assign(m_loadingRelease, true, &AppModel::loadingReleaseChanged);
    const auto alive = m_alive;
    std::optional<Release> release;
    std::exception_ptr failure;
    try {
        release = co_await GitHubReleases::fetchLatest(*m_network, m_feedUrl);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!*alive)
        co_return; // the model went away while the feed answered
    if (failure) {
        qCDebug(lcModel) << "release check failed";
        setError(FriendlyError::from(failure, QStringLiteral("Checking for the latest release")));
    } else {
        // The newest release without an app file: the newest one that has one is offered instead.
        m_fallbackNote.reset();
        if (!GitHubReleases::pickAsset(*release)) {
            auto looking = GitHubReleases::fetchNewestWithApp(*m_network, m_feedUrl);
            const std::optional<Release> older = co_await std::move(looking);
            if (!*alive)
                co_return;
            if (older) {
                m_fallbackNote = QStringLiteral("The newest release (%1) has no app file, so Vantor offers %2.")
                                     .arg(release->tagName, older->tagName);
                release = older;
            }
        }
        assign(m_latest, std::move(release), &AppModel::latestChanged);
        // A release newer than the skipped one ends the skip.
        if (m_skippedVersion
            && VersionChecker::compare(*m_skippedVersion, m_latest->tagName) == VersionChecker::Ordering::ascending)
            offerSkippedVersionAgain();
    }
    assign(m_loadingRelease, false, &AppModel::loadingReleaseChanged);
}

QCoro::Task<> AppModel::recoverAtStart()
{
    ChangeLock::Hold hold;
    if (hold.take())
        co_return; // another Vantor is at work; its leftovers are its own
    const auto alive = m_alive;
    auto recovering = Background::run([] {
        WorkFolder::removeAbandoned();
        return int(Installer::recoverInterrupted());
    });
    auto recovered = co_await recovering;
    if (!*alive)
        co_return;
    try {
        reportRecovery(recovered.take());
    } catch (...) {
        setError(FriendlyError::from(std::current_exception(), QStringLiteral("Finishing an interrupted change")));
    }
}

QCoro::Task<Outcome> AppModel::beginChange(ChangeLock::Hold &hold)
{
    if (const auto holder = hold.take()) {
        setError(
            FriendlyError(QStringLiteral("Another Vantor is already changing OpenEmu. Try again when it has finished."),
                          QStringLiteral("Held by process %1.").arg(*holder)));
        co_return Outcome::failed;
    }
    // The questions are answered and the change begins: earlier results go.
    setError(std::nullopt);
    setNotice(std::nullopt);
    const auto alive = m_alive;
    auto recovering = Background::run([] { return int(Installer::recoverInterrupted()); });
    auto recovered = co_await recovering;
    if (!*alive)
        co_return Outcome::cancelled;
    try {
        reportRecovery(recovered.take());
    } catch (...) {
        co_return fail(std::current_exception(), QStringLiteral("Finishing an interrupted change"));
    }
    co_return Outcome::done;
}

void AppModel::reportRecovery(int recovery)
{
    switch (Installer::Recovery(recovery)) {
    case Installer::Recovery::none: return;
    case Installer::Recovery::finishedUpdate:
        setNotice(QStringLiteral("Vantor finished an interrupted update."));
        break;
    case Installer::Recovery::undidUpdate: setNotice(QStringLiteral("Vantor undid an interrupted update.")); break;
    case Installer::Recovery::finishedRollback:
        setNotice(QStringLiteral("Vantor finished an interrupted rollback."));
        break;
    case Installer::Recovery::undidRollback: setNotice(QStringLiteral("Vantor undid an interrupted rollback.")); break;
    }
    refreshInstalled();
}

QCoro::Task<> AppModel::checkForUpdates()
{
    const auto alive = m_alive;
    co_await checkLatest();
    if (*alive)
        refreshInstalled();
}

void AppModel::refreshInstalled()
{
    assign(m_installed, VersionChecker::findInstalled(), &AppModel::installedChanged);
    if (m_installed)
        Paths::setBundleID(m_installed->bundleID);
    assign(m_hasPrevious, Installer::previousApp().has_value(), &AppModel::hasPreviousChanged);
}
