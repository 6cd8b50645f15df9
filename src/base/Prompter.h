#pragma once

#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

#include <optional>

// The modal questions an action asks the user. The window answers them with alerts and open
// panels, vantor-cli at the terminal (or with --yes), tests from a script. Every question has
// an identifier, so that scripted answers never depend on its wording.
class Prompter
{
public:
    enum class Style { informational, warning };

    enum class AlertId {
        quitOpenEmu, // "OpenEmu is running"
        stillOpen, // "OpenEmu is still open.": Wait or Cancel; never answered for a script
        coreChange, // "12 save states were made with …": Update or Cancel
        rollback, // "Go back to the previous version?"
        restoreChoice, // "Which backup do you want to restore?": an automatic backup, a file, or Cancel
        restore, // "Restore this backup?"
        uninstallApp, // "Move OpenEmu-Silicon to the Trash?"
        uninstallData, // "Also remove OpenEmu's data?"
        replaceBios, // "Replace scph5501.bin?": an unrecognised BIOS file goes to the Trash
    };

    struct Alert
    {
        AlertId id = AlertId::quitOpenEmu;
        QString message;
        QString informative;
        QStringList buttons; // in order; the first is the one that confirms
        Style style = Style::informational;
        // The answer Return (or Enter at the terminal) gives. A question whose "yes" moves the
        // user's data to the Trash or writes over it defaults to the safe answer.
        int defaultButton = 0;
    };

    enum class PanelId { backupFolder, restoreZip, gamesFolder, biosFiles };

    // A question over a list: one row to choose (which backup to restore) or rows to tick (what
    // an uninstall moves to the Trash).
    enum class ListId { restoreChoice, uninstallItems };
    struct Row
    {
        QString id;
        QString title;
        QString detail; // a second line: a size, what a backup holds
        bool checked = false; // ticked at first (several), or selected at first (one)
    };
    struct List
    {
        ListId id = ListId::restoreChoice;
        QString message;
        QString informative;
        QList<Row> rows;
        bool several = false; // check boxes; otherwise one row is chosen
        QStringList buttons; // the first confirms, the last declines; any between are their own
        int defaultButton = 0;
    };
    struct Picked
    {
        int button = -1; // -1 when closed without one
        QStringList rows; // the ids chosen
    };

    struct Panel
    {
        PanelId id = PanelId::backupFolder;
        QString prompt; // the accept button's text
        QString message; // the sentence shown in the panel
        QStringList nameFilters; // files only; empty when a folder is chosen
        bool chooseFolder = true;
    };

    virtual ~Prompter() = default;

    // The index of the button chosen, or -1 when the alert was closed without one.
    virtual QCoro::Task<int> ask(Alert alert) = 0;
    // The folder or file the user picked, or none when they cancelled.
    virtual QCoro::Task<std::optional<QString>> choose(Panel panel) = 0;
    // The button and the rows chosen.
    virtual QCoro::Task<Picked> pick(List list) = 0;
};
