#include "cli/CommandTable.h"

#include <algorithm>

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
        {s("to"), s("DIR"), s("The folder to save the backup zip in (~/Documents/OpenEmu Backups)."), {folders}},
        {s("only"),
         s("ITEMS"),
         s("The items to back up, of states,library,battery,bios,screenshots,prefs."),
         {s("states"), s("library"), s("battery"), s("bios"), s("screenshots"), s("prefs")}},
        {s("with-data"), {}, s("Also move OpenEmu's data to the Trash (not Vantor's automatic backups).")},
        {s("with"),
         s("ITEMS"),
         s("Also move these to the Trash, of caches,states,battery,bios,library,screenshots,prefs,other,previous,"
           "autobackups."),
         {s("caches"), s("states"), s("battery"), s("bios"), s("library"), s("screenshots"), s("prefs"), s("other"),
          s("previous"), s("autobackups")}},
        {s("include-skipped"), {}, s("Update even to a version you skipped.")},
        {s("no-backup"), {}, s("Don't back up the save states and battery saves first, this once.")},
        {s("keep-data"), {}, s("Move only the app to the Trash (the default).")},
        {s("at-risk"), {}, s("Only the save states that may not load with the cores installed.")},
        {s("undo"), {}, s("Put back the files the last restore replaced.")},
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
         s("Whether updates back up the save states and battery saves first."),
         {},
         s("vantor-cli set auto-backup off"),
         {{s("auto-backup")}, {s("on"), s("off")}}},
        {s("rollback"), {}, s("Swap the installed app with the kept previous version."), {}, s("vantor-cli rollback")},
        {s("launch"), {}, s("Open OpenEmu-Silicon."), {}, s("vantor-cli launch")},
        {s("tidy"), {}, s("OpenEmu's files and folders with their sizes."), {}, s("vantor-cli --json tidy")},
        {s("cores"),
         {},
         s("OpenEmu's emulator cores: name, identifier, version, place and systems."),
         {},
         s("vantor-cli --json cores")},
        {s("states"),
         {},
         s("OpenEmu's save states, and whether each will load with the cores installed."),
         {s("at-risk")},
         s("vantor-cli states --at-risk")},
        {s("backup"),
         {},
         s("Save the save states, library, battery saves, BIOS files and settings as a timestamped zip."),
         {s("to"), s("only")},
         s("vantor-cli backup --to ~/Backups --only states")},
        {s("restore"),
         s("ZIP"),
         s("Restore a backup zip into ~/Library, or undo the last restore."),
         {s("undo")},
         s("vantor-cli restore ~/Backups/OpenEmu-Backup-2026-12-06_21-07-45.zip"),
         {{files}}},
        {s("uninstall"),
         {},
         s("Move the app (and with --with or --with-data what else you name) to the Trash."),
         {s("with"), s("with-data"), s("keep-data")},
         s("vantor-cli uninstall --with-data")},
        {s("guide"), {}, s("The first-game checklist, BIOS files and controllers."), {}, s("vantor-cli guide")},
        {s("systems"), {}, s("The systems OpenEmu-Silicon supports."), {}, s("vantor-cli systems")},
        {s("bios-import"),
         s("PATH…"),
         s("Add the BIOS files OpenEmu knows from files, folders and zips, under the names it wants."),
         {},
         s("vantor-cli bios-import ~/Downloads/bios.zip ~/BIOS"),
         {{files}}},
        {s("set-games-folder"),
         s("PATH"),
         s("Remember the folder where your game files are kept."),
         {},
         s("vantor-cli set-games-folder ~/Games"),
         {{folders}}},
        {s("completion"),
         s("SHELL"),
         s("Print a completion script for bash, zsh or fish."),
         {},
         s("source <(vantor-cli completion bash)"),
         {{s("bash"), s("zsh"), s("fish")}}},
        {s("help"), s("[COMMAND]"), s("Show help for vantor-cli or one command."), {}, s("vantor-cli help backup")},
    };
    return table;
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

QStringList commandNames()
{
    QStringList names;
    for (const Command &command : commands())
        names.append(command.name);
    return names;
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

namespace {

int editDistance(const QString &a, const QString &b)
{
    QList<int> row(b.size() + 1);
    for (qsizetype j = 0; j <= b.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

} // namespace

std::optional<QString> closest(const QString &word, const QStringList &candidates)
{
    const QString typed = word.toLower();
    std::optional<QString> best;
    int bestDistance = std::min<int>(2, int(typed.size()) / 2); // "ab" is no typo of "tidy"
    for (const QString &candidate : candidates) {
        const int distance = editDistance(typed, candidate);
        if (distance <= bestDistance && (!best || distance < bestDistance)) {
            best = candidate;
            bestDistance = distance;
        }
    }
    if (best)
        return best;
    QStringList starting;
    for (const QString &candidate : candidates) {
        if (typed.size() >= 2 && candidate.startsWith(typed))
            starting.append(candidate);
    }
    return starting.size() == 1 ? std::optional(starting.first()) : std::nullopt;
}

QStringList optionNames()
{
    QStringList names{QStringLiteral("help"), QStringLiteral("version")};
    for (const auto *list : {&globalOptions(), &commandOptions()}) {
        for (const Option &option : *list)
            names.append(option.name);
    }
    return names;
}

QString wrap(const QString &text, int width)
{
    width = std::max(width, 20);
    QStringList out;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (line.size() <= width) {
            out.append(line);
            continue;
        }
        // Where the description starts: after the first gap of two spaces past the first word.
        qsizetype lead = 0;
        while (lead < line.size() && line[lead] == QLatin1Char(' '))
            ++lead;
        qsizetype indent = lead;
        if (const qsizetype gap = line.indexOf(QStringLiteral("  "), lead); gap > 0) {
            indent = gap;
            while (indent < line.size() && line[indent] == QLatin1Char(' '))
                ++indent;
        }
        if (indent > width / 2)
            indent = lead + 2;
        QString rest = line;
        bool first = true;
        while (rest.size() > width) {
            qsizetype cut = rest.lastIndexOf(QLatin1Char(' '), width);
            const qsizetype floor = first ? indent : indent + 1;
            if (cut <= floor) // one word longer than the line: it goes whole
                cut = rest.indexOf(QLatin1Char(' '), width);
            if (cut < 0)
                break;
            QString head = rest.left(cut);
            while (head.endsWith(QLatin1Char(' ')))
                head.chop(1);
            out.append(head);
            rest = QString(indent, QLatin1Char(' ')) + rest.mid(cut).trimmed();
            first = false;
        }
        out.append(rest);
    }
    return out.join(QLatin1Char('\n'));
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

namespace {

// What a value or argument offers, as one line of the bash function.
QString offer(const QStringList &values)
{
    if (values == QStringList{files})
        return QStringLiteral("COMPREPLY=($(compgen -f -- \"$current\"))");
    if (values == QStringList{folders})
        return QStringLiteral("COMPREPLY=($(compgen -d -- \"$current\"))");
    return QStringLiteral("COMPREPLY=($(compgen -W \"%1\" -- \"$current\"))").arg(values.join(QLatin1Char(' ')));
}

QStringList flags(const QList<Option> &options)
{
    QStringList names;
    for (const Option &option : options)
        names.append(QStringLiteral("--") + option.name);
    return names;
}

// The arguments completion offers for a command, position by position ("help" offers commands).
QList<QStringList> argumentsOf(const Command &command)
{
    if (command.name == QStringLiteral("help"))
        return {commandNames()};
    return command.arguments;
}

// One bash function from the table: the command is the first word that is not an option (or an
// option's value); after it, its own options, its arguments in turn, and the values of options.
QString bashFunction()
{
    QString valued, values, cases;
    for (const QList<Option> *list : {&globalOptions(), &commandOptions()}) {
        for (const Option &option : *list) {
            if (option.valueName.isEmpty())
                continue;
            valued += QStringLiteral(" --") + option.name;
            values += QStringLiteral("    --%1) %2; return ;;\n")
                          .arg(option.name,
                               option.values.isEmpty() ? QStringLiteral("COMPREPLY=()") : offer(option.values));
        }
    }
    const QString global = flags(globalOptions()).join(QLatin1Char(' '));
    for (const Command &command : commands()) {
        QStringList own = flags(globalOptions());
        for (const QString &name : command.options)
            own.append(QStringLiteral("--") + name);
        QString positions;
        const QList<QStringList> arguments = argumentsOf(command);
        for (qsizetype i = 0; i < arguments.size(); ++i)
            positions += QStringLiteral("        %1) %2 ;;\n").arg(i).arg(offer(arguments[i]));
        cases
            += QStringLiteral(
                   "    %1)\n"
                   "        if [[ \"$current\" == -* ]]; then COMPREPLY=($(compgen -W \"%2\" -- \"$current\")); return; fi\n"
                   "        case $position in\n%3        *) COMPREPLY=() ;;\n        esac ;;\n")
                   .arg(command.name, own.join(QLatin1Char(' ')), positions);
    }
    return QStringLiteral("_vantor_cli() {\n"
                          "    local current=\"${COMP_WORDS[COMP_CWORD]}\" previous=\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
                          "    local command=\"\" position=0 i word\n"
                          "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
                          "        word=\"${COMP_WORDS[i]}\"\n"
                          "        case \" %1 \" in *\" $word \"*) ((i++)); continue ;; esac\n"
                          "        [[ \"$word\" == -* ]] && continue\n"
                          "        if [[ -z \"$command\" ]]; then command=\"$word\"; else ((position++)); fi\n"
                          "    done\n"
                          "    case \"$previous\" in\n%2    esac\n"
                          "    if [[ -z \"$command\" ]]; then\n"
                          "        if [[ \"$current\" == -* ]]; then COMPREPLY=($(compgen -W \"%3\" -- \"$current\"))\n"
                          "        else COMPREPLY=($(compgen -W \"%4\" -- \"$current\")); fi\n"
                          "        return\n"
                          "    fi\n"
                          "    case \"$command\" in\n%5    *) COMPREPLY=() ;;\n    esac\n"
                          "}\n")
        .arg(valued.trimmed(), values, global, commandNames().join(QLatin1Char(' ')), cases);
}

QString fishScript()
{
    auto quoted = [](QString text) {
        return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("\\'")) + QLatin1Char('\'');
    };
    auto fishValues = [](const QStringList &values) {
        if (values == QStringList{files})
            return QStringLiteral(" -r -F");
        if (values == QStringList{folders})
            return QStringLiteral(" -r -a '(__fish_complete_directories)'");
        return QStringLiteral(" -r -f -a '%1'").arg(values.join(QLatin1Char(' ')));
    };
    QString script = QStringLiteral("complete -c vantor-cli -f\n");
    for (const Command &command : commands())
        script += QStringLiteral("complete -c vantor-cli -n __fish_use_subcommand -a %1 -d %2\n")
                      .arg(command.name, quoted(command.summary));
    for (const Option &option : globalOptions())
        script += QStringLiteral("complete -c vantor-cli -l %1%2\n")
                      .arg(option.name, option.valueName.isEmpty() ? QString() : fishValues(option.values));
    for (const Command &command : commands()) {
        const QString when = QStringLiteral("-n '__fish_seen_subcommand_from %1'").arg(command.name);
        for (const QString &name : command.options) {
            const Option *option = findOption(name);
            script += QStringLiteral("complete -c vantor-cli %1 -l %2%3\n")
                          .arg(when, name, option->valueName.isEmpty() ? QString() : fishValues(option->values));
        }
        const QList<QStringList> arguments = argumentsOf(command);
        for (qsizetype i = 0; i < arguments.size(); ++i) {
            // The argument's position: the command and the words before it are already there.
            const QString at
                = QStringLiteral("-n '__fish_seen_subcommand_from %1; and test (count (commandline -opc)) -eq %2'")
                      .arg(command.name)
                      .arg(i + 2);
            const QStringList &values = arguments[i];
            script += QStringLiteral("complete -c vantor-cli %1%2\n")
                          .arg(at, values == QStringList{files} ? QStringLiteral(" -F")
                                   : values == QStringList{folders}
                                       ? QStringLiteral(" -a '(__fish_complete_directories)'")
                                       : QStringLiteral(" -a '%1'").arg(values.join(QLatin1Char(' '))));
        }
    }
    return script;
}

} // namespace

QString completion(const QString &shell)
{
    if (shell == QStringLiteral("bash"))
        return bashFunction() + QStringLiteral("complete -o filenames -F _vantor_cli vantor-cli\n");
    // zsh runs the same function through its bash compatibility.
    if (shell == QStringLiteral("zsh"))
        return QStringLiteral("#compdef vantor-cli\nautoload -U +X bashcompinit && bashcompinit\n") + bashFunction()
               + QStringLiteral("complete -o filenames -F _vantor_cli vantor-cli\n");
    if (shell == QStringLiteral("fish"))
        return fishScript();
    return {};
}

} // namespace CommandTable
