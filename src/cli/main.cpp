// vantor-cli: the same model as the window, driven from a terminal or a script.

#include "app/AppModel.h"
#include "cli/CommandTable.h"
#include "cli/Commands.h"
#include "cli/PrintingWorkspace.h"
#include "cli/TerminalPrompter.h"
#include "demo/DemoMode.h"
#include "release/GitHubReleases.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>

#include <qcoro/qcorosignal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

using Command = std::function<QCoro::Task<int>(AppModel &, CliOutput::Options)>;

const std::map<QString, Command> &actions()
{
    static const std::map<QString, Command> table = {
        {QStringLiteral("status"), Commands::status},
        {QStringLiteral("latest"), Commands::latest},
        {QStringLiteral("install"), Commands::install},
        {QStringLiteral("update"), Commands::update},
        {QStringLiteral("skip"), Commands::skip},
        {QStringLiteral("unskip"), Commands::unskip},
        {QStringLiteral("set"), Commands::set},
        {QStringLiteral("rollback"), Commands::rollback},
        {QStringLiteral("launch"), Commands::launch},
        {QStringLiteral("tidy"), Commands::tidy},
        {QStringLiteral("cores"), Commands::cores},
        {QStringLiteral("states"), Commands::states},
        {QStringLiteral("backup"), Commands::backup},
        {QStringLiteral("restore"), Commands::restore},
        {QStringLiteral("uninstall"), Commands::uninstall},
        {QStringLiteral("guide"), Commands::guide},
        {QStringLiteral("systems"), Commands::systems},
        {QStringLiteral("set-games-folder"), Commands::setGamesFolder},
        {QStringLiteral("bios-import"), Commands::biosImport},
    };
    return table;
}

// Starts the model the way the window does and lets its startup work finish, so that what a
// command reports and acts on is current. Anything thrown ends as the last-resort error.
QCoro::Task<int> run(AppModel &model, Command command, CliOutput::Options options)
{
    try {
        model.start();
        if (model.isSettling())
            co_await qCoro(&model, &AppModel::settled);
        const int status = co_await command(model, options);
        co_return status;
    } catch (const std::exception &e) {
        CliOutput::printError(
            FriendlyError(QStringLiteral("Vantor hit an unexpected problem."), QString::fromLocal8Bit(e.what())),
            options);
    } catch (...) {
        CliOutput::printError(FriendlyError(QStringLiteral("Vantor hit an unexpected problem.")), options);
    }
    co_return Commands::failure;
}

// Whether --json was asked for, read before (or without) the parser: a usage error or a demo
// that cannot start is still one JSON object on stdout then.
bool jsonAsked = false;

// One line with the problem, one pointing to the help; exit status 2. With --json, stdout also
// gets the error object.
int usageError(const QString &problem, const QString &command = {})
{
    const QString hint = QStringLiteral("Run 'vantor-cli help%1' for usage.")
                             .arg(command.isEmpty() ? QString() : QLatin1Char(' ') + command);
    std::fprintf(stderr, "vantor-cli: %s\n%s\n", qPrintable(problem), qPrintable(hint));
    if (jsonAsked)
        CliOutput::printJson(CliOutput::errorJson(FriendlyError(problem, hint)));
    return Commands::usage;
}

int inputError(const FriendlyError &error, const CliOutput::Options &options)
{
    CliOutput::printError(error, options);
    return Commands::failure;
}

// Help is wrapped to the terminal it is printed on; 80 columns elsewhere (a pipe, a file). COLUMNS,
// as shells set it, says so too.
int terminalWidth()
{
    struct winsize size = {};
    if (::isatty(STDOUT_FILENO) && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    bool ok = false;
    const int columns = qEnvironmentVariableIntValue("COLUMNS", &ok);
    return ok && columns > 0 ? columns : 80;
}

// The demo's sandbox lives in the temporary folder; without a usable one there is no demo.
bool temporaryFolderUsable()
{
    const char *configured = std::getenv("TMPDIR");
    const QByteArray folder = configured && *configured ? QByteArray(configured) : QByteArray("/tmp");
    return ::access(folder.constData(), W_OK | X_OK) == 0;
}

int runCli(int argc, char *argv[])
{
    // The demo's sandbox must be in place before anything reads HOME or the settings.
    const bool demo = DemoMode::requested(argc, argv);
    for (int i = 1; i < argc; ++i)
        jsonAsked |= std::strcmp(argv[i], "--json") == 0;
    if (demo && !temporaryFolderUsable()) {
        const char *configured = std::getenv("TMPDIR");
        const FriendlyError error(QStringLiteral("The demo needs a writable temporary folder."),
                                  QString::fromLocal8Bit(configured && *configured ? configured : "/tmp"));
        CliOutput::Options options;
        options.json = jsonAsked;
        options.verbose = true;
        CliOutput::printError(error, options);
        return Commands::failure;
    }
    const QString sandbox = demo ? DemoMode::enterSandbox(DemoMode::resetRequested(argc, argv)) : QString();

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantor-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));

    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption versionOption({QStringLiteral("V"), QStringLiteral("version")}, QString());
    parser.addOption(helpOption);
    parser.addOption(versionOption);
    for (const auto *list : {&CommandTable::globalOptions(), &CommandTable::commandOptions()}) {
        for (const CommandTable::Option &option : *list)
            parser.addOption(QCommandLineOption(option.name, option.description, option.valueName));
    }

    const QStringList arguments = QCoreApplication::arguments();
    const QStringList bare = arguments.mid(1);
    const QString given = bare.isEmpty() || bare.first().startsWith(QLatin1Char('-')) ? QString() : bare.first();
    if (!parser.parse(arguments)) {
        // Said with its dashes, as it was typed, and with the option it most likely meant.
        if (const QStringList unknown = parser.unknownOptionNames(); !unknown.isEmpty()) {
            const auto dashed = [](const QString &name) {
                return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
            };
            QString problem = QStringLiteral("Unknown option '%1'.").arg(dashed(unknown.first()));
            if (const auto meant = CommandTable::closest(unknown.first(), CommandTable::optionNames()))
                problem += QStringLiteral(" Did you mean '%1'?").arg(dashed(*meant));
            return usageError(problem, CommandTable::find(given) ? given : QString());
        }
        return usageError(parser.errorText(), CommandTable::find(given) ? given : QString());
    }
    if (parser.isSet(versionOption)) {
        std::printf("vantor-cli %s\n", VANTOR_VERSION);
        return Commands::success;
    }

    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        if (parser.isSet(helpOption)) {
            std::fputs(qPrintable(CommandTable::wrap(CommandTable::overview(), terminalWidth())), stdout);
            return Commands::success;
        }
        // The overview is what to do next; a script still sees the usage status.
        std::fputs(qPrintable(CommandTable::wrap(CommandTable::overview(), terminalWidth())), stderr);
        return Commands::usage;
    }
    const QString name = positional.takeFirst();
    const CommandTable::Command *spec = CommandTable::find(name);
    if (!spec) {
        const auto meant = CommandTable::closest(name, CommandTable::commandNames());
        return usageError(QStringLiteral("Unknown command \"%1\".").arg(name)
                          + (meant ? QStringLiteral(" Did you mean '%1'?").arg(*meant) : QString()));
    }
    if (name == QStringLiteral("help")) {
        if (positional.isEmpty()) {
            std::fputs(qPrintable(CommandTable::wrap(CommandTable::overview(), terminalWidth())), stdout);
            return Commands::success;
        }
        const CommandTable::Command *about = CommandTable::find(positional.first());
        if (!about || positional.size() > 1)
            return usageError(QStringLiteral("Unknown command \"%1\".").arg(positional.join(QLatin1Char(' '))));
        std::fputs(qPrintable(CommandTable::wrap(CommandTable::help(*about), terminalWidth())), stdout);
        return Commands::success;
    }
    if (parser.isSet(helpOption)) {
        std::fputs(qPrintable(CommandTable::wrap(CommandTable::help(*spec), terminalWidth())), stdout);
        return Commands::success;
    }

    // Only the command's own options, and its one argument when it takes one.
    for (const CommandTable::Option &option : CommandTable::commandOptions()) {
        if (parser.isSet(option.name) && !spec->options.contains(option.name))
            return usageError(QStringLiteral("--%1 does not go with %2.").arg(option.name, name), name);
    }
    const bool takesArgument = !spec->argument.isEmpty();
    const bool optionalArgument = spec->argument.startsWith(QLatin1Char('['));
    const bool manyArguments = spec->argument.endsWith(QStringLiteral("…"));
    if (name == QStringLiteral("set")) {
        if (positional.size() != 2 || positional[0] != QStringLiteral("auto-backup")
            || (positional[1] != QStringLiteral("on") && positional[1] != QStringLiteral("off")))
            return usageError(QStringLiteral("set takes auto-backup on or auto-backup off."), name);
    } else if (!takesArgument && !positional.isEmpty()) {
        return usageError(QStringLiteral("%1 takes no argument.").arg(name), name);
    } else if (positional.size() > 1 && !manyArguments) {
        // "restore a b": one is what it takes.
        return usageError(QStringLiteral("%1 takes one %2, not %3.").arg(name, spec->argument).arg(positional.size()),
                          name);
    } else if (parser.isSet(QStringLiteral("undo"))) {
        if (!positional.isEmpty())
            return usageError(
                QStringLiteral("restore --undo takes no zip: it restores what the last restore replaced."), name);
    } else if (takesArgument && !optionalArgument && positional.isEmpty()) {
        return usageError(QStringLiteral("%1 needs %2.").arg(name, spec->argument), name);
    }
    // --only and --with take items of their own lists; a typo gets the closest one.
    QString unknownItem;
    const auto items = [&](const QString &option) {
        const QStringList listed = parser.value(option).split(QLatin1Char(','), Qt::SkipEmptyParts);
        const QStringList known = CommandTable::findOption(option)->values;
        for (const QString &item : listed) {
            if (known.contains(item) || !unknownItem.isEmpty())
                continue;
            const auto meant = CommandTable::closest(item, known);
            unknownItem = QStringLiteral("Unknown item \"%1\".").arg(item)
                          + (meant ? QStringLiteral(" Did you mean '%1'?").arg(*meant) : QString());
            break;
        }
        return listed;
    };
    const QStringList only = items(QStringLiteral("only"));
    const QStringList with = items(QStringLiteral("with"));
    if (!unknownItem.isEmpty())
        return usageError(unknownItem, name);
    if (parser.isSet(QStringLiteral("with-data")) && parser.isSet(QStringLiteral("keep-data")))
        return usageError(QStringLiteral("--with-data and --keep-data ask for opposite things."), name);

    CliOutput::Options options;
    options.json = parser.isSet(QStringLiteral("json"));
    options.verbose = parser.isSet(QStringLiteral("verbose"));
    if (options.verbose) // what Vantor decided on its own (a journal it would not obey, say) is said too
        QLoggingCategory::setFilterRules(QStringLiteral("vantor.*.info=true"));
    options.yes = parser.isSet(QStringLiteral("yes"));
    options.system = parser.isSet(QStringLiteral("system"));
    options.reinstall = parser.isSet(QStringLiteral("reinstall"));
    options.only = only;
    options.progress = parser.isSet(QStringLiteral("progress"));
    options.includeSkipped = parser.isSet(QStringLiteral("include-skipped"));
    options.argument = positional.join(QLatin1Char(' '));
    for (const QString &path : std::as_const(positional))
        options.arguments.append(QFileInfo(path).absoluteFilePath());
    options.noBackup = parser.isSet(QStringLiteral("no-backup"));
    options.withData = parser.isSet(QStringLiteral("with-data"));
    options.atRisk = parser.isSet(QStringLiteral("at-risk"));
    options.undo = parser.isSet(QStringLiteral("undo"));
    options.with = with;

    if (name == QStringLiteral("completion")) {
        const QString script = CommandTable::completion(positional.first());
        if (script.isEmpty())
            return usageError(QStringLiteral("No completion for \"%1\": bash, zsh or fish.").arg(positional.first()),
                              name);
        std::fputs(qPrintable(script), stdout);
        return Commands::success;
    }

    // Inputs are checked before any question is asked.
    TerminalPrompter prompter(options.yes);
    // Without --to, the window's backup folder (~/Documents/OpenEmu Backups until one is chosen).
    if (parser.isSet(QStringLiteral("to"))) {
        options.to = QFileInfo(parser.value(QStringLiteral("to"))).absoluteFilePath();
        if (!QFileInfo(options.to).isDir())
            return inputError(FriendlyError(QStringLiteral("The backup folder doesn't exist."), options.to), options);
    }
    if (name == QStringLiteral("restore") && !positional.isEmpty())
        prompter.file = QFileInfo(positional.first()).absoluteFilePath();
    // (bios-import reports each path it can't use, and goes on with the others.)
    if (name == QStringLiteral("restore") && !options.arguments.isEmpty() && !QFileInfo::exists(options.arguments[0]))
        return inputError(FriendlyError(QStringLiteral("There's no file at %1.").arg(options.arguments[0])), options);
    if (name == QStringLiteral("set-games-folder")) {
        const QString folder = QFileInfo(positional.first()).absoluteFilePath();
        if (!QFileInfo(folder).isDir())
            return inputError(FriendlyError(QStringLiteral("That folder doesn't exist."), folder), options);
        prompter.folder = folder;
    }

    std::unique_ptr<DemoMode::Feed> feed;
    if (demo) {
        feed = std::make_unique<DemoMode::Feed>(sandbox);
        std::fprintf(stderr, "Demo sandbox: %s\n", qPrintable(sandbox));
    }
    PrintingWorkspace workspace;
    const QString feedUrl = feed                                       ? feed->url()
                            : parser.isSet(QStringLiteral("feed-url")) ? parser.value(QStringLiteral("feed-url"))
                                                                       : GitHubReleases::configuredFeedUrl();
    AppModel model(feedUrl, prompter, workspace);

    Commands::installSignalHandlers();
    int exitStatus = Commands::failure;
    const Command command = actions().at(name);
    QTimer::singleShot(0, &app, [&] {
        QCoro::connect(run(model, command, options), &app, [&](int status) {
            exitStatus = status;
            QCoreApplication::quit();
        });
    });
    app.exec();
    if (const int signal = Commands::interruptSignal())
        return 128 + signal;
    return exitStatus;
}

} // namespace

int main(int argc, char *argv[])
{
    // The last resort: never an uncaught exception, always one plain sentence.
    try {
        return runCli(argc, argv);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "Vantor hit an unexpected problem.\n%s\n", e.what());
    } catch (...) {
        std::fputs("Vantor hit an unexpected problem.\n", stderr);
    }
    return Commands::failure;
}
