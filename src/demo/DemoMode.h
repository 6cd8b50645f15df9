#pragma once

#include "demo/FeedServer.h"

#include <QString>

#include <memory>

// Vantor doing its whole job for real without touching the user's system: a sandbox in the
// temporary folder (a home with OpenEmu's folders, a system Applications folder, a simulated
// Apple-silicon Mac) and a local release feed that publishes a small sample OpenEmu: 1.0.3
// until it is installed, then 1.0.4. The sandbox persists, so separate runs continue one story.
namespace DemoMode {

// True when the command line asks for the demo (--demo or --demo-reset).
bool requested(int argc, char *argv[]);
bool resetRequested(int argc, char *argv[]);

// Points HOME and the other locations into the sandbox (emptied first when reset) and gives
// the sandbox's folder. Call before anything reads HOME or the settings.
QString enterSandbox(bool reset);

// The sandbox's release feed, served for as long as the object lives. Writes OpenEmu's data
// into the sandbox home the first time.
class Feed
{
public:
    explicit Feed(const QString &sandbox);
    QString url() const;

private:
    std::unique_ptr<FeedServer> m_server;
};

} // namespace DemoMode
