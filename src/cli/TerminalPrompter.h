#pragma once

#include "base/Prompter.h"

#include <QList>

// Answers the model's questions at the terminal: with --yes every alert gets its first
// button; otherwise a terminal is asked, and without one the question is declined. The
// panels give what the command line named.
class TerminalPrompter : public Prompter
{
public:
    explicit TerminalPrompter(bool yes)
        : m_yes(yes)
    {
    }

    QCoro::Task<int> ask(Alert alert) override;
    QCoro::Task<std::optional<QString>> choose(Panel panel) override;

    std::optional<QString> folder; // what a folder panel gives
    std::optional<QString> file; // what a file panel gives
    QList<AlertId> declined; // alerts answered with their last button, whatever --yes says

private:
    bool m_yes;
};
