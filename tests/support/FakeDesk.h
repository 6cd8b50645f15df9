#pragma once

#include "base/Prompter.h"
#include "platform/Workspace.h"

#include <QList>
#include <QUrl>

// Scripted answers to the model's questions, and a record of what was asked.
class ScriptedPrompter : public Prompter
{
public:
    QList<int> answers; // taken in order; -1 (closed) when none is left
    QList<Alert> asked; // every alert shown
    std::optional<QString> folderAnswer; // what the folder chooser gives
    std::optional<QString> fileAnswer; // what the file chooser gives

    int ask(const Alert &alert) override
    {
        asked.append(alert);
        return answers.isEmpty() ? -1 : answers.takeFirst();
    }
    std::optional<QString> chooseFolder(const QString &) override { return folderAnswer; }
    std::optional<QString> chooseFile(const QString &, const QStringList &) override { return fileAnswer; }
};

// Records what the model asked the file manager to show.
class RecordingWorkspace : public Workspace
{
public:
    QStringList revealed;
    QList<QUrl> opened;

    void reveal(const QString &path) override { revealed.append(path); }
    void open(const QUrl &url) override { opened.append(url); }
};
