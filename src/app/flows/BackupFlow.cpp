// The Backup page's actions on the model.

#include "app/AppModel.h"
#include "datacare/BackupManager.h"

#include "base/Background.h"
#include "base/ByteCount.h"
#include "base/Prompter.h"
#include "platform/Workspace.h"
#include <QPointer>

#include <QFileInfo>

QCoro::Task<> AppModel::refreshBackupItems()
{
    auto scanning = Background::run([] { return BackupManager::items(); });
    const QPointer<AppModel> alive(this);
    auto scanned = co_await scanning;
    if (!alive)
        co_return; // the model went away while the scan ran
    assign(m_backupItems, scanned.take(), &AppModel::backupItemsChanged);
}

void AppModel::setBackupItemIncluded(const QString &id, bool include)
{
    QList<BackupItem> items = m_backupItems;
    for (BackupItem &item : items) {
        if (item.id == id)
            item.include = include;
    }
    assign(m_backupItems, std::move(items), &AppModel::backupItemsChanged);
}

QCoro::Task<> AppModel::runBackup()
{
    const auto folder = m_prompter.chooseFolder(QStringLiteral("Choose where to save the backup zip."));
    if (!folder)
        co_return;
    // What is written is what was chosen at the click, whatever the toggles do meanwhile.
    const QList<BackupItem> items = m_backupItems;
    qint64 total = 0;
    for (const BackupItem &item : items) {
        if (item.include && item.exists)
            total += item.size;
    }

    // Named, not a temporary in the co_await: g++ 12 destroys those twice.
    const Prompter::Alert question{QStringLiteral("Back up %1?").arg(ByteCount::fileStyle(total)),
                                   QStringLiteral("A timestamped zip will be saved in %1.").arg(*folder),
                                   {QStringLiteral("Back up"), QStringLiteral("Cancel")},
                                   Prompter::Style::informational};
    const bool confirmed = co_await confirmThenClose(question);
    if (!confirmed)
        co_return;

    setBusyMessage(QStringLiteral("Creating backup…"));
    try {
        auto writing = Background::run([items, folder = *folder] { return BackupManager::create(items, folder); });
        auto written = co_await writing;
        const QString zip = written.take();
        setNotice(QStringLiteral("Backup saved: ") + zip);
        m_workspace.reveal(zip);
    } catch (...) {
        setError(FriendlyError::from(std::current_exception(), QStringLiteral("Creating the backup")));
    }
    setBusyMessage(std::nullopt);
}

QCoro::Task<> AppModel::runRestore()
{
    const auto zip = m_prompter.chooseFile(QStringLiteral("Choose an OpenEmu backup zip."),
                                           {QStringLiteral("Zip archives (*.zip)")});
    if (!zip)
        co_return;

    // Named, not a temporary in the co_await: g++ 12 destroys those twice.
    const Prompter::Alert question{
        QStringLiteral("Restore this backup?"),
        QStringLiteral("Files with the same name in OpenEmu's library, save states and settings will be replaced by "
                       "the ones in %1.")
            .arg(QFileInfo(*zip).fileName()),
        {QStringLiteral("Restore"), QStringLiteral("Cancel")},
        Prompter::Style::warning};
    const bool confirmed = co_await confirmThenClose(question);
    if (!confirmed)
        co_return;

    setBusyMessage(QStringLiteral("Restoring…"));
    try {
        auto restoring = Background::run([zip = *zip] { BackupManager::restore(zip); });
        auto restored = co_await restoring;
        restored.take();
        setNotice(QStringLiteral("Backup restored. You can open OpenEmu now."));
        refreshTidy();
    } catch (...) {
        setError(FriendlyError::from(std::current_exception(), QStringLiteral("Restoring the backup")));
    }
    setBusyMessage(std::nullopt);
}
