#pragma once

#include "base/Prompter.h"

// Answers the model's questions at the terminal, the way apt asks: "Roll Back? [Y/n] ", or
// "[y/N]" where the safe answer is the default. With
// --yes every alert gets its first button; without a terminal nothing is read and the question
// is declined. The panels give what the command line named.
class TerminalPrompter : public Prompter
{
public:
    explicit TerminalPrompter(bool yes)
        : m_yes(yes)
    {
    }

    QCoro::Task<int> ask(Alert alert) override;
    QCoro::Task<std::optional<QString>> choose(Panel panel) override;
    // The command line names its rows itself (restore ZIP, uninstall --with): never asked.
    QCoro::Task<Picked> pick(List list) override;

    std::optional<QString> folder; // what a folder panel gives
    std::optional<QString> file; // what a file panel gives

private:
    bool m_yes;
};
