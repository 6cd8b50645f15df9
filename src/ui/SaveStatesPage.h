#pragma once

#include <QWidget>

class AppModel;
class QLabel;
class QPushButton;
class QTreeView;
class SaveStateTree;

// OpenEmu's save states by system and game, and which of them may not load with the cores
// installed. Read each time the page is shown.
class SaveStatesPage : public QWidget
{
    Q_OBJECT

public:
    explicit SaveStatesPage(AppModel &model, QWidget *parent = nullptr);

    QTreeView *tree() const { return m_view; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void sync();

    AppModel &m_model;
    SaveStateTree *m_tree;
    QTreeView *m_view;
    QLabel *m_summary;
    QPushButton *m_reveal;
};
