// Vantor: the window.

#include "app/AppModel.h"
#include "demo/DemoMode.h"
#include "platform/Workspace.h"
#include "release/GitHubReleases.h"
#include "ui/DialogPrompter.h"
#include "ui/MainWindow.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <memory>

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
    return app.exec();
}
