#include "cli/TerminalPrompter.h"

#include <QTextStream>

#include <cstdio>
#include <unistd.h>

QCoro::Task<int> TerminalPrompter::ask(Alert alert)
{
    if (declined.contains(alert.id))
        co_return int(alert.buttons.size()) - 1;
    if (m_yes)
        co_return 0;
    if (!::isatty(STDIN_FILENO))
        co_return -1; // nobody to ask: a script that wants "yes" says --yes

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
        co_return -1;
    const QString answer = QString::fromLocal8Bit(line).trimmed();
    if (answer.isEmpty())
        co_return 0;
    bool ok = false;
    const int choice = answer.toInt(&ok);
    co_return ok &&choice >= 1 && choice <= alert.buttons.size() ? choice - 1 : -1;
}

QCoro::Task<std::optional<QString>> TerminalPrompter::choose(Panel panel)
{
    // A copy: QCoro's co_return moves from whatever it is given, members included.
    std::optional<QString> answer = panel.chooseFolder ? folder : file;
    co_return answer;
}
