#include "ZipWriter.h"

#include <QFile>
#include <QMap>

#include <algorithm>

#include <zlib.h>

namespace {

void put16(QByteArray &out, quint16 v)
{
    out.append(char(v & 0xff)).append(char(v >> 8));
}

void put32(QByteArray &out, quint32 v)
{
    put16(out, quint16(v & 0xffff));
    put16(out, quint16(v >> 16));
}

// `zeros` zero bytes, raw-deflated; their CRC in `crc`.
QByteArray deflatedZeros(qint64 zeros, quint32 &crc)
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    const QByteArray chunk(1 << 20, '\0');
    QByteArray out;
    char buffer[1 << 16];
    crc = 0;
    for (qint64 left = zeros;;) {
        const qint64 now = std::min<qint64>(left, chunk.size());
        crc = quint32(crc32(crc, reinterpret_cast<const Bytef *>(chunk.constData()), uInt(now)));
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(chunk.constData()));
        stream.avail_in = uInt(now);
        left -= now;
        const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        int status = Z_OK;
        do {
            stream.next_out = reinterpret_cast<Bytef *>(buffer);
            stream.avail_out = sizeof buffer;
            status = deflate(&stream, flush);
            out.append(buffer, int(sizeof buffer - stream.avail_out));
        } while (stream.avail_out == 0);
        if (status == Z_STREAM_END || left == 0)
            break;
    }
    deflateEnd(&stream);
    return out;
}

} // namespace

bool ZipWriter::write(const QString &path) const
{
    QByteArray out;
    QByteArray central;
    QMap<qint64, QPair<QByteArray, quint32>> deflated;
    for (const Entry &entry : m_entries) {
        const QByteArray name = entry.name.toUtf8();
        if (entry.options.streamedZeros >= 0) {
            // Deflated once per size: a gigabyte of zeros takes a while.
            if (!deflated.contains(entry.options.streamedZeros)) {
                quint32 sum = 0;
                deflated.insert(entry.options.streamedZeros, {deflatedZeros(entry.options.streamedZeros, sum), sum});
            }
            const auto &[data, crc] = deflated[entry.options.streamedZeros];
            put32(out, 0x04034b50);
            for (const quint16 field : {20, 0x08, 8, 0, 0x21}) // version, flags (sizes after), deflated
                put16(out, field);
            put32(out, 0); // CRC and sizes: in the descriptor
            put32(out, 0);
            put32(out, 0);
            put16(out, quint16(name.size()));
            put16(out, 0);
            out.append(name).append(data);
            put32(out, 0x08074b50);
            put32(out, crc);
            put32(out, quint32(data.size()));
            put32(out, quint32(entry.options.streamedZeros));
            continue;
        }
        const quint32 crc
            = quint32(crc32(0, reinterpret_cast<const Bytef *>(entry.data.constData()), uInt(entry.data.size())));
        const quint32 offset = quint32(out.size());
        const quint32 listed
            = entry.options.listedSize >= 0 ? quint32(entry.options.listedSize) : quint32(entry.data.size());
        QByteArray extra;
        if (!entry.options.unicodePathField.isEmpty()) {
            const QByteArray unicode = entry.options.unicodePathField.toUtf8();
            put16(extra, 0x7075);
            put16(extra, quint16(5 + unicode.size()));
            extra.append(char(1)); // version
            put32(extra, quint32(crc32(0, reinterpret_cast<const Bytef *>(name.constData()), uInt(name.size()))));
            extra.append(unicode);
        }
        // The fields the local header and the directory share, from "version needed" on.
        const auto shared = [&](QByteArray &header, const QByteArray &headerName, quint32 size) {
            for (const quint16 field : {20, 0, 0, 0, 0x21}) // version, flags, stored, time, date
                put16(header, field);
            put32(header, crc);
            put32(header, quint32(entry.data.size()));
            put32(header, size);
            put16(header, quint16(headerName.size()));
            put16(header, quint16(extra.size()));
        };
        const QByteArray localName = entry.options.localName.isEmpty() ? name : entry.options.localName.toUtf8();
        put32(out, 0x04034b50);
        shared(out, localName, entry.options.localListedSize >= 0 ? quint32(entry.options.localListedSize) : listed);
        out.append(localName).append(extra).append(entry.data);

        const quint32 mode
            = entry.link ? 0120777u : 0100000u | (entry.options.mode >= 0 ? quint32(entry.options.mode) : 0644u);
        put32(central, 0x02014b50);
        put16(central, quint16(entry.options.hostByte << 8 | 0x1e)); // made by (host), spec 3.0
        shared(central, name, listed);
        put16(central, 0); // comment
        put16(central, 0); // disk
        put16(central, 0); // internal attributes
        put32(central, mode << 16);
        put32(central, offset);
        central.append(name).append(extra);
    }
    if (m_withoutDirectory) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
    }
    const quint32 centralOffset = quint32(out.size());
    out.append(central);
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, quint16(m_entries.size()));
    put16(out, quint16(m_entries.size()));
    put32(out, quint32(central.size()));
    put32(out, centralOffset);
    put16(out, 0);

    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}
