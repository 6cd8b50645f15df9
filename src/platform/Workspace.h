#pragma once

#include <QString>
#include <QUrl>

// The file manager and the web browser, as far as Vantor asks them for anything. The system
// one is real; tests record the calls instead of opening windows.
class Workspace
{
public:
    virtual ~Workspace() = default;

    // Shows the item selected in its folder (Finder on macOS; the folder on Linux).
    virtual void reveal(const QString &path) = 0;
    // Opens a folder in the file manager, or a web page in the browser.
    virtual void open(const QUrl &url) = 0;
};

class SystemWorkspace : public Workspace
{
public:
    void reveal(const QString &path) override;
    void open(const QUrl &url) override;
};
