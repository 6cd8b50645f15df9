#pragma once

#include "base/PlatformError.h"

#include <QNetworkReply>

namespace NetworkError {

// Who stopped a transfer that Qt reports as OperationCanceledError: Qt uses that one code
// for our own abort, whether it came from the inactivity timer or from the user.
enum class AbortReason { none, timedOut, userCancelled };

// Maps a failed reply's transport error to the URL domain's codes.
PlatformError fromReply(QNetworkReply::NetworkError error, const QString &errorString,
                        AbortReason abortReason = AbortReason::none);

// True for the errors Qt derives from an HTTP status, which callers read as a status instead.
bool isHttpStatusError(QNetworkReply::NetworkError error);

// Aborts on the next turn of the event loop. Aborting inside one of the reply's own signals
// would finish it, and resume the coroutine waiting on it, in the middle of that signal.
void abortSoon(QNetworkReply *reply);

} // namespace NetworkError
