// Vantor: the window.

#include "app/AppModel.h"
#include "release/GitHubReleases.h"
#include "ui/MainWindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantor"));
    QApplication::setOrganizationName(QStringLiteral("Vantor"));
    QApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));

    AppModel model(GitHubReleases::configuredFeedUrl());
    MainWindow window(model);
    window.show();
    return app.exec();
}
