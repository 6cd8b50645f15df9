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
    QList<Panel> panels; // every panel shown
    std::optional<QString> folderAnswer; // what a folder panel gives
    std::optional<QString> fileAnswer; // what a file panel gives
    QList<List> lists; // every list question shown
    QList<Picked> picks; // taken in order; closed (-1) when none is left

    QCoro::Task<int> ask(Alert alert) override
    {
        asked.append(alert);
        co_return answers.isEmpty() ? -1 : answers.takeFirst();
    }
    QCoro::Task<std::optional<QString>> choose(Panel panel) override
    {
        panels.append(panel);
        std::optional<QString> answer = panel.chooseFolder ? folderAnswer : fileAnswer; // a copy: see TerminalPrompter
        co_return answer;
    }
    QCoro::Task<Picked> pick(List list) override
    {
        lists.append(list);
        co_return picks.isEmpty() ? Picked{} : picks.takeFirst();
    }
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
