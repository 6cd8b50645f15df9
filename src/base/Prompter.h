#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The modal questions an action asks the user. The window answers them with alerts and open
// panels, vantor-cli at the terminal (or with --yes), tests from a script.
class Prompter
{
public:
    enum class Style { informational, warning };

    struct Alert
    {
        QString message;
        QString informative;
        QStringList buttons; // in order; the first is the default and the one that confirms
        Style style = Style::informational;
    };

    virtual ~Prompter() = default;

    // The index of the button chosen, or -1 when the alert was closed without one.
    virtual int ask(const Alert &alert) = 0;
    // A folder the user picked, or none when they cancelled.
    virtual std::optional<QString> chooseFolder(const QString &prompt) = 0;
    // A file the user picked, or none when they cancelled.
    virtual std::optional<QString> chooseFile(const QString &prompt, const QStringList &nameFilters) = 0;
};
