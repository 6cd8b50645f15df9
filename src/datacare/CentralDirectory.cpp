#include "datacare/CentralDirectory.h"
#include "datacare/UnreadableZip.h"

#include "base/FriendlyError.h"

#include <QFile>

#include <algorithm>
#include <utility>
#include <vector>

namespace CentralDirectory {

namespace {

constexpr quint32 endSignature = 0x06054b50;
constexpr quint32 end64Signature = 0x06064b50;
constexpr quint32 end64LocatorSignature = 0x07064b50;
constexpr quint32 entrySignature = 0x02014b50;
constexpr quint32 localSignature = 0x04034b50;
constexpr quint32 escaped32 = 0xffffffff;

quint64 little(const char *p, int bytes)
{
    quint64 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | quint8(p[i]);
    return value;
}

UnreadableZip damaged(const QString &zip, const QString &what)
{
    return UnreadableZip(zip, what);
}

QByteArray readAt(QFile &file, qint64 offset, qint64 length, const QString &zip)
{
    if (offset < 0 || length < 0 || offset + length > file.size() || !file.seek(offset))
        throw damaged(zip, QStringLiteral("The zip's directory points outside the file."));
    QByteArray bytes = file.read(length);
    if (bytes.size() != length)
        throw damaged(zip, file.errorString());
    return bytes;
}

} // namespace

QList<Listed> entries(const QString &zip)
{
    QFile file(zip);
    if (!file.open(QIODevice::ReadOnly))
        throw damaged(zip, file.errorString());

    // The end record sits in the last 22 bytes plus at most a 64 KiB comment.
    const qint64 tailLength = std::min<qint64>(file.size(), 22 + 0xffff);
    const QByteArray tail = readAt(file, file.size() - tailLength, tailLength, zip);
    qsizetype end = tail.size() - 22;
    while (end >= 0 && little(tail.constData() + end, 4) != endSignature)
        --end;
    if (end < 0)
        throw damaged(zip, QStringLiteral("The zip's end record is missing."));
    quint64 count = little(tail.constData() + end + 10, 2);
    quint64 size = little(tail.constData() + end + 12, 4);
    quint64 offset = little(tail.constData() + end + 16, 4);

    // Zip64: the locator just before the end record leads to the 64-bit end record.
    const qint64 endInFile = file.size() - tailLength + end;
    if (endInFile >= 20) {
        const QByteArray locator = readAt(file, endInFile - 20, 20, zip);
        if (little(locator.constData(), 4) == end64LocatorSignature) {
            const QByteArray end64 = readAt(file, qint64(little(locator.constData() + 8, 8)), 56, zip);
            if (little(end64.constData(), 4) != end64Signature)
                throw damaged(zip, QStringLiteral("The zip's 64-bit end record is missing."));
            count = little(end64.constData() + 32, 8);
            size = little(end64.constData() + 40, 8);
            offset = little(end64.constData() + 48, 8);
        }
    }
    if (size > quint64(file.size()))
        throw damaged(zip, QStringLiteral("The zip's directory is larger than the file."));

    const QByteArray directory = readAt(file, qint64(offset), qint64(size), zip);
    std::vector<std::pair<quint64, Listed>> listed;
    qsizetype at = 0;
    for (quint64 i = 0; i < count; ++i) {
        if (at + 46 > directory.size() || little(directory.constData() + at, 4) != entrySignature)
            throw damaged(zip, QStringLiteral("The zip's directory is damaged."));
        const char *record = directory.constData() + at;
        const qsizetype nameLength = qsizetype(little(record + 28, 2));
        const qsizetype extraLength = qsizetype(little(record + 30, 2));
        const qsizetype commentLength = qsizetype(little(record + 32, 2));
        if (at + 46 + nameLength + extraLength + commentLength > directory.size())
            throw damaged(zip, QStringLiteral("The zip's directory is damaged."));
        quint64 localOffset = little(record + 42, 4);
        quint64 entrySize = little(record + 24, 4);
        if (localOffset == escaped32 || entrySize == escaped32) {
            // The Zip64 extra field lists, in order, only the fields escaped in the record.
            const char *extra = record + 46 + nameLength;
            for (qsizetype e = 0; e + 4 <= extraLength;) {
                const quint64 id = little(extra + e, 2);
                const qsizetype length = qsizetype(little(extra + e + 2, 2));
                if (id == 0x0001) {
                    // In order: the uncompressed size, the compressed size, the local header's offset.
                    const auto fits
                        = [&](qsizetype field) { return field + 8 <= e + 4 + length && field + 8 <= extraLength; };
                    qsizetype field = e + 4;
                    if (little(record + 24, 4) == escaped32) {
                        if (fits(field))
                            entrySize = little(extra + field, 8);
                        field += 8;
                    }
                    field += little(record + 20, 4) == escaped32 ? 8 : 0;
                    if (localOffset == escaped32 && fits(field))
                        localOffset = little(extra + field, 8);
                    break;
                }
                e += 4 + length;
            }
        }
        // The local header's own size, unless it leaves it to a data descriptor (flag 3) or 64 bits.
        std::optional<quint64> localSize;
        if ((little(record + 8, 2) & 0x0008) == 0) {
            const QByteArray local = readAt(file, qint64(localOffset), 30, zip);
            if (little(local.constData(), 4) != localSignature)
                throw damaged(zip, QStringLiteral("The zip's directory points to a missing entry."));
            if (little(local.constData() + 22, 4) != escaped32)
                localSize = little(local.constData() + 22, 4);
        }
        listed.emplace_back(localOffset, Listed{QByteArray(record + 46, nameLength), entrySize, localSize});
        at += 46 + nameLength + extraLength + commentLength;
    }
    std::stable_sort(listed.begin(), listed.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    QList<Listed> ordered;
    ordered.reserve(qsizetype(listed.size()));
    for (auto &entry : listed)
        ordered.append(std::move(entry.second));
    return ordered;
}

} // namespace CentralDirectory
