#pragma once

#include "base/Prompter.h"

class QWidget;

// Asks the model's questions with the window's own alerts and open panels.
class DialogPrompter : public Prompter
{
public:
    explicit DialogPrompter(QWidget *parent = nullptr)
        : m_parent(parent)
    {
    }
    void setParent(QWidget *parent) { m_parent = parent; }

    int ask(const Alert &alert) override;
    std::optional<QString> chooseFolder(const QString &prompt) override;
    std::optional<QString> chooseFile(const QString &prompt, const QStringList &nameFilters) override;

private:
    QWidget *m_parent;
};
