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
#include <QPointer>

#include <utility>

Q_LOGGING_CATEGORY(lcModel, "vantor.model", QtWarningMsg)

AppModel::AppModel(QString feedUrl, Prompter &prompter, Workspace &workspace, QObject *parent)
    : QObject(parent)
    , m_feedUrl(std::move(feedUrl))
    , m_prompter(prompter)
    , m_workspace(workspace)
    , m_network(new QNetworkAccessManager(this))
{
    m_guide.gamesFolder = Settings::gamesFolder();
    m_guide.gamesStepDone = Settings::gamesStepDone();
    m_release.skippedVersion = Settings::skippedVersion();
    m_install.autoBackupBeforeUpdate = Settings::autoBackupBeforeUpdate();
}

AppModel::~AppModel()
{
    // Running changes end with the change runner (their lock is released then) and touch
    // nothing of the model when their tasks resume; refreshes keep nothing. Requests are aborted;
    // their tasks resume from the event loop (to remove a work folder, say) before the network
    // manager and the running download, set free of the model here, are deleted after them.
    // Background steps finish on their own.
    if (Downloader *downloader = std::exchange(m_install.downloader, nullptr)) {
        downloader->onProgress = nullptr;
        downloader->onResume = nullptr;
        downloader->setParent(nullptr);
        downloader->stopNow();
        downloader->deleteLater();
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
    m_noticeFile.reset();
    m_noticeAction = NoticeAction::none;
    m_noticeDetails.clear();
    assign(m_notice, notice, &AppModel::noticeChanged);
}

void AppModel::setNotice(const QString &notice, const QString &file)
{
    setNotice(notice, NoticeAction::showFile, QString(), file);
}

void AppModel::setNotice(const QString &notice, NoticeAction action, const QString &details, const QString &file)
{
    m_noticeFile = file.isEmpty() ? std::nullopt : std::optional(file);
    m_noticeAction = action;
    m_noticeDetails = details;
    assign(m_notice, std::optional(notice), &AppModel::noticeChanged);
}

void AppModel::setError(const std::optional<FriendlyError> &error)
{
    assign(m_error, error, &AppModel::errorChanged);
}

void AppModel::setInstallToSystemApplications(bool value)
{
    assign(m_install.toSystemApplications, value, &AppModel::installToSystemApplicationsChanged);
}

void AppModel::setBusyMessage(const std::optional<QString> &message)
{
    m_busyMessage = message;
    Q_EMIT busyMessageChanged();
    Q_EMIT busyChanged();
    Q_EMIT changed();
}

void AppModel::setAutoBackupBeforeUpdate(bool on)
{
    Settings::setAutoBackupBeforeUpdate(on);
    assign(m_install.autoBackupBeforeUpdate, on, &AppModel::autoBackupBeforeUpdateChanged);
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
    m_install.phase = phase;
    Q_EMIT phaseChanged();
    Q_EMIT busyChanged();
    Q_EMIT changed();
}

void AppModel::setProgress(qint64 downloaded, qint64 totalBytes, double speed)
{
    // One change signal for the three, so that a view redraws the progress once per event.
    m_install.downloaded = downloaded;
    m_install.totalBytes = totalBytes;
    m_install.speed = speed;
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
    return m_install.phase != InstallPhase::idle || m_busyMessage.has_value() || m_changes.isRunning();
}

bool AppModel::updateAvailable() const
{
    return m_installed && m_release.latest && !latestIsSkipped()
           && VersionChecker::compare(m_installed->version, m_release.latest->tagName)
                  == VersionChecker::Ordering::ascending;
}

bool AppModel::latestIsSkipped() const
{
    return m_release.latest && m_release.skippedVersion
           && VersionChecker::compare(*m_release.skippedVersion, m_release.latest->tagName)
                  == VersionChecker::Ordering::same;
}

void AppModel::skipVersion(const QString &tag)
{
    Settings::setSkippedVersion(tag);
    assign(m_release.skippedVersion, std::optional<QString>(tag), &AppModel::skippedVersionChanged);
}

void AppModel::offerSkippedVersionAgain()
{
    Settings::setSkippedVersion(std::nullopt);
    assign(m_release.skippedVersion, std::optional<QString>(), &AppModel::skippedVersionChanged);
}

void AppModel::start()
{
    refreshInstalled();
    runStartupTask(recoverAtStart());
    runStartupTask(checkLatest());
    runStartupTask(refreshBIOS());
    runStartupTask(refreshBackupItems());
    runStartupTask(refreshTidy());
    runStartupTask(refreshCores());
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
    // A check started while another waits supersedes it: only the newest one's answer is kept.
    const Refresh::Ticket ticket = m_release.refresh.start();
    assign(m_release.loading, true, &AppModel::loadingReleaseChanged);
    std::optional<Release> release;
    std::exception_ptr failure;
    try {
        release = co_await GitHubReleases::fetchLatest(*m_network, m_feedUrl);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!ticket.current())
        co_return;
    std::optional<QString> fallbackNote;
    if (!failure && !GitHubReleases::pickAsset(*release)) {
        // The newest release without an app file: the newest one that has one is offered instead.
        auto looking = GitHubReleases::fetchNewestWithApp(*m_network, m_feedUrl);
        const std::optional<Release> older = co_await std::move(looking);
        if (!ticket.current())
            co_return;
        if (older) {
            fallbackNote = QStringLiteral("The newest release (%1) has no app file, so Vantor offers %2.")
                               .arg(release->tagName, older->tagName);
            release = older;
        }
    }
    if (failure) {
        qCDebug(lcModel) << "release check failed";
        setError(FriendlyError::from(failure, QStringLiteral("Checking for the latest release")));
    } else {
        m_release.fallbackNote = fallbackNote;
        assign(m_release.latest, std::move(release), &AppModel::latestChanged);
        // A release newer than the skipped one ends the skip.
        if (m_release.skippedVersion
            && VersionChecker::compare(*m_release.skippedVersion, m_release.latest->tagName)
                   == VersionChecker::Ordering::ascending)
            offerSkippedVersionAgain();
    }
    assign(m_release.loading, false, &AppModel::loadingReleaseChanged);
}

QCoro::Task<> AppModel::recoverAtStart()
{
    auto recovering = ChangeRunner::untilGone(recoveryFlow());
    co_await std::move(recovering);
}

QCoro::Task<Outcome> AppModel::recoveryFlow()
{
    // Finishing a killed run's change is a change too: nothing else starts meanwhile.
    std::optional<Change> change = m_changes.begin();
    if (!change || change->lock())
        co_return Outcome::declined; // another Vantor is at work; its leftovers are its own
    m_work = Work::install; // an interrupted install or rollback, finished from Home
    auto recovering = Background::run([] {
        WorkFolder::removeAbandoned();
        return int(Installer::recoverInterrupted());
    });
    auto recovered = co_await change->wait(recovering);
    try {
        reportRecovery(recovered.take());
    } catch (...) {
        setError(FriendlyError::from(std::current_exception(), QStringLiteral("Finishing an interrupted change")));
        co_return Outcome::failed;
    }
    co_return Outcome::done;
}

std::optional<AppModel::Change> AppModel::beginChange(Work work)
{
    std::optional<Change> change = m_changes.begin();
    if (!change)
        setError(FriendlyError(ChangeRunner::refusal()));
    else
        m_work = work;
    return change;
}

QCoro::Task<Outcome> AppModel::takeLock(Change &change)
{
    if (const auto holder = change.lock()) {
        setError(
            FriendlyError(QStringLiteral("Another Vantor is already changing OpenEmu. Try again when it has finished."),
                          *holder > 0 ? QStringLiteral("Held by process %1.").arg(*holder)
                                      : QStringLiteral("Held by another process.")));
        co_return Outcome::failed;
    }
    // The questions are answered and the change begins: earlier results go.
    setError(std::nullopt);
    setNotice(std::nullopt);
    auto recovering = Background::run([] { return int(Installer::recoverInterrupted()); });
    auto recovered = co_await change.wait(recovering);
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
    const QPointer<AppModel> self(this);
    // The old news is about the old picture: the check's own answer replaces it.
    setNotice(std::nullopt);
    if (!isChanging())
        setError(std::nullopt);
    co_await checkLatest();
    if (self)
        refreshInstalled();
}

void AppModel::refreshAfterChange()
{
    // Whatever a change did (a kept copy gone, data moved, a backup made), every page shows it.
    refreshInstalled();
    // At start (the recovery of a killed run is a change too) these supersede the start's own
    // reads, so the start waits for them: what a command reports is never a superseded read.
    const auto detach = [this](QCoro::Task<> task) {
        if (isSettling())
            runStartupTask(std::move(task));
        else
            QCoro::connect(std::move(task), this, [] {});
    };
    detach(refreshTidy());
    detach(refreshBackupItems());
    detach(refreshCores());
    detach(refreshBIOS());
}

void AppModel::refreshInstalled()
{
    assign(m_installed, VersionChecker::findInstalled(), &AppModel::installedChanged);
    if (m_installed)
        Paths::setBundleID(m_installed->bundleID);
    const std::optional<QString> kept = Installer::previousApp();
    m_keptVersion = kept ? VersionChecker::version(*kept).value_or(QString()) : QString();
    assign(m_hasPrevious, kept.has_value(), &AppModel::hasPreviousChanged);
}
