#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// One of OpenEmu's save states: a "<name>.oesavestate" bundle in <save states>/<system>/<game>/,
// with what its Info.plist says made it.
struct SaveState
{
    QString system;
    QString game;
    QString name; // as the user sees it: "Auto Save State", "Quick Save, Slot 3", or its own name
    QString path; // the bundle
    QString coreIdentifier;
    std::optional<QString> coreVersion; // none when it recorded none
    qint64 size = 0;
    QDateTime date; // its Info.plist Timestamp; else when its State was last written
    QString formatVersion; // its Info.plist Version ("1.0"); OpenEmu refuses a higher one
    bool readable = false; // a State file and an Info.plist with Name, ROM MD5 and Core Identifier
};

namespace SaveStates {

inline constexpr int maxBundles = 100'000;

// Every save-state bundle under `folder` (at most maxBundles), in path order. A bundle name
// that is a file, or a link, is skipped; one that can't be read is listed as not readable.
// `leftOut`, when given, is set to how many bundles lay past the cap (counted, not read).
QList<SaveState> scan(const QString &folder, qsizetype *leftOut = nullptr);

// OpenEmu's special names (OESpecialState_auto, _quick, _quick<N>) as it shows them.
QString displayName(const QString &name);

} // namespace SaveStates
