#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What each vantor-cli command takes and how its help reads: one table for parsing, help,
// usage errors and shell completion.
namespace CommandTable {

// What completion offers for a value: these words, or the names of files or folders.
inline const QString files = QStringLiteral(":files");
inline const QString folders = QStringLiteral(":folders");

struct Option
{
    QString name; // without the dashes
    QString valueName; // empty for a flag
    QString description;
    QStringList values = {}; // what completion offers for the value (words, files or folders)
};

struct Command
{
    QString name;
    QString argument; // the positional argument's name, or empty
    QString summary;
    QStringList options; // the command's own options (the global ones go with every command)
    QString example;
    // What completion offers for each positional argument in turn (words, files or folders).
    QList<QStringList> arguments = {};
};

const QList<Option> &globalOptions();
const QList<Option> &commandOptions();
const QList<Command> &commands();
const Command *find(const QString &name);
// A global or command option by name; none when there is no such option.
const Option *findOption(const QString &name);
// The command names, in the table's order.
QStringList commandNames();

// "vantor-cli help" and "vantor-cli help COMMAND".
QString overview();
QString help(const Command &command);

// The word of `candidates` a mistyped `word` most likely meant: one a letter or two away, or the
// only one it begins; none when nothing is that close.
std::optional<QString> closest(const QString &word, const QStringList &candidates);
// Every option name, global and command, without dashes.
QStringList optionNames();

// The text with each line longer than `width` broken between words, continuing at the column
// where the line's description begins (or two spaces in, when that is too far right).
QString wrap(const QString &text, int width);

// A completion script for bash, zsh or fish; empty for another shell.
QString completion(const QString &shell);

} // namespace CommandTable
