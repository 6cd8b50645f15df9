// vantor-cli: the same model as the window, driven from a terminal or a script.

#include "Commands.h"
#include "PrintingWorkspace.h"
#include "TerminalPrompter.h"
#include "app/AppModel.h"
#include "release/GitHubReleases.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <qcoro/qcorosignal.h>

#include <cstdio>
#include <functional>
#include <map>

namespace {

using Command = std::function<QCoro::Task<int>(AppModel &, CliOutput::Options)>;

const std::map<QString, Command> &commands()
{
    static const std::map<QString, Command> table = {
        {QStringLiteral("status"), Commands::status},     {QStringLiteral("latest"), Commands::latest},
        {QStringLiteral("install"), Commands::install},   {QStringLiteral("update"), Commands::update},
        {QStringLiteral("rollback"), Commands::rollback}, {QStringLiteral("launch"), Commands::launch},
        {QStringLiteral("tidy"), Commands::tidy},
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
    parser.addOptions({jsonOption, verboseOption, feedOption, yesOption, systemOption});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("status | latest | install | update | rollback | launch | tidy"));

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
    if (positional.size() != 1)
        return usageError(QStringLiteral("Give one command."), parser);
    const auto command = commands().find(positional.first());
    if (command == commands().end())
        return usageError(QStringLiteral("Unknown command \"%1\".").arg(positional.first()), parser);

    if (parser.isSet(systemOption) && positional.first() != QStringLiteral("install"))
        return usageError(QStringLiteral("--system goes with install only."), parser);

    const CliOutput::Options options{parser.isSet(jsonOption), parser.isSet(verboseOption), parser.isSet(yesOption),
                                     parser.isSet(systemOption)};
    TerminalPrompter prompter(options.yes);
    PrintingWorkspace workspace;
    AppModel model(parser.isSet(feedOption) ? parser.value(feedOption) : GitHubReleases::configuredFeedUrl(), prompter,
                   workspace);

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
