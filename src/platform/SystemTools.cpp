#include "platform/SystemTools.h"

#include <QStringList>

// The parts of SystemTools that are the same on both systems.
namespace SystemTools {

qint64 zipListedSize(const QString &summary)
{
    // "3 files, 1234 bytes uncompressed, 567 bytes compressed:  54.0%"
    const QStringList words = summary.simplified().split(QLatin1Char(' '));
    for (qsizetype i = 1; i + 1 < words.size(); ++i) {
        if (words[i] == QStringLiteral("bytes") && words[i + 1].startsWith(QStringLiteral("uncompressed")))
            return words[i - 1].toLongLong();
    }
    return 0;
}

} // namespace SystemTools
