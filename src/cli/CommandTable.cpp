#include "cli/CommandTable.h"

namespace CommandTable {

namespace {

QString s(const char *text)
{
    return QString::fromUtf8(text);
}

QString optionLine(const Option &option)
{
    QString left = QStringLiteral("  --") + option.name;
    if (!option.valueName.isEmpty())
        left += QLatin1Char(' ') + option.valueName;
    return left.leftJustified(26) + option.description + QLatin1Char('\n');
}

const Option *findOption(const QString &name)
{
    for (const QList<Option> *list : {&globalOptions(), &commandOptions()}) {
        for (const Option &option : *list) {
            if (option.name == name)
                return &option;
        }
    }
    return nullptr;
}

} // namespace

const QList<Option> &globalOptions()
{
    static const QList<Option> options = {
        {s("json"), {}, s("Write the result as one JSON object.")},
        {s("verbose"), {}, s("Show the details of failures.")},
        {s("yes"), {}, s("Confirm without a question.")},
        {s("feed-url"), s("URL"), s("Read releases from this address.")},
        {s("demo"), {}, s("Work in a sandbox with a local sample release feed.")},
        {s("demo-reset"), {}, s("Start the demo afresh.")},
        {s("progress"), {}, s("Report progress even when not on a terminal.")},
    };
    return options;
}

const QList<Option> &commandOptions()
{
    static const QList<Option> options = {
        {s("system"), {}, s("Install into the system Applications folder.")},
        {s("reinstall"), {}, s("Replace the installed copy, whatever its version.")},
        {s("to"), s("DIR"), s("The folder to save the backup zip in.")},
        {s("only"), s("ITEMS"), s("The items to back up, of states,library,prefs.")},
        {s("with-data"), {}, s("Also move OpenEmu's data to the Trash.")},
        {s("include-skipped"), {}, s("Update even to a version you skipped.")},
        {s("no-backup"), {}, s("Don't back up the save states first, this once.")},
        {s("keep-data"), {}, s("Move only the app to the Trash (the default).")},
    };
    return options;
}

const QList<Command> &commands()
{
    static const QList<Command> table = {
        {s("status"),
         {},
         s("This Mac, the installed OpenEmu-Silicon and the latest release."),
         {},
         s("vantor-cli status")},
        {s("latest"),
         {},
         s("The latest release and the file Vantor would install."),
         {},
         s("vantor-cli --json latest")},
        {s("install"),
         {},
         s("Download, verify and install the latest release."),
         {s("system"), s("reinstall")},
         s("vantor-cli install --system")},
        {s("update"),
         {},
         s("Update the installed app, keeping the replaced copy."),
         {s("include-skipped"), s("no-backup")},
         s("vantor-cli --yes update")},
        {s("skip"),
         s("[TAG]"),
         s("Don't offer this release (the latest by default) until a newer one."),
         {},
         s("vantor-cli skip v1.0.4")},
        {s("unskip"), {}, s("Offer the skipped release again."), {}, s("vantor-cli unskip")},
        {s("set"),
         s("auto-backup on|off"),
         s("Whether updates back up the save states first."),
         {},
         s("vantor-cli set auto-backup off")},
        {s("rollback"), {}, s("Swap the installed app with the kept previous version."), {}, s("vantor-cli rollback")},
        {s("launch"), {}, s("Open OpenEmu-Silicon."), {}, s("vantor-cli launch")},
        {s("tidy"), {}, s("OpenEmu's files and folders with their sizes."), {}, s("vantor-cli --json tidy")},
        {s("backup"),
         {},
         s("Save the save states, library and settings as a timestamped zip."),
         {s("to"), s("only")},
         s("vantor-cli backup --to ~/Backups --only states")},
        {s("restore"),
         s("ZIP"),
         s("Restore a backup zip into ~/Library."),
         {},
         s("vantor-cli restore ~/Backups/OpenEmu-Backup-2026-12-06_21-07-45.zip")},
        {s("uninstall"),
         {},
         s("Move the app (and with --with-data its data) to the Trash."),
         {s("with-data"), s("keep-data")},
         s("vantor-cli uninstall --with-data")},
        {s("guide"), {}, s("The first-game checklist, BIOS files and controllers."), {}, s("vantor-cli guide")},
        {s("systems"), {}, s("The systems OpenEmu-Silicon supports."), {}, s("vantor-cli systems")},
        {s("set-games-folder"),
         s("PATH"),
         s("Remember the folder where your game files are kept."),
         {},
         s("vantor-cli set-games-folder ~/Games")},
        {s("completion"),
         s("SHELL"),
         s("Print a completion script for bash, zsh or fish."),
         {},
         s("source <(vantor-cli completion bash)")},
        {s("help"), s("[COMMAND]"), s("Show help for vantor-cli or one command."), {}, s("vantor-cli help backup")},
    };
    return table;
}

const Command *find(const QString &name)
{
    for (const Command &command : commands()) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

QString overview()
{
    QString text = s("Installs, updates and looks after OpenEmu-Silicon.\n\nUsage: vantor-cli [OPTIONS] COMMAND\n\n"
                     "Commands:\n");
    for (const Command &command : commands())
        text += (QStringLiteral("  ") + command.name).leftJustified(26) + command.summary + QLatin1Char('\n');
    text += s("\nOptions for every command:\n");
    for (const Option &option : globalOptions())
        text += optionLine(option);
    text += s("\nRun 'vantor-cli help COMMAND' for a command's own options.\n");
    return text;
}

QString help(const Command &command)
{
    QString synopsis = QStringLiteral("vantor-cli ") + command.name;
    for (const QString &name : command.options) {
        const Option *option = findOption(name);
        synopsis += QStringLiteral(" [--") + name
                    + (option->valueName.isEmpty() ? QString() : QLatin1Char(' ') + option->valueName)
                    + QLatin1Char(']');
    }
    if (!command.argument.isEmpty())
        synopsis += QLatin1Char(' ') + command.argument;
    QString text = command.summary + QStringLiteral("\n\nUsage: ") + synopsis + QLatin1Char('\n');
    if (!command.options.isEmpty()) {
        text += s("\nOptions:\n");
        for (const QString &name : command.options)
            text += optionLine(*findOption(name));
    }
    text += s("\nOptions for every command: ");
    QStringList global;
    for (const Option &option : globalOptions())
        global.append(QStringLiteral("--") + option.name);
    text += global.join(QLatin1Char(' ')) + QStringLiteral("\n\nExample:\n  ") + command.example + QLatin1Char('\n');
    return text;
}

QString completion(const QString &shell)
{
    QStringList names;
    for (const Command &command : commands())
        names.append(command.name);
    QStringList options;
    for (const QList<Option> *list : {&globalOptions(), &commandOptions()}) {
        for (const Option &option : *list)
            options.append(QStringLiteral("--") + option.name);
    }
    const QString words = names.join(QLatin1Char(' '));
    const QString flags = options.join(QLatin1Char(' '));
    if (shell == QStringLiteral("bash"))
        return QStringLiteral(
                   "_vantor_cli() {\n"
                   "    local current=\"${COMP_WORDS[COMP_CWORD]}\"\n"
                   "    if [[ \"$current\" == -* ]]; then\n"
                   "        COMPREPLY=($(compgen -W \"%1\" -- \"$current\"))\n"
                   "    elif [[ \"${COMP_WORDS[COMP_CWORD-1]}\" == restore || \"${COMP_WORDS[COMP_CWORD-1]}\" "
                   "== set-games-folder || \"${COMP_WORDS[COMP_CWORD-1]}\" == --to ]]; then\n"
                   "        COMPREPLY=($(compgen -f -- \"$current\"))\n"
                   "    else\n"
                   "        COMPREPLY=($(compgen -W \"%2\" -- \"$current\"))\n"
                   "    fi\n"
                   "}\n"
                   "complete -o filenames -F _vantor_cli vantor-cli\n")
            .arg(flags, words);
    if (shell == QStringLiteral("zsh"))
        return QStringLiteral("#compdef vantor-cli\n_arguments '1:command:(%1)' '*:option:(%2)' '*:file:_files'\n")
            .arg(words, flags);
    if (shell == QStringLiteral("fish")) {
        QString script;
        for (const Command &command : commands())
            script
                += QStringLiteral("complete -c vantor-cli -n __fish_use_subcommand -a %1 -d '%2'\n")
                       .arg(command.name, QString(command.summary).replace(QLatin1Char('\''), QStringLiteral("\\'")));
        for (const QList<Option> *list : {&globalOptions(), &commandOptions()}) {
            for (const Option &option : *list)
                script += QStringLiteral("complete -c vantor-cli -l %1\n").arg(option.name);
        }
        return script;
    }
    return {};
}

} // namespace CommandTable
