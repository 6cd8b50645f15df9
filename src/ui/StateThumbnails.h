#pragma once

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QSize>
#include <QString>

#include <optional>

// Save states' own screenshots (the `ScreenShot` file in each bundle), read and scaled down off
// the main thread and kept by bundle and size, so that stepping through a list of 100,000 states
// never waits on the disk.
class StateThumbnails : public QObject
{
    Q_OBJECT

public:
    explicit StateThumbnails(QObject *parent = nullptr);

    // The thumbnail, fitted into `box`, when it has been read: a null image when the bundle has
    // none that can be read. Otherwise none, and reading starts; loaded() follows.
    std::optional<QImage> get(const QString &bundle, const QSize &box);

    // Reads and scales one screenshot (blocking). A file larger than a screenshot can be, or an
    // image too large to decode safely, gives a null image.
    static QImage read(const QString &bundle, const QSize &box);

Q_SIGNALS:
    void loaded(const QString &bundle);

private:
    static QString key(const QString &bundle, const QSize &box);

    QCache<QString, QImage> m_cache; // cost: KiB of pixels
    QSet<QString> m_reading;
};
