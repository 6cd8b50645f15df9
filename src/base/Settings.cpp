#include "base/Settings.h"

#include <QDir>
#include <QSettings>

namespace Settings {

namespace {

const QString gamesFolderKey = QStringLiteral("gamesFolder");

// The app's own defaults domain on the Mac, named by its file: Qt would turn the organisation
// "vantor.app" into "com.vantor-app" (it reverses only known domain endings), not the bundle's
// "app.vantor.Vantor". ~/.config/Vantor/Vantor.conf elsewhere, as before.
QSettings store()
{
#ifdef Q_OS_MACOS
    return QSettings(QDir::homePath() + QStringLiteral("/Library/Preferences/app.vantor.Vantor.plist"),
                     QSettings::NativeFormat);
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

bool gamesStepDone()
{
    return store().value(QStringLiteral("gamesStepDone"), false).toBool();
}

void setGamesStepDone(bool done)
{
    store().setValue(QStringLiteral("gamesStepDone"), done);
}

std::optional<QString> backupFolder()
{
    const QVariant value = store().value(QStringLiteral("backupFolder"));
    if (value.typeId() != QMetaType::QString || value.toString().isEmpty())
        return std::nullopt;
    return value.toString();
}

void setBackupFolder(const QString &path)
{
    store().setValue(QStringLiteral("backupFolder"), path);
}

std::optional<QString> skippedVersion()
{
    const QVariant value = store().value(QStringLiteral("skippedVersion"));
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

void setSkippedVersion(const std::optional<QString> &tag)
{
    if (tag)
        store().setValue(QStringLiteral("skippedVersion"), *tag);
    else
        store().remove(QStringLiteral("skippedVersion"));
}

bool autoBackupBeforeUpdate()
{
    const QVariant value = store().value(QStringLiteral("autoBackupBeforeUpdate"));
    return value.isValid() ? value.toBool() : true;
}

void setAutoBackupBeforeUpdate(bool on)
{
    store().setValue(QStringLiteral("autoBackupBeforeUpdate"), on);
}

QString deletionBackupSet()
{
    return store().value(QStringLiteral("deletionBackupSet")).toString();
}

void setDeletionBackupSet(const QString &fingerprint)
{
    store().setValue(QStringLiteral("deletionBackupSet"), fingerprint);
}

QByteArray windowGeometry()
{
    return store().value(QStringLiteral("windowGeometry")).toByteArray();
}

void setWindowGeometry(const QByteArray &geometry)
{
    store().setValue(QStringLiteral("windowGeometry"), geometry);
}

std::optional<QString> lastFolder(const QString &panel)
{
    const QVariant value = store().value(QStringLiteral("lastFolder") + panel);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

void setLastFolder(const QString &panel, const QString &folder)
{
    store().setValue(QStringLiteral("lastFolder") + panel, folder);
}

} // namespace Settings
