// The Backup page's actions on the model.

#include "app/AppModel.h"
#include "app/ProgressRelay.h"
#include "datacare/BackupManager.h"

#include "base/Background.h"
#include "base/ByteCount.h"
#include "base/Paths.h"
#include "base/Prompter.h"
#include "base/Settings.h"
#include "platform/FileOps.h"
#include "platform/Workspace.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>

#include <tuple>

namespace {

// What the restore question says it will write over, and that it can be undone.
QString replacedSentence(const BackupManager::Replaced &replaced)
{
    if (replaced.files == 0)
        return QStringLiteral("No file there has the same name, so nothing is replaced.");
    const QString files
        = replaced.files == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(replaced.files);
    const QString newer = replaced.newer == 0 ? QStringLiteral("none of them changed after the backup was made")
                          : replaced.newer == replaced.files && replaced.files == 1
                              ? QStringLiteral("changed after the backup was made")
                          : replaced.newer == replaced.files
                              ? QStringLiteral("all of them changed after the backup was made")
                              : QStringLiteral("%1 of them changed after the backup was made").arg(replaced.newer);
    return QStringLiteral("It replaces %1 there (%2). Vantor keeps a copy of what it replaces, so you can undo the "
                          "restore.")
        .arg(files, newer);
}

} // namespace

QCoro::Task<> AppModel::refreshBackupItems()
{
    using Found = std::pair<QList<BackupItem>, QList<BackupManager::Listed>>;
    auto scanning = m_backup.refresh.inBackground(
        [folder = backupFolder()] { return Found(BackupManager::items(), BackupManager::listIn(folder)); },
        [this](Found found) {
            m_backup.earlier = std::move(found.second);
            assign(m_backup.items, std::move(found.first), &AppModel::backupItemsChanged);
        });
    co_await std::move(scanning);
}

QString AppModel::backupFolder() const
{
    return Settings::backupFolder().value_or(Paths::defaultBackupFolder());
}

void AppModel::setBackupFolder(const QString &folder)
{
    Settings::setBackupFolder(folder);
    m_backup.earlier.clear();
    Q_EMIT backupItemsChanged();
    Q_EMIT changed();
    QCoro::connect(refreshBackupItems(), this, [] {});
}

QCoro::Task<Outcome> AppModel::chooseBackupFolder()
{
    const Prompter::Panel panel{Prompter::PanelId::backupFolder,
                                QStringLiteral("Choose"),
                                QStringLiteral("Choose where Vantor saves your backups."),
                                {},
                                true};
    const QPointer<AppModel> self(this);
    const auto folder = co_await m_prompter.choose(panel);
    if (!self || !folder)
        co_return Outcome::declined;
    setBackupFolder(*folder);
    co_return Outcome::done;
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

QCoro::Task<Outcome> AppModel::runBackup(std::optional<QString> folder)
{
    return ChangeRunner::untilGone(backupFlow(std::move(folder)));
}

QCoro::Task<Outcome> AppModel::backupFlow(std::optional<QString> folder)
{
    std::optional<Change> change = beginChange(Work::backup);
    if (!change)
        co_return Outcome::failed;
    // The folder shown on the page (or given): no question. The default one is made when first used.
    if (!folder) {
        folder = backupFolder();
        if (*folder == Paths::defaultBackupFolder())
            QDir().mkpath(*folder);
    }
    // What is written is what was chosen at the click, whatever the toggles do meanwhile.
    const QList<BackupItem> items = m_backup.items;

    // Nothing of the user's changes, so nothing more is asked; a running OpenEmu is still asked to
    // quit, so that the copy is whole.
    const Outcome ready = co_await lockThenClose(*change);
    if (ready != Outcome::done)
        co_return ready;

    setBusyMessage(QStringLiteral("Creating backup…"));
    std::optional<ProgressRelay> progress(std::in_place, this,
                                          [this](qint64 done, qint64 of) { setBusyProgress(done, of); });
    auto writing = Background::run([items, folder = *folder, report = progress->callback()] {
        return BackupManager::create(items, folder, report);
    });
    auto written = co_await change->wait(writing, Outcome::done);
    progress.reset();
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

QCoro::Task<Outcome> AppModel::undoRestore()
{
    const QPointer<AppModel> self(this);
    auto finding = Background::run([] { return BackupManager::lastBeforeRestore(); });
    auto found = co_await finding;
    if (!self)
        co_return Outcome::cancelled;
    std::optional<QString> zip;
    try {
        zip = found.take();
    } catch (...) {
    }
    if (!zip) {
        setError(FriendlyError(QStringLiteral("There's no restore to undo.")));
        co_return Outcome::failed;
    }
    co_return co_await runRestore(zip);
}

QCoro::Task<Outcome> AppModel::runRestore(std::optional<QString> zip)
{
    return ChangeRunner::untilGone(restoreFlow(std::move(zip)));
}

QCoro::Task<Outcome> AppModel::restoreFlow(std::optional<QString> zip)
{
    std::optional<Change> change = beginChange(Work::restore);
    if (!change)
        co_return Outcome::failed;
    if (!zip) {
        // Every backup Vantor knows, newest first: those it made by itself (before updates and
        // restores) and those in the backup folder, each with its date, size and contents.
        auto listing = Background::run([folder = backupFolder()] {
            // Dated by their names; each zip's directory is read once, below, where a damaged one
            // is left out.
            QList<BackupManager::Listed> known = BackupManager::listIn(Paths::automaticBackupsFolder());
            known.append(BackupManager::listIn(folder));
            std::stable_sort(known.begin(), known.end(), [](const auto &a, const auto &b) { return a.made > b.made; });
            QList<Prompter::Row> rows;
            for (const BackupManager::Listed &backup : std::as_const(known)) {
                QStringList held;
                try {
                    for (const auto &[title, bytes] : BackupManager::contents(backup.path).items)
                        held.append(title);
                } catch (...) { // a damaged one is not offered
                    continue;
                }
                const QString kind = !FileOps::isInside(backup.path, Paths::automaticBackupsFolder())
                                         ? QStringLiteral("Backup")
                                     : BackupManager::isBeforeRestore(backup.path) ? QStringLiteral("Before a restore")
                                                                                   : QStringLiteral("Before an update");
                rows.append(
                    {backup.path,
                     QStringLiteral("%1, %2").arg(kind, QLocale().toString(backup.made, QLocale::LongFormat)),
                     ByteCount::fileStyle(backup.size) + QStringLiteral(" · ") + held.join(QStringLiteral(", ")),
                     rows.isEmpty()});
            }
            return rows;
        });
        auto listed = co_await change->wait(listing);
        QList<Prompter::Row> rows;
        try {
            rows = listed.take();
        } catch (...) { // nothing to offer: the file panel, as with no backups at all
        }
        if (!rows.isEmpty()) {
            const Prompter::List which{
                Prompter::ListId::restoreChoice,
                QStringLiteral("Which backup do you want to restore?"),
                QStringLiteral("Vantor backs up your save states and battery saves before "
                               "each update and each restore. You can also choose a backup "
                               "zip of your own."),
                rows,
                false,
                {QStringLiteral("Restore"), QStringLiteral("Choose a File…"), QStringLiteral("Cancel")},
                0};
            auto picking = m_prompter.pick(which);
            const Prompter::Picked picked = co_await change->wait(picking);
            if (picked.button < 0 || picked.button == 2 || (picked.button == 0 && picked.rows.isEmpty()))
                co_return Outcome::declined;
            if (picked.button == 0)
                zip = picked.rows.first();
        }
    }
    if (!zip) {
        const Prompter::Panel panel{Prompter::PanelId::restoreZip,
                                    QStringLiteral("Restore"),
                                    QStringLiteral("Choose an OpenEmu backup zip."),
                                    {QStringLiteral("Zip archives (*.zip)")},
                                    false};
        auto choosing = m_prompter.choose(panel);
        zip = co_await change->wait(choosing);
        if (!zip)
            co_return Outcome::declined;
    }

    // The zip is judged before anything is asked: a zip that cannot be restored gets its
    // reason at once.
    auto judging = Background::run([zip = *zip] {
        BackupManager::validate(zip);
        return std::pair(BackupManager::contents(zip), BackupManager::replacedBy(zip));
    });
    auto judged = co_await change->wait(judging);
    BackupManager::Contents contents;
    BackupManager::Replaced replaced;
    try {
        std::tie(contents, replaced) = judged.take();
    } catch (...) {
        co_return fail(std::current_exception(), QStringLiteral("Restoring the backup"));
    }

    // What this zip holds, and only that, is what it says will be replaced.
    QStringList held;
    for (const auto &[title, bytes] : std::as_const(contents.items))
        held.append(QStringLiteral("• %1 (%2)").arg(title, ByteCount::fileStyle(bytes)));
    // Named, not a temporary in the co_await: g++ 12 destroys those twice.
    const Prompter::Alert question{Prompter::AlertId::restore,
                                   QStringLiteral("Restore this backup?"),
                                   QStringLiteral("%1, made %2, holds:\n%3\n%4")
                                       .arg(QFileInfo(*zip).fileName(),
                                            QLocale().toString(contents.made, QLocale::LongFormat),
                                            held.isEmpty() ? QStringLiteral("• nothing") : held.join(QLatin1Char('\n')),
                                            replacedSentence(replaced)),
                                   {QStringLiteral("Restore"), QStringLiteral("Cancel")},
                                   Prompter::Style::warning,
                                   1}; // it writes over the user's files: Return keeps them
    const Outcome confirmed = co_await confirmThenClose(question, *change);
    if (confirmed != Outcome::done)
        co_return confirmed;

    setBusyMessage(QStringLiteral("Restoring…"));
    std::optional<ProgressRelay> progress(std::in_place, this,
                                          [this](qint64 done, qint64 of) { setBusyProgress(done, of); });
    auto restoring
        = Background::run([zip = *zip, report = progress->callback()] { return BackupManager::restore(zip, report); });
    auto restored = co_await change->wait(restoring, Outcome::done);
    progress.reset();
    Outcome outcome = Outcome::done;
    try {
        const BackupManager::Restored done = restored.take();
        const QString details = done.notWritten.isEmpty()
                                    ? QString()
                                    : QStringLiteral("Not restored, as this disk takes their names for others already "
                                                     "restored:\n")
                                          + done.notWritten.join(QLatin1Char('\n'));
        const QString text
            = done.notWritten.isEmpty()
                  ? QStringLiteral("Backup restored. You can open OpenEmu now.")
                  : QStringLiteral("Backup restored, except %1 this disk can't tell apart from "
                                   "others.")
                        .arg(done.notWritten.size() == 1 ? QStringLiteral("1 file")
                                                         : QStringLiteral("%1 files").arg(done.notWritten.size()));
        if (done.undo)
            setNotice(text, NoticeAction::undoRestore, details, *done.undo);
        else
            setNotice(text, NoticeAction::openOpenEmu, details);
        refreshTidy();
    } catch (...) {
        outcome = fail(std::current_exception(), QStringLiteral("Restoring the backup"));
    }
    setBusyMessage(std::nullopt);
    setBusyProgress(0, 0);
    co_return outcome;
}
