#pragma once

#include "app/InstallPhase.h"
#include "app/Refresh.h"
#include "app/SaveStateJudge.h"
#include "datacare/BackupItem.h"
#include "datacare/BackupManager.h"
#include "datacare/BiosImport.h"
#include "datacare/TidyRow.h"
#include "guide/ProjectDocs.h"
#include "release/Release.h"

#include <QList>
#include <QMap>
#include <QString>

#include <optional>

class Downloader;

// The state each of the model's flows keeps, one struct per flow. The model owns them and
// publishes them through its accessors and change signals; only the flow itself writes its own.

// The release check (AppModel.cpp) and skipping a release.
struct ReleaseState
{
    explicit ReleaseState(QObject *owner)
        : refresh(owner)
    {
    }
    Refresh refresh;
    std::optional<Release> latest;
    bool loading = false;
    std::optional<QString> fallbackNote; // the newest release has no app file: which one is offered
    std::optional<QString> skippedVersion;
};

// Install and update (flows/InstallFlow.cpp).
struct InstallState
{
    InstallPhase phase = InstallPhase::idle;
    qint64 downloaded = 0;
    qint64 totalBytes = 0;
    double speed = 0;
    bool running = false;
    bool updating = false; // the running install is an update
    bool cancelled = false; // Cancel (or Ctrl-C) was asked for the running install
    Downloader *downloader = nullptr; // the running install's download, for Cancel
    bool toSystemApplications = false;
    bool autoBackupBeforeUpdate = true;
    bool skipNextAutoBackup = false;
    // What the last update changed under save states that loaded before it (said in its notice).
    QList<SaveStateJudge::CoreChange> coreChanges;
};

// Backup and restore (flows/BackupFlow.cpp).
struct BackupState
{
    explicit BackupState(QObject *owner)
        : refresh(owner)
    {
    }
    Refresh refresh;
    QList<BackupItem> items;
    QList<BackupManager::Listed> earlier; // the zips in the backup folder, newest first
};

// The Tidy page (flows/TidyFlow.cpp).
struct TidyState
{
    explicit TidyState(QObject *owner)
        : refresh(owner)
    {
    }
    Refresh refresh;
    QList<TidyRow> rows;
};

// The first-game guide (flows/GuideFlow.cpp).
// The installed cores and the judged save states (flows/SaveStatesFlow.cpp).
struct SaveStatesState
{
    explicit SaveStatesState(QObject *owner)
        : refresh(owner)
        , coresRefresh(owner)
    {
    }
    Refresh refresh;
    Refresh coresRefresh;
    bool loading = false;
    QList<Core> cores;
    QList<JudgedState> states;
    QList<SystemInfo> systems; // as the installed app's system plug-ins have them; empty without
    qsizetype leftOut = 0; // states past the scan's cap, not read
    std::optional<QString> unreachable; // the save-state folder, on a drive that isn't connected
};

// What "Add BIOS Files…" did (flows/BiosImportFlow.cpp).
struct BiosImportResult
{
    QStringList added;
    int unrecognised = 0;
    QStringList alreadyThere;
    QList<BiosImport::Skipped> skipped;
    // "Added 4 BIOS files: …. 12 files weren't recognized."
    QString summary() const;
};

struct GuideState
{
    using BiosMap = QMap<QString, QString>;
    explicit GuideState(QObject *owner)
        : refresh(owner)
    {
    }
    Refresh refresh;
    std::optional<QString> gamesFolder;
    bool gamesStepDone = false; // marked done without a folder
    BiosMap found; // file name, lower-cased -> where it is in the BIOS folder
    BiosMap misplaced; // file name, lower-cased -> where it is outside the BIOS folder
    BiosMap hashes; // file name, lower-cased -> MD5 in hex
    QList<KnownDump> known = ProjectDocs::knownDumps();
    BiosImportResult lastImport; // and the installed cores' dumps, after a scan
};
