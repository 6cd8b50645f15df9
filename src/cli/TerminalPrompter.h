#pragma once

#include "base/Prompter.h"

// Answers the model's questions at the terminal: with --yes every alert gets its first
// button; otherwise a terminal is asked, and without one the question is declined. The
// folder and file choosers give what the command line named.
class TerminalPrompter : public Prompter
{
public:
    explicit TerminalPrompter(bool yes)
        : m_yes(yes)
    {
    }

    int ask(const Alert &alert) override;
    std::optional<QString> chooseFolder(const QString &prompt) override;
    std::optional<QString> chooseFile(const QString &prompt, const QStringList &nameFilters) override;

    std::optional<QString> folder; // what chooseFolder gives
    std::optional<QString> file; // what chooseFile gives
    QStringList declined; // alerts (by message) answered with their last button, whatever --yes says

private:
    bool m_yes;
};
