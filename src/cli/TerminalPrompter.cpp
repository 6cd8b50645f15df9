#include "cli/TerminalPrompter.h"
#include "cli/CliOutput.h"

#include <cstdio>
#include <unistd.h>

namespace {

// Questions carry paths, zip names and versions found on disk: cleaned like every other line, so
// no escape sequence in them reaches the terminal.
void write(const QString &text)
{
    std::fputs(CliOutput::printable(text).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

} // namespace

QCoro::Task<int> TerminalPrompter::ask(Alert alert)
{
    // Waiting on for OpenEmu is for someone at the terminal: a script stops rather than hang.
    if (m_yes)
        co_return alert.id == AlertId::stillOpen ? -1 : 0;
    if (!::isatty(STDIN_FILENO))
        co_return -1; // nobody to ask: a script that wants "yes" says --yes

    write(alert.message + QLatin1Char('\n'));
    if (!alert.informative.isEmpty())
        write(alert.informative + QLatin1Char('\n'));
    const int second = alert.buttons.size() > 1 ? 1 : -1;
    // apt's way: the capital letter is what Enter answers.
    const bool yesByDefault = alert.defaultButton == 0;
    for (;;) {
        write(alert.buttons.value(0) + (yesByDefault ? QStringLiteral("? [Y/n] ") : QStringLiteral("? [y/N] ")));
        char line[256] = {};
        if (!std::fgets(line, sizeof line, stdin)) {
            write(QStringLiteral("\n")); // Ctrl-D, closed input or Ctrl-C: declined
            co_return -1;
        }
        const QString answer = QString::fromLocal8Bit(line).trimmed().toLower();
        if (answer.isEmpty())
            co_return yesByDefault ? 0 : second;
        if (answer == QStringLiteral("y") || answer == QStringLiteral("yes"))
            co_return 0;
        if (answer == QStringLiteral("n") || answer == QStringLiteral("no"))
            co_return second;
    }
}

QCoro::Task<std::optional<QString>> TerminalPrompter::choose(Panel panel)
{
    // A copy: QCoro's co_return moves from whatever it is given, members included.
    std::optional<QString> answer = panel.chooseFolder ? folder : file;
    co_return answer;
}

QCoro::Task<Prompter::Picked> TerminalPrompter::pick(List)
{
    co_return Picked{};
}
