#pragma once

#include <QUrl>

// Which addresses Vantor fetches anything from: https, or plain http only on this machine's
// loopback host (tests and the demo). The same rule for the feed, checksum files and downloads.
namespace AddressPolicy {

bool isLoopback(const QUrl &url);
bool isAllowed(const QUrl &url);
// Whether following a redirect from `from` to `to` is allowed: never from https to plain http,
// and only to an allowed address.
bool mayRedirect(const QUrl &from, const QUrl &to);

} // namespace AddressPolicy
