#include "base/Settings.h"

#include <QSettings>

namespace Settings {

namespace {

const QString gamesFolderKey = QStringLiteral("gamesFolder");

// The app's own defaults domain on the Mac ("app.vantor.Vantor": Qt reverses a domain-shaped
// organisation); ~/.config/Vantor/Vantor.conf elsewhere, as before.
QSettings store()
{
#ifdef Q_OS_MACOS
    return QSettings(QStringLiteral("vantor.app"), QStringLiteral("Vantor"));
#else
    return QSettings(QStringLiteral("Vantor"), QStringLiteral("Vantor"));
#endif
}

} // namespace

std::optional<QString> gamesFolder()
{
    const QVariant value = store().value(gamesFolderKey);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

void setGamesFolder(const QString &path)
{
    store().setValue(gamesFolderKey, path);
}

} // namespace Settings
