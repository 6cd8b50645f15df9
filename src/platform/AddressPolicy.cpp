#include "platform/AddressPolicy.h"

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

} // namespace AddressPolicy
