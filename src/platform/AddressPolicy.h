#pragma once

#include <QByteArray>
#include <QUrl>

// Which addresses Vantor fetches anything from: https, or plain http only on this machine's
// loopback host (tests and the demo). The same rule for the feed, checksum files and downloads.
namespace AddressPolicy {

bool isLoopback(const QUrl &url);
bool isAllowed(const QUrl &url);
// Whether following a redirect from `from` to `to` is allowed: never from https to plain http,
// and only to an allowed address.
bool mayRedirect(const QUrl &from, const QUrl &to);

// Redirects are followed by Vantor itself, one hop at a time, by one rule: at most five, never from
// https to http, and, for the release feed and list, only on the host first asked (a moved
// repository); downloads and checksum files may go to another host (GitHub's download host).
inline constexpr int maxRedirects = 5;
enum class Hosts { same, any };
bool isRedirect(int status);
// The address a redirect leads to, from the reply's Location, after `hops` earlier ones in a
// chain that began at `start`. Throws FriendlyError when the rule forbids it.
QUrl nextHop(const QUrl &start, const QUrl &current, const QByteArray &location, int hops, Hosts hosts);

} // namespace AddressPolicy
