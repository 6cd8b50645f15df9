// The Tidy page's uninstall: the app to the Trash, then, if the user wants, its data.

#include "app/AppModel.h"
#include "base/ByteCount.h"
#include "base/Prompter.h"
#include "platform/AppPreferences.h"
#include "platform/FileOps.h"

#include <QFileInfo>

namespace {

QString listed(const QList<TidyRow> &rows)
{
    QStringList lines;
    for (const TidyRow &row : rows)
        lines.append(QStringLiteral("• %1 (%2)").arg(row.url, ByteCount::fileStyle(row.size)));
    return lines.join(QLatin1Char('\n'));
}

} // namespace

QCoro::Task<Outcome> AppModel::uninstall(DataChoice choice)
{
    if (!m_installed)
        co_return Outcome::declined;
    std::optional<Change> change = beginChange(Work::uninstall);
    if (!change)
        co_return Outcome::failed;
    const InstalledApp app = *m_installed;

    // The data as the last Tidy scan saw it; a row that vanished since fails below.
    QList<TidyRow> data;
    for (const TidyRow &row : std::as_const(m_tidy.rows)) {
        if (row.id != QStringLiteral("app") && row.exists)
            data.append(row);
    }
    // Asked for up front (vantor-cli uninstall --with-data): one question that says all of it.
    const bool dataToo = choice == DataChoice::remove && !data.isEmpty();

    // Named, not a temporary in the co_await: g++ 12 destroys those twice.
    const Prompter::Alert question
        = dataToo ? Prompter::Alert{Prompter::AlertId::uninstallApp,
                                    QStringLiteral("Move OpenEmu-Silicon and its data to the Trash?"),
                                    QStringLiteral("The app at %1 is moved, and so are these folders and files, with "
                                                   "your library, save states and BIOS files:\n")
                                            .arg(app.url)
                                        + listed(data),
                                    {QStringLiteral("Move App and Data to Trash"), QStringLiteral("Cancel")},
                                    Prompter::Style::warning,
                                    1}
                  : Prompter::Alert{Prompter::AlertId::uninstallApp,
                                    QStringLiteral("Move OpenEmu-Silicon to the Trash?"),
                                    QStringLiteral("Only the app at %1 is moved. Your games, saves and settings stay "
                                                   "where they are.")
                                        .arg(app.url),
                                    {QStringLiteral("Move App to Trash"), QStringLiteral("Cancel")},
                                    Prompter::Style::warning};
    const Outcome confirmed = co_await confirmThenClose(question, *change);
    if (confirmed != Outcome::done || change->ownerGone())
        co_return confirmed;

    try {
        try {
            FileOps::moveToTrash(app.url);
        } catch (...) {
            FriendlyError::rethrowForAppChange(std::current_exception());
        }
    } catch (...) {
        co_return fail(std::current_exception(), QStringLiteral("Moving the app to the Trash"));
    }
    setNotice(QStringLiteral("The app was moved to the Trash."));
    Outcome outcome = Outcome::done;

    bool moveData = dataToo;
    if (choice == DataChoice::ask && !data.isEmpty()) {
        const Prompter::Alert dataQuestion{
            Prompter::AlertId::uninstallData,
            QStringLiteral("Also remove OpenEmu's data?"),
            QStringLiteral("This moves these folders and files to the Trash. It includes your library, save states and "
                           "BIOS files:\n")
                + listed(data),
            {QStringLiteral("Move Data to Trash"), QStringLiteral("Keep Data")},
            Prompter::Style::warning,
            1};
        const int answer = co_await m_prompter.ask(dataQuestion);
        if (change->ownerGone())
            co_return Outcome::done;
        // OpenEmu may have been opened while the question was up: its data does not move while
        // it runs.
        if (answer == 0) {
            const Outcome closed = co_await ensureClosed(*change);
            if (change->ownerGone())
                co_return Outcome::done;
            moveData = closed == Outcome::done;
            if (closed == Outcome::failed)
                outcome = Outcome::failed;
        }
    }
    if (moveData) {
        try {
            for (const TidyRow &row : std::as_const(data)) {
                FileOps::moveToTrash(row.url);
                if (row.id == QStringLiteral("prefs")) // else the preferences service may write it back
                    AppPreferences::forget(QFileInfo(row.url).completeBaseName());
            }
            setNotice(QStringLiteral("The app and its data were moved to the Trash."));
        } catch (...) {
            outcome = fail(std::current_exception(), QStringLiteral("Moving data to the Trash"));
        }
    }

    refreshInstalled();
    refreshTidy();
    refreshCores();
    refreshBIOS();
    refreshBackupItems();
    co_return outcome;
}

QCoro::Task<Outcome> AppModel::trashLeftover(QString rowId)
{
    // What the last Tidy scan showed; only OpenEmu's data, once its app has gone.
    const auto found = std::find_if(m_tidy.rows.cbegin(), m_tidy.rows.cend(),
                                    [&](const TidyRow &row) { return row.id == rowId && row.exists; });
    if (m_installed || found == m_tidy.rows.cend() || rowId == QStringLiteral("app"))
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
    if (confirmed != Outcome::done || change->ownerGone())
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
