#include "base/Settings.h"

#include "base/MacDefaults.h"
#include "base/TestHooks.h"

#include <QDir>
#include <QSettings>

namespace Settings {

namespace {

const QString gamesFolderKey = QStringLiteral("gamesFolder");

// The app's own defaults domain on the Mac, "app.vantor.Vantor", read and written through the
// preferences system (cfprefsd caches a domain and writes its copy back, so the plist file is
// never written behind it). Qt's QSettings can't name that domain: it would turn the
// organisation "vantor.app" into "com.vantor-app" (it reverses only known domain endings).
// Tests and the demo keep the settings in a plist file in their own home instead: cfprefsd
// ignores HOME, so the domain would be the real user's. ~/.config/Vantor/Vantor.conf elsewhere.
#ifdef Q_OS_MACOS
bool inSandbox()
{
    return DemoFlag::isSet() || TestHooks::inTest();
}
#endif

QSettings fileStore()
{
#ifdef Q_OS_MACOS
    return QSettings(QDir::homePath() + QStringLiteral("/Library/Preferences/app.vantor.Vantor.plist"),
                     QSettings::NativeFormat);
#else
    return QSettings(QStringLiteral("Vantor"), QStringLiteral("Vantor"));
#endif
}

QVariant read(const QString &key, const QVariant &fallback = {})
{
#ifdef Q_OS_MACOS
    if (!inSandbox()) {
        const QVariant value = MacDefaults::value(key);
        return value.isValid() ? value : fallback;
    }
#endif
    return fileStore().value(key, fallback);
}

void write(const QString &key, const QVariant &value)
{
#ifdef Q_OS_MACOS
    if (!inSandbox())
        return MacDefaults::setValue(key, value);
#endif
    fileStore().setValue(key, value);
}

void erase(const QString &key)
{
#ifdef Q_OS_MACOS
    if (!inSandbox())
        return MacDefaults::setValue(key, {});
#endif
    fileStore().remove(key);
}

} // namespace

std::optional<QString> gamesFolder()
{
    const QVariant value = read(gamesFolderKey);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

void setGamesFolder(const QString &path)
{
    write(gamesFolderKey, path);
}

bool gamesStepDone()
{
    return read(QStringLiteral("gamesStepDone"), false).toBool();
}

void setGamesStepDone(bool done)
{
    write(QStringLiteral("gamesStepDone"), done);
}

std::optional<QString> backupFolder()
{
    const QVariant value = read(QStringLiteral("backupFolder"));
    if (value.typeId() != QMetaType::QString || value.toString().isEmpty())
        return std::nullopt;
    return value.toString();
}

void setBackupFolder(const QString &path)
{
    write(QStringLiteral("backupFolder"), path);
}

std::optional<QString> skippedVersion()
{
    const QVariant value = read(QStringLiteral("skippedVersion"));
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

void setSkippedVersion(const std::optional<QString> &tag)
{
    if (tag)
        write(QStringLiteral("skippedVersion"), *tag);
    else
        erase(QStringLiteral("skippedVersion"));
}

bool autoBackupBeforeUpdate()
{
    const QVariant value = read(QStringLiteral("autoBackupBeforeUpdate"));
    return value.isValid() ? value.toBool() : true;
}

void setAutoBackupBeforeUpdate(bool on)
{
    write(QStringLiteral("autoBackupBeforeUpdate"), on);
}

QString deletionBackupSet()
{
    return read(QStringLiteral("deletionBackupSet")).toString();
}

void setDeletionBackupSet(const QString &fingerprint)
{
    write(QStringLiteral("deletionBackupSet"), fingerprint);
}

QByteArray windowGeometry()
{
    return read(QStringLiteral("windowGeometry")).toByteArray();
}

void setWindowGeometry(const QByteArray &geometry)
{
    write(QStringLiteral("windowGeometry"), geometry);
}

std::optional<QString> lastFolder(const QString &panel)
{
    const QVariant value = read(QStringLiteral("lastFolder") + panel);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

void setLastFolder(const QString &panel, const QString &folder)
{
    write(QStringLiteral("lastFolder") + panel, folder);
}

} // namespace Settings
