#pragma once

#include "datacare/SaveStates.h"

#include <QList>
#include <QString>

#include <optional>

// OpenEmu-Silicon offers, at every launch, to delete outright the save states of cores it knows
// to crash with them, with Delete as the default button. Before Vantor opens it (and after an
// update that puts states on that list) those states are backed up first.
namespace DeletionGuard {

// The states OpenEmu would offer to delete at its next launch with the cores of `app`. Reads
// the disk: run it off the main thread.
QList<SaveState> statesAtRisk(const std::optional<QString> &app);

struct Result
{
    int states = 0; // on the list
    bool fresh = false; // a set not protected before, and now backed up (by this or the given backup)
};

// Backs those states up into the automatic backups, unless this very set was backed up before
// (or `alreadyBackedUp`, when a backup of every state was just made). Throws what the backup
// throws.
Result protect(const std::optional<QString> &app, bool alreadyBackedUp = false);

// What the notice says: how many, that they are safe, and which answer keeps them.
QString notice(int states);

} // namespace DeletionGuard
