// The Backup page's actions on the model.

#include "app/AppModel.h"
#include "app/ProgressRelay.h"
#include "datacare/BackupManager.h"

#include "base/Background.h"
#include "base/ByteCount.h"
#include "base/Prompter.h"
#include "platform/Workspace.h"

#include <QFileInfo>

QCoro::Task<> AppModel::refreshBackupItems()
{
    auto scanning = m_backup.refresh.inBackground(
        [] { return BackupManager::items(); },
        [this](QList<BackupItem> items) { assign(m_backup.items, std::move(items), &AppModel::backupItemsChanged); });
    co_await std::move(scanning);
}

void AppModel::setBackupItemIncluded(const QString &id, bool include)
{
    QList<BackupItem> items = m_backup.items;
    for (BackupItem &item : items) {
        if (item.id == id)
            item.include = include;
    }
    assign(m_backup.items, std::move(items), &AppModel::backupItemsChanged);
}

QCoro::Task<Outcome> AppModel::runBackup()
{
    std::optional<Change> change = beginChange(Work::backup);
    if (!change)
        co_return Outcome::failed;
    const Prompter::Panel panel{Prompter::PanelId::backupFolder,
                                QStringLiteral("Back up here"),
                                QStringLiteral("Choose where to save the backup zip."),
                                {},
                                true};
    const auto folder = co_await m_prompter.choose(panel);
    if (change->ownerGone() || !folder)
        co_return Outcome::declined;
    // What is written is what was chosen at the click, whatever the toggles do meanwhile.
    const QList<BackupItem> items = m_backup.items;
    qint64 total = 0;
    for (const BackupItem &item : items) {
        if (item.include && item.exists)
            total += item.size;
    }

    // Nothing of the user's changes, so nothing more is asked; a running OpenEmu is still asked to
    // quit, so that the copy is whole.
    const Outcome locked = co_await takeLock(*change);
    if (locked != Outcome::done || change->ownerGone())
        co_return locked;
    const Outcome closed = co_await ensureClosed(*change);
    if (closed != Outcome::done || change->ownerGone())
        co_return closed;

    setBusyMessage(QStringLiteral("Creating backup…"));
    std::optional<ProgressRelay> progress(std::in_place, this,
                                          [this](qint64 done, qint64 of) { setBusyProgress(done, of); });
    auto writing = Background::run([items, folder = *folder, report = progress->callback()] {
        return BackupManager::create(items, folder, report);
    });
    auto written = co_await writing;
    progress.reset();
    if (change->ownerGone())
        co_return Outcome::done;
    Outcome outcome = Outcome::done;
    try {
        const QString zip = written.take();
        setNotice(QStringLiteral("Backup saved: ") + zip, zip);
    } catch (...) {
        outcome = fail(std::current_exception(), QStringLiteral("Creating the backup"));
    }
    setBusyMessage(std::nullopt);
    setBusyProgress(0, 0);
    co_return outcome;
}

QCoro::Task<Outcome> AppModel::runRestore()
{
    std::optional<Change> change = beginChange(Work::restore);
    if (!change)
        co_return Outcome::failed;
    const Prompter::Panel panel{Prompter::PanelId::restoreZip,
                                QStringLiteral("Restore"),
                                QStringLiteral("Choose an OpenEmu backup zip."),
                                {QStringLiteral("Zip archives (*.zip)")},
                                false};
    const auto zip = co_await m_prompter.choose(panel);
    if (change->ownerGone() || !zip)
        co_return Outcome::declined;

    // The zip is judged before anything is asked: a zip that cannot be restored gets its
    // reason at once.
    auto judging = Background::run([zip = *zip] { BackupManager::validate(zip); });
    auto judged = co_await judging;
    if (change->ownerGone())
        co_return Outcome::declined;
    try {
        judged.take();
    } catch (...) {
        co_return fail(std::current_exception(), QStringLiteral("Restoring the backup"));
    }

    // Named, not a temporary in the co_await: g++ 12 destroys those twice.
    const Prompter::Alert question{
        Prompter::AlertId::restore,
        QStringLiteral("Restore this backup?"),
        QStringLiteral("Files with the same name in OpenEmu's library, save states and settings will be replaced by "
                       "the ones in %1.")
            .arg(QFileInfo(*zip).fileName()),
        {QStringLiteral("Restore"), QStringLiteral("Cancel")},
        Prompter::Style::warning,
        1}; // it writes over the user's files: Return keeps them
    const Outcome confirmed = co_await confirmThenClose(question, *change);
    if (confirmed != Outcome::done || change->ownerGone())
        co_return confirmed;

    setBusyMessage(QStringLiteral("Restoring…"));
    std::optional<ProgressRelay> progress(std::in_place, this,
                                          [this](qint64 done, qint64 of) { setBusyProgress(done, of); });
    auto restoring
        = Background::run([zip = *zip, report = progress->callback()] { return BackupManager::restore(zip, report); });
    auto restored = co_await restoring;
    progress.reset();
    if (change->ownerGone())
        co_return Outcome::done;
    Outcome outcome = Outcome::done;
    try {
        const QStringList notWritten = restored.take();
        setNotice(QStringLiteral("Backup restored. You can open OpenEmu now.")
                  + (notWritten.isEmpty() ? QString()
                                          : QStringLiteral(" Not restored, as this disk takes their names for others "
                                                           "already restored: ")
                                                + notWritten.join(QStringLiteral(", ")) + QLatin1Char('.')));
        refreshTidy();
    } catch (...) {
        outcome = fail(std::current_exception(), QStringLiteral("Restoring the backup"));
    }
    setBusyMessage(std::nullopt);
    setBusyProgress(0, 0);
    co_return outcome;
}
