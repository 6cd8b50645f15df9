#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// What each vantor-cli command takes and how its help reads: one table for parsing, help,
// usage errors and shell completion.
namespace CommandTable {

struct Option
{
    QString name; // without the dashes
    QString valueName; // empty for a flag
    QString description;
};

struct Command
{
    QString name;
    QString argument; // the positional argument's name, or empty
    QString summary;
    QStringList options; // the command's own options (the global ones go with every command)
    QString example;
};

const QList<Option> &globalOptions();
const QList<Option> &commandOptions();
const QList<Command> &commands();
const Command *find(const QString &name);

// "vantor-cli help" and "vantor-cli help COMMAND".
QString overview();
QString help(const Command &command);

// A completion script for bash, zsh or fish; empty for another shell.
QString completion(const QString &shell);

} // namespace CommandTable
