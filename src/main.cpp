// Vantor: the window.

#include "app/AppModel.h"
#include "platform/Workspace.h"
#include "release/GitHubReleases.h"
#include "ui/DialogPrompter.h"
#include "ui/MainWindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantor"));
    QApplication::setOrganizationName(QStringLiteral("Vantor"));
    QApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));

    DialogPrompter prompter;
    SystemWorkspace workspace;
    AppModel model(GitHubReleases::configuredFeedUrl(), prompter, workspace);
    MainWindow window(model);
    prompter.setParent(&window);
    window.show();
    return app.exec();
}
