#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What Vantor remembers, in the app's own user defaults ("app.vantor.Vantor" on the Mac,
// ~/.config/Vantor/Vantor.conf elsewhere): the games folder, the window's geometry and the
// last folder of each open panel.
namespace Settings {

std::optional<QString> gamesFolder();
void setGamesFolder(const QString &path);

// The release the user skipped ("skippedVersion"), by its tag; none clears it.
std::optional<QString> skippedVersion();
void setSkippedVersion(const std::optional<QString> &tag);

// Whether an update first backs up the save states ("autoBackupBeforeUpdate", on by default).
bool autoBackupBeforeUpdate();
void setAutoBackupBeforeUpdate(bool on);

// Which set of save states (a fingerprint) was last backed up because OpenEmu would offer to
// delete them at launch ("deletionBackupSet"): the same set isn't backed up twice.
QString deletionBackupSet();
void setDeletionBackupSet(const QString &fingerprint);

// Whether the user marked the guide's games-folder step done without choosing one ("gamesStepDone").
bool gamesStepDone();
void setGamesStepDone(bool done);

// Where backups go ("backupFolder"): the folder the user chose last; none until they do.
std::optional<QString> backupFolder();
void setBackupFolder(const QString &path);

// The window's size and place, as QWidget::saveGeometry gives it ("windowGeometry").
QByteArray windowGeometry();
void setWindowGeometry(const QByteArray &geometry);

// The folder an open panel showed last, per panel ("lastFolder" + the panel's name).
std::optional<QString> lastFolder(const QString &panel);
void setLastFolder(const QString &panel, const QString &folder);

} // namespace Settings
