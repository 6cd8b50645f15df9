#pragma once

#include "base/Prompter.h"

#include <QPointer>
#include <QWidget>

// Asks the model's questions with the window's own alerts and open panels. Each is shown
// application-modal and awaited through its finished signal: no nested event loop.
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

private:
    QPointer<QWidget> m_parent;
};
