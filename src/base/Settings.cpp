#include "base/Settings.h"

#include <QSettings>

namespace Settings {

namespace {

const QString gamesFolderKey = QStringLiteral("gamesFolder");

} // namespace

std::optional<QString> gamesFolder()
{
    const QVariant value = QSettings(QStringLiteral("Vantor"), QStringLiteral("Vantor")).value(gamesFolderKey);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

void setGamesFolder(const QString &path)
{
    QSettings(QStringLiteral("Vantor"), QStringLiteral("Vantor")).setValue(gamesFolderKey, path);
}

} // namespace Settings
