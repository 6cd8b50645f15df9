#include "ui/StateThumbnails.h"

#include "platform/FileOps.h"

#include <QBuffer>
#include <QFutureWatcher>
#include <QImageReader>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// A screenshot is a few hundred KiB; a file far larger, or an image past this many pixels a
// side, is not read (a hostile bundle could otherwise make one decode take gigabytes).
constexpr qint64 maxFileBytes = 32 * 1024 * 1024;
constexpr int maxSide = 8192;

} // namespace

StateThumbnails::StateThumbnails(QObject *parent)
    : QObject(parent)
{
    m_cache.setMaxCost(64 * 1024); // 64 MiB of thumbnails
}

QString StateThumbnails::key(const QString &bundle, const QSize &box)
{
    return QStringLiteral("%1x%2 ").arg(box.width()).arg(box.height()) + bundle;
}

QImage StateThumbnails::read(const QString &bundle, const QSize &box)
{
    // The format is whatever OpenEmu wrote: the reader judges it by the bytes.
    const auto bytes = FileOps::readRegularFile(bundle + QStringLiteral("/ScreenShot"), maxFileBytes);
    if (!bytes)
        return {};
    QBuffer buffer;
    buffer.setData(*bytes);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > maxSide || size.height() > maxSide)
        return {};
    reader.setScaledSize(size.scaled(box, Qt::KeepAspectRatio));
    return reader.read();
}

std::optional<QImage> StateThumbnails::get(const QString &bundle, const QSize &box)
{
    const QString k = key(bundle, box);
    if (const QImage *cached = m_cache.object(k))
        return *cached;
    if (m_reading.contains(k))
        return std::nullopt;
    m_reading.insert(k);
    auto *watcher = new QFutureWatcher<QImage>(this);
    connect(watcher, &QFutureWatcher<QImage>::finished, this, [this, watcher, k, bundle] {
        const QImage image = watcher->result();
        watcher->deleteLater();
        m_reading.remove(k);
        m_cache.insert(k, new QImage(image), std::max<int>(1, int(image.sizeInBytes() / 1024)));
        Q_EMIT loaded(bundle);
    });
    watcher->setFuture(QtConcurrent::run([bundle, box] { return read(bundle, box); }));
    return std::nullopt;
}
