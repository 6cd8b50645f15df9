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
#include <exception>
#include <memory>

namespace {

volatile std::sig_atomic_t closeRequested = 0;

// The last resort: an exception that escapes an event handler becomes the error banner, never
// the end of the program.
class GuardedApplication : public QApplication
{
public:
    using QApplication::QApplication;
    AppModel *model = nullptr;

    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception &e) {
            report(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            report({});
        }
        return false;
    }

private:
    void report(const QString &details)
    {
        if (model)
            model->setError(FriendlyError(QStringLiteral("Vantor hit an unexpected problem."), details));
        else
            std::fprintf(stderr, "Vantor hit an unexpected problem.\n%s\n", qPrintable(details));
    }
};

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
    QString sandbox;
    try {
        if (demo)
            sandbox = DemoMode::enterSandbox(DemoMode::resetRequested(argc, argv));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "The demo needs a writable temporary folder.\n%s\n", e.what());
        return 1;
    }

    GuardedApplication app(argc, argv);
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
    app.model = &model;
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
    const int status = app.exec();
    app.model = nullptr;
    return status;
}
