// The Tidy page's uninstall: the app to the Trash, then, if the user wants, its data.

#include "app/AppModel.h"
#include "base/ByteCount.h"
#include "base/Prompter.h"
#include "platform/FileOps.h"

QCoro::Task<Outcome> AppModel::uninstall()
{
    if (!m_installed)
        co_return Outcome::declined;
    const InstalledApp app = *m_installed;
    const auto alive = m_alive;

    // Named, not a temporary in the co_await: g++ 12 destroys those twice.
    const Prompter::Alert question{
        Prompter::AlertId::uninstallApp,
        QStringLiteral("Move OpenEmu-Silicon to the Trash?"),
        QStringLiteral("Only the app at %1 is moved. Your games, saves and settings stay where "
                       "they are.")
            .arg(app.url),
        {QStringLiteral("Move app to Trash"), QStringLiteral("Cancel")},
        Prompter::Style::warning};
    ChangeLock::Hold hold;
    const Outcome confirmed = co_await confirmThenClose(question, hold);
    if (confirmed != Outcome::done || !*alive)
        co_return confirmed;

    try {
        FileOps::moveToTrash(app.url);
    } catch (...) {
        co_return fail(std::current_exception(), QStringLiteral("Moving the app to the Trash"));
    }
    setNotice(QStringLiteral("The app was moved to the Trash."));
    Outcome outcome = Outcome::done;

    // The data as the last Tidy scan saw it; a row that vanished since fails below.
    QList<TidyRow> data;
    for (const TidyRow &row : std::as_const(m_tidyRows)) {
        if (row.id != QStringLiteral("app") && row.exists)
            data.append(row);
    }
    if (!data.isEmpty()) {
        QStringList lines;
        for (const TidyRow &row : std::as_const(data))
            lines.append(QStringLiteral("• %1 (%2)").arg(row.url, ByteCount::fileStyle(row.size)));
        const Prompter::Alert dataQuestion{
            Prompter::AlertId::uninstallData,
            QStringLiteral("Also remove OpenEmu's data?"),
            QStringLiteral("This moves these folders and files to the Trash. It includes your library, save states and "
                           "BIOS files:\n")
                + lines.join(QLatin1Char('\n')),
            {QStringLiteral("Move data to Trash"), QStringLiteral("Cancel")},
            Prompter::Style::warning};
        const int answer = co_await m_prompter.ask(dataQuestion);
        if (!*alive)
            co_return Outcome::done;
        if (answer == 0) {
            try {
                for (const TidyRow &row : std::as_const(data))
                    FileOps::moveToTrash(row.url);
                setNotice(QStringLiteral("The app and its data were moved to the Trash."));
            } catch (...) {
                outcome = fail(std::current_exception(), QStringLiteral("Moving data to the Trash"));
            }
        }
    }

    refreshInstalled();
    refreshTidy();
    refreshBIOS();
    refreshBackupItems();
    co_return outcome;
}
