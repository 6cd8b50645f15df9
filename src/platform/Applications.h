#pragma once

#include "platform/RunningApps.h"

#include <QFuture>
#include <QString>

// Starting and politely stopping application bundles.
namespace Applications {

// Asks a running application to quit, as its Quit command would; never forces it.
void requestQuit(const RunningApp &app);

// Opens the bundle (brings it to the front if it already runs on macOS). Throws PlatformError
// when it cannot be started at all; the future finishes once the system has answered, holding
// the system's own error (a PlatformError) when it could not open the app.
QFuture<void> open(const QString &bundlePath);

} // namespace Applications
