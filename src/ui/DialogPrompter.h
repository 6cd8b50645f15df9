#pragma once

#include "base/Prompter.h"

#include <QPointer>
#include <QWidget>

// Asks the model's questions with the window's own alerts, lists and open panels. Each is a
// sheet on the main window (window-modal, opened with open()) awaited through its finished
// signal: no nested event loop, and the rest of the desktop stays usable.
class DialogPrompter : public Prompter
{
public:
    explicit DialogPrompter(QWidget *parent = nullptr)
        : m_parent(parent)
    {
    }
    void setParent(QWidget *parent) { m_parent = parent; }

    QCoro::Task<int> ask(Alert alert) override;
    QCoro::Task<std::optional<QString>> choose(Panel panel) override;
    QCoro::Task<Picked> pick(List list) override;

private:
    QPointer<QWidget> m_parent;
};
