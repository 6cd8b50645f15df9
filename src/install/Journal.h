#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <utility>

// What a placement or a rollback is about to do, written to Vantor's support folder before its
// first move and removed after its last, so that a run killed in between can be finished or
// undone from what is on disk.
struct Journal
{
    enum class Kind { update, rollback };

    Kind kind = Kind::update;
    QString target; // the installed app's path; whole at every moment
    QString staging; // beside the target: the incoming app, then (after the swap) the outgoing one
    QString source; // rollback: the kept copy brought in
    QString keptDest; // where the outgoing app is kept, in Previous versions
    QString fallbackOld; // where the target waits when the file system cannot swap in one step
    QList<std::pair<QString, QString>> setAside; // update: earlier kept copies, and where they wait
    qint64 stagedInode = -1; // the staging copy's inode once it holds the whole incoming app
    qint64 pid = 0; // the process that wrote it
};

namespace JournalFile {

QString path();
// Replaces the journal in one step (a kill leaves the old one or the new one).
void write(const Journal &journal);
// The journal, or none when there is none or it cannot be read.
std::optional<Journal> read();
void remove();

} // namespace JournalFile
