// Vantor: the window.

#include "app/AppModel.h"
#include "demo/DemoMode.h"
#include "platform/Workspace.h"
#include "release/GitHubReleases.h"
#include "ui/DialogPrompter.h"
#include "ui/MainWindow.h"

#include <QApplication>

#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

volatile std::sig_atomic_t closeRequested = 0;

} // namespace

int main(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vantor %s\n", VANTOR_VERSION);
            return 0;
        }
    }
    // The demo's sandbox must be in place before anything reads HOME or the settings.
    const bool demo = DemoMode::requested(argc, argv);
    const QString sandbox = demo ? DemoMode::enterSandbox(DemoMode::resetRequested(argc, argv)) : QString();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantor"));
    QApplication::setOrganizationName(QStringLiteral("Vantor"));
    QApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));

    std::unique_ptr<DemoMode::Feed> feed;
    if (demo) {
        feed = std::make_unique<DemoMode::Feed>(sandbox);
        std::fprintf(stderr, "Demo sandbox: %s\nRelease feed: %s\n", qPrintable(sandbox), qPrintable(feed->url()));
    }

    DialogPrompter prompter;
    SystemWorkspace workspace;
    AppModel model(feed ? feed->url() : GitHubReleases::configuredFeedUrl(), prompter, workspace);
    MainWindow window(model);
    prompter.setParent(&window);
    window.show();

    // Ctrl-C in the terminal, or SIGTERM from the system, closes the window as its close button
    // would. The handler only raises a flag, which the event loop looks at.
    struct sigaction action = {};
    action.sa_handler = [](int) { closeRequested = 1; };
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM})
        sigaction(signal, &action, nullptr);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &window, [&window] {
        if (closeRequested)
            window.close();
    });
    watch.start(100);
    return app.exec();
}
