#include "datacare/ZipListing.h"

#include <QFile>

#include <sys/stat.h>
#include <zlib.h>

namespace ZipListing {

namespace {

constexpr quint32 endOfDirectorySignature = 0x06054b50;
constexpr quint32 zip64LocatorSignature = 0x07064b50;
constexpr quint32 zip64EndSignature = 0x06064b50;
constexpr quint32 directoryEntrySignature = 0x02014b50;
constexpr quint32 localHeaderSignature = 0x04034b50;
constexpr int unixHost = 3;
constexpr qint64 maxLinkTargetBytes = 4096;

quint16 u16(const QByteArray &b, qsizetype at)
{
    return quint16(quint8(b[at])) | quint16(quint8(b[at + 1])) << 8;
}

quint32 u32(const QByteArray &b, qsizetype at)
{
    return quint32(u16(b, at)) | quint32(u16(b, at + 2)) << 16;
}

quint64 u64(const QByteArray &b, qsizetype at)
{
    return quint64(u32(b, at)) | quint64(u32(b, at + 4)) << 32;
}

QByteArray readAt(QFile &file, qint64 offset, qint64 length)
{
    if (offset < 0 || length < 0 || !file.seek(offset))
        return {};
    return file.read(length);
}

struct Directory
{
    quint64 count = 0;
    quint64 offset = 0;
    quint64 size = 0;
};

std::optional<Directory> findDirectory(QFile &file)
{
    // The end record is 22 bytes plus a comment of at most 65,535 bytes.
    const qint64 tailLength = std::min<qint64>(file.size(), 22 + 65535);
    const QByteArray tail = readAt(file, file.size() - tailLength, tailLength);
    for (qsizetype at = tail.size() - 22; at >= 0; --at) {
        if (u32(tail, at) != endOfDirectorySignature)
            continue;
        Directory dir{u16(tail, at + 10), u32(tail, at + 16), u32(tail, at + 12)};
        // Large archives keep the real numbers in the zip64 end record.
        if (at >= 20 && u32(tail, at - 20) == zip64LocatorSignature) {
            const QByteArray record = readAt(file, qint64(u64(tail, at - 20 + 8)), 56);
            if (record.size() < 56 || u32(record, 0) != zip64EndSignature)
                return std::nullopt;
            dir = {u64(record, 32), u64(record, 48), u64(record, 40)};
        }
        return dir;
    }
    return std::nullopt;
}

std::optional<QString> linkTarget(QFile &file, quint64 localOffset, quint16 method, quint64 compressedSize)
{
    const QByteArray header = readAt(file, qint64(localOffset), 30);
    if (header.size() < 30 || u32(header, 0) != localHeaderSignature || compressedSize > quint64(maxLinkTargetBytes))
        return std::nullopt;
    const qint64 dataAt = qint64(localOffset) + 30 + u16(header, 26) + u16(header, 28);
    const QByteArray data = readAt(file, dataAt, qint64(compressedSize));
    if (data.size() != qsizetype(compressedSize))
        return std::nullopt;
    if (method == 0)
        return QString::fromUtf8(data);
    if (method != 8)
        return std::nullopt;

    QByteArray out(maxLinkTargetBytes, '\0');
    z_stream stream = {};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    const int result = inflate(&stream, Z_FINISH);
    const qsizetype produced = qsizetype(stream.total_out);
    inflateEnd(&stream);
    if (result != Z_STREAM_END)
        return std::nullopt;
    return QString::fromUtf8(out.left(produced));
}

} // namespace

std::optional<QList<Entry>> read(const QString &zipPath)
{
    QFile file(zipPath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const auto dir = findDirectory(file);
    if (!dir || dir->size > quint64(file.size()))
        return std::nullopt;
    const QByteArray central = readAt(file, qint64(dir->offset), qint64(dir->size));
    if (central.size() != qsizetype(dir->size))
        return std::nullopt;

    QList<Entry> entries;
    qsizetype at = 0;
    for (quint64 i = 0; i < dir->count; ++i) {
        if (at + 46 > central.size() || u32(central, at) != directoryEntrySignature)
            return std::nullopt;
        const int host = u16(central, at + 4) >> 8;
        const quint16 method = u16(central, at + 10);
        quint64 compressed = u32(central, at + 20);
        quint64 uncompressed = u32(central, at + 24);
        const quint16 nameLength = u16(central, at + 28);
        const quint16 extraLength = u16(central, at + 30);
        const quint16 commentLength = u16(central, at + 32);
        const quint32 external = u32(central, at + 38);
        quint64 localOffset = u32(central, at + 42);
        if (at + 46 + nameLength + extraLength + commentLength > central.size())
            return std::nullopt;

        // zip64: the values that did not fit are in the extra field, in this order.
        for (qsizetype x = at + 46 + nameLength; x + 4 <= at + 46 + nameLength + extraLength;) {
            const quint16 id = u16(central, x);
            const quint16 length = u16(central, x + 2);
            if (id == 0x0001) {
                qsizetype field = x + 4;
                if (uncompressed == 0xFFFFFFFF && field + 8 <= x + 4 + length)
                    uncompressed = u64(central, field), field += 8;
                if (compressed == 0xFFFFFFFF && field + 8 <= x + 4 + length)
                    compressed = u64(central, field), field += 8;
                if (localOffset == 0xFFFFFFFF && field + 8 <= x + 4 + length)
                    localOffset = u64(central, field);
            }
            x += 4 + length;
        }

        Entry entry;
        entry.name = QString::fromUtf8(central.mid(at + 46, nameLength));
        entry.isSymlink = host == unixHost && ((external >> 16) & S_IFMT) == S_IFLNK;
        if (entry.isSymlink) {
            const auto target = linkTarget(file, localOffset, method, compressed);
            if (!target)
                return std::nullopt;
            entry.linkTarget = *target;
        }
        entries.append(entry);
        at += 46 + nameLength + extraLength + commentLength;
    }
    return entries;
}

} // namespace ZipListing
