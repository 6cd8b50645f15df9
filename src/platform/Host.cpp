#include "platform/Host.h"

#include <QRegularExpression>

namespace Host {

std::optional<Simulated> parseSimulated(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^macos-(\\d{1,4})\\.(\\d{1,4})\\.(\\d{1,4})-(arm64|x86_64)$"));
    const auto match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    Simulated host;
    host.version = {match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt()};
    host.arm64 = match.captured(4) == QStringLiteral("arm64");
    return host;
}

} // namespace Host
