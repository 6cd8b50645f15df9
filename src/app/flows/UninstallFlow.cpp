// The Tidy page's uninstall: the app to the Trash, then, if the user wants, its data.

#include "app/AppModel.h"
#include "base/Background.h"
#include "base/ByteCount.h"
#include "base/Prompter.h"
#include "datacare/UninstallItems.h"
#include "platform/AppPreferences.h"
#include "platform/FileOps.h"

#include <QFileInfo>

bool AppModel::canTrashAnyTime(const QString &rowId)
{
    // Nothing of the user's, and nothing the app needs while it is there.
    return rowId == QStringLiteral("caches") || rowId == QStringLiteral("savedstate")
           || rowId == QStringLiteral("previous");
}

namespace {

QString listed(const QList<TidyRow> &rows)
{
    QStringList lines;
    for (const TidyRow &row : rows)
        lines.append(QStringLiteral("• %1 (%2)").arg(row.url, ByteCount::fileStyle(row.size)));
    return lines.join(QLatin1Char('\n'));
}

} // namespace

QCoro::Task<Outcome> AppModel::uninstall(std::optional<QStringList> ids)
{
    return ChangeRunner::untilGone(uninstallFlow(std::move(ids)));
}

QCoro::Task<Outcome> AppModel::uninstallFlow(std::optional<QStringList> ids)
{
    if (!m_installed)
        co_return Outcome::declined;
    std::optional<Change> change = beginChange(Work::uninstall);
    if (!change)
        co_return Outcome::failed;
    const InstalledApp app = *m_installed;

    auto listing = Background::run([url = app.url] { return UninstallItems::list(url); });
    auto listed = co_await change->wait(listing);
    QList<UninstallItem> items;
    try {
        items = listed.take();
    } catch (...) {
        co_return fail(std::current_exception(), QStringLiteral("Reading what OpenEmu keeps"));
    }

    QStringList chosen;
    if (!ids) {
        // The window: one checklist, the safe rows ticked; Return keeps everything.
        QList<Prompter::Row> rows;
        qint64 total = 0;
        for (const UninstallItem &item : std::as_const(items)) {
            rows.append({item.id, item.title,
                         ByteCount::fileStyle(item.size)
                             + (item.note.isEmpty() ? QString() : QStringLiteral(" · ") + item.note),
                         item.checked});
            total = ByteCount::saturatingAdd(total, item.size);
        }
        const Prompter::List checklist{Prompter::ListId::uninstallItems,
                                       QStringLiteral("Uninstall OpenEmu-Silicon?"),
                                       QStringLiteral("The ticked items go to the Trash, where they stay until you "
                                                      "empty it. All of them together take %1.")
                                           .arg(ByteCount::fileStyle(total)),
                                       rows,
                                       true,
                                       {QStringLiteral("Move to Trash"), QStringLiteral("Cancel")},
                                       1};
        auto picking = m_prompter.pick(checklist);
        const Prompter::Picked picked = co_await change->wait(picking);
        if (picked.button != 0 || picked.rows.isEmpty())
            co_return Outcome::declined;
        chosen = picked.rows;
        const Outcome ready = co_await lockThenClose(*change);
        if (ready != Outcome::done)
            co_return ready;
    } else {
        // The command line named the items: one question that lists exactly what moves.
        QStringList lines;
        for (const UninstallItem &item : std::as_const(items)) {
            if (ids->contains(item.id)) {
                chosen.append(item.id);
                for (qsizetype i = 0; i < item.paths.size(); ++i)
                    lines.append(
                        QStringLiteral("• %1 (%2)").arg(item.paths[i], ByteCount::fileStyle(item.sizes.value(i))));
            }
        }
        if (chosen.isEmpty())
            co_return Outcome::declined;
        // Named, not a temporary in the co_await: g++ 12 destroys those twice.
        const Prompter::Alert question{
            Prompter::AlertId::uninstallApp, QStringLiteral("Move these to the Trash?"),
            lines.join(QLatin1Char('\n')),   {QStringLiteral("Move to Trash"), QStringLiteral("Cancel")},
            Prompter::Style::warning,        1};
        const Outcome confirmed = co_await confirmThenClose(question, *change);
        if (confirmed != Outcome::done)
            co_return confirmed;
    }

    // The app first: what is left is then only data, which a failure part-way leaves whole.
    QStringList moved;
    Outcome outcome = Outcome::done;
    for (const UninstallItem &item : std::as_const(items)) {
        if (!chosen.contains(item.id))
            continue;
        try {
            try {
                for (const QString &path : item.paths) {
                    FileOps::moveToTrash(path);
                    if (item.id == QStringLiteral("prefs")) // else the preferences service may write it back
                        AppPreferences::forget(QFileInfo(path).completeBaseName());
                }
            } catch (...) {
                if (item.id == QStringLiteral("app"))
                    FriendlyError::rethrowForAppChange(std::current_exception());
                throw;
            }
            moved.append(item.id == QStringLiteral("app") ? item.title : item.title.toLower());
        } catch (...) {
            outcome = fail(std::current_exception(), item.id == QStringLiteral("app")
                                                         ? QStringLiteral("Moving the app to the Trash")
                                                         : QStringLiteral("Moving data to the Trash"));
            break;
        }
    }
    if (!moved.isEmpty())
        setNotice(moved.size() == 1 && chosen.contains(QStringLiteral("app"))
                      ? QStringLiteral("OpenEmu-Silicon was moved to the Trash.")
                      : QStringLiteral("Moved to the Trash: %1.").arg(moved.join(QStringLiteral(", "))));
    refreshInstalled();
    co_return outcome;
}

QCoro::Task<Outcome> AppModel::trashLeftover(QString rowId)
{
    return ChangeRunner::untilGone(trashLeftoverFlow(std::move(rowId)));
}

QCoro::Task<Outcome> AppModel::trashLeftoverFlow(QString rowId)
{
    // What the last Tidy scan showed; only OpenEmu's data, once its app has gone.
    const auto found = std::find_if(m_tidy.rows.cbegin(), m_tidy.rows.cend(),
                                    [&](const TidyRow &row) { return row.id == rowId && row.exists; });
    if (found == m_tidy.rows.cend() || rowId == QStringLiteral("app") || (m_installed && !canTrashAnyTime(rowId)))
        co_return Outcome::declined;
    const TidyRow row = *found;
    std::optional<Change> change = beginChange(Work::uninstall);
    if (!change)
        co_return Outcome::failed;
    // Named, not a temporary in the co_await: g++ 12 destroys those twice.
    const Prompter::Alert question{Prompter::AlertId::uninstallData,
                                   QStringLiteral("Move %1 to the Trash?").arg(row.title),
                                   QStringLiteral("This moves it to the Trash, where it stays until you empty it:\n")
                                       + listed({row}),
                                   {QStringLiteral("Move to Trash"), QStringLiteral("Cancel")},
                                   Prompter::Style::warning,
                                   1};
    const Outcome confirmed = co_await confirmThenClose(question, *change);
    if (confirmed != Outcome::done)
        co_return confirmed;
    Outcome outcome = Outcome::done;
    try {
        FileOps::moveToTrash(row.url);
        if (row.id == QStringLiteral("prefs")) // else the preferences service may write it back
            AppPreferences::forget(QFileInfo(row.url).completeBaseName());
        setNotice(QStringLiteral("%1 was moved to the Trash.").arg(row.title));
    } catch (...) {
        outcome = fail(std::current_exception(), QStringLiteral("Moving data to the Trash"));
    }
    refreshTidy();
    refreshBIOS();
    refreshBackupItems();
    co_return outcome;
}
