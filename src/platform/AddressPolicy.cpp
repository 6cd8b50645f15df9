#include "platform/AddressPolicy.h"

#include "base/FriendlyError.h"

#include <QHostAddress>

namespace AddressPolicy {

bool isLoopback(const QUrl &url)
{
    const QString host = url.host();
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

bool isAllowed(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QStringLiteral("https") || (scheme == QStringLiteral("http") && isLoopback(url));
}

bool mayRedirect(const QUrl &from, const QUrl &to)
{
    const bool downgrade
        = from.scheme().toLower() == QStringLiteral("https") && to.scheme().toLower() != QStringLiteral("https");
    return !downgrade && isAllowed(to);
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

QUrl nextHop(const QUrl &start, const QUrl &current, const QByteArray &location, int hops, Hosts hosts)
{
    const QUrl next = current.resolved(QUrl::fromEncoded(location.trimmed()));
    if (hops >= maxRedirects)
        throw FriendlyError(QStringLiteral("The server sent Vantor through too many redirects, so it stopped."),
                            QStringLiteral("Too many redirects (more than %1); the last to ").arg(maxRedirects)
                                + next.toString());
    if (!next.isValid() || !mayRedirect(current, next))
        throw FriendlyError(QStringLiteral("The address isn't a secure (https) address, so Vantor didn't use it."),
                            next.toString());
    if (hosts == Hosts::same && next.host().compare(start.host(), Qt::CaseInsensitive) != 0)
        throw FriendlyError(
            QStringLiteral("The release information moved to another site, so Vantor didn't follow it."),
            start.toString() + QStringLiteral(" redirects to ") + next.toString());
    return next;
}

} // namespace AddressPolicy
