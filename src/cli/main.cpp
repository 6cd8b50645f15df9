// vantor-cli: the same model as the window, driven from a terminal or a script.

#include "app/AppModel.h"
#include "cli/Commands.h"
#include "cli/PrintingWorkspace.h"
#include "cli/TerminalPrompter.h"
#include "demo/DemoMode.h"
#include "release/GitHubReleases.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <qcoro/qcorosignal.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>

namespace {

using Command = std::function<QCoro::Task<int>(AppModel &, CliOutput::Options)>;

const std::map<QString, Command> &commands()
{
    static const std::map<QString, Command> table = {
        {QStringLiteral("status"), Commands::status},
        {QStringLiteral("latest"), Commands::latest},
        {QStringLiteral("install"), Commands::install},
        {QStringLiteral("update"), Commands::update},
        {QStringLiteral("rollback"), Commands::rollback},
        {QStringLiteral("launch"), Commands::launch},
        {QStringLiteral("tidy"), Commands::tidy},
        {QStringLiteral("backup"), Commands::backup},
        {QStringLiteral("restore"), Commands::restore},
        {QStringLiteral("uninstall"), Commands::uninstall},
        {QStringLiteral("guide"), Commands::guide},
        {QStringLiteral("systems"), Commands::systems},
        {QStringLiteral("set-games-folder"), Commands::setGamesFolder},
    };
    return table;
}

// Starts the model the way the window does and lets its startup work finish, so that what a
// command reports and acts on is current.
QCoro::Task<int> run(AppModel &model, Command command, CliOutput::Options options)
{
    model.start();
    if (model.isSettling())
        co_await qCoro(&model, &AppModel::settled);
    co_return co_await command(model, options);
}

int usageError(const QString &message, const QCommandLineParser &parser)
{
    std::fprintf(stderr, "%s\n\n%s", qPrintable(message), qPrintable(parser.helpText()));
    return Commands::usage;
}

} // namespace

int main(int argc, char *argv[])
{
    // The demo's sandbox must be in place before anything reads HOME or the settings.
    const bool demo = DemoMode::requested(argc, argv);
    const QString sandbox = demo ? DemoMode::enterSandbox(DemoMode::resetRequested(argc, argv)) : QString();

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantor-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Installs, updates and looks after OpenEmu-Silicon."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("Write the result as JSON."));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"), QStringLiteral("Show the details of failures."));
    const QCommandLineOption feedOption(QStringLiteral("feed-url"), QStringLiteral("Read releases from this address."),
                                        QStringLiteral("URL"));
    const QCommandLineOption yesOption(QStringLiteral("yes"),
                                       QStringLiteral("Answer every confirmation with its first button."));
    const QCommandLineOption systemOption(QStringLiteral("system"),
                                          QStringLiteral("install: into the system Applications folder."));
    const QCommandLineOption toOption(QStringLiteral("to"), QStringLiteral("backup: the folder to save the zip in."),
                                      QStringLiteral("DIR"));
    const QCommandLineOption onlyOption(QStringLiteral("only"),
                                        QStringLiteral("backup: the items to include, of states,library,prefs."),
                                        QStringLiteral("ITEMS"));
    const QCommandLineOption demoOption(QStringLiteral("demo"),
                                        QStringLiteral("Work in a sandbox with a local sample release feed."));
    const QCommandLineOption demoResetOption(QStringLiteral("demo-reset"), QStringLiteral("Start the demo afresh."));
    const QCommandLineOption progressOption(QStringLiteral("progress"),
                                            QStringLiteral("Show download progress even when not on a terminal."));
    const QCommandLineOption keepDataOption(QStringLiteral("keep-data"),
                                            QStringLiteral("uninstall: move only the app to the Trash."));
    parser.addOptions({jsonOption, verboseOption, feedOption, yesOption, systemOption, toOption, onlyOption,
                       keepDataOption, demoOption, demoResetOption, progressOption});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("status | latest | install | update | rollback | launch | tidy | "
                                                "backup --to DIR | restore ZIP | uninstall | guide | systems | "
                                                "set-games-folder PATH"));

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText(), parser);
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return Commands::success;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("vantor-cli %s\n", VANTOR_VERSION);
        return Commands::success;
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(QStringLiteral("Give one command."), parser);
    const QString name = positional.first();
    const auto command = commands().find(name);
    if (command == commands().end())
        return usageError(QStringLiteral("Unknown command \"%1\".").arg(name), parser);
    // restore and set-games-folder take a path after the command.
    const bool isRestore = name == QStringLiteral("restore");
    const bool isGamesFolder = name == QStringLiteral("set-games-folder");
    if (positional.size() != (isRestore || isGamesFolder ? 2 : 1))
        return usageError(isRestore       ? QStringLiteral("restore needs the backup zip.")
                          : isGamesFolder ? QStringLiteral("set-games-folder needs the folder.")
                                          : QStringLiteral("Give one command."),
                          parser);
    if (name == QStringLiteral("backup") && !parser.isSet(toOption))
        return usageError(QStringLiteral("backup needs --to DIR."), parser);
    const QStringList only = parser.value(onlyOption).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &item : only) {
        if (item != QStringLiteral("states") && item != QStringLiteral("library") && item != QStringLiteral("prefs"))
            return usageError(QStringLiteral("Unknown backup item \"%1\".").arg(item), parser);
    }

    if (parser.isSet(systemOption) && name != QStringLiteral("install"))
        return usageError(QStringLiteral("--system goes with install only."), parser);

    CliOutput::Options options{parser.isSet(jsonOption), parser.isSet(verboseOption), parser.isSet(yesOption),
                               parser.isSet(systemOption), only};
    options.progress = parser.isSet(progressOption);
    std::unique_ptr<DemoMode::Feed> feed;
    if (demo) {
        feed = std::make_unique<DemoMode::Feed>(sandbox);
        std::fprintf(stderr, "Demo sandbox: %s\n", qPrintable(sandbox));
    }
    TerminalPrompter prompter(options.yes);
    if (parser.isSet(toOption))
        prompter.folder = QFileInfo(parser.value(toOption)).absoluteFilePath();
    if (isRestore)
        prompter.file = QFileInfo(positional[1]).absoluteFilePath();
    if (isGamesFolder)
        prompter.folder = QFileInfo(positional[1]).absoluteFilePath();
    if (parser.isSet(keepDataOption))
        prompter.declined.append(Prompter::AlertId::uninstallData);
    PrintingWorkspace workspace;
    const QString feedUrl = feed                       ? feed->url()
                            : parser.isSet(feedOption) ? parser.value(feedOption)
                                                       : GitHubReleases::configuredFeedUrl();
    AppModel model(feedUrl, prompter, workspace);

    Commands::installSignalHandlers();
    int exitStatus = Commands::failure;
    QTimer::singleShot(0, &app, [&] {
        run(model, command->second, options).then([&](int status) {
            exitStatus = status;
            QCoreApplication::quit();
        });
    });
    app.exec();
    return exitStatus;
}
