#include "cli/TerminalPrompter.h"

#include <QTextStream>

#include <cstdio>
#include <unistd.h>

int TerminalPrompter::ask(const Alert &alert)
{
    if (declined.contains(alert.message))
        return int(alert.buttons.size()) - 1;
    if (m_yes)
        return 0;
    if (!::isatty(STDIN_FILENO))
        return -1; // nobody to ask: a script that wants "yes" says --yes

    QTextStream err(stderr);
    err << alert.message << '\n';
    if (!alert.informative.isEmpty())
        err << alert.informative << '\n';
    for (qsizetype i = 0; i < alert.buttons.size(); ++i)
        err << "  " << (i + 1) << ") " << alert.buttons[i] << '\n';
    err << "Choose 1-" << alert.buttons.size() << " [1]: ";
    err.flush();

    char line[64] = {};
    if (!std::fgets(line, sizeof line, stdin))
        return -1;
    const QString answer = QString::fromLocal8Bit(line).trimmed();
    if (answer.isEmpty())
        return 0;
    bool ok = false;
    const int choice = answer.toInt(&ok);
    return ok && choice >= 1 && choice <= alert.buttons.size() ? choice - 1 : -1;
}

std::optional<QString> TerminalPrompter::chooseFolder(const QString &)
{
    return folder;
}

std::optional<QString> TerminalPrompter::chooseFile(const QString &, const QStringList &)
{
    return file;
}
