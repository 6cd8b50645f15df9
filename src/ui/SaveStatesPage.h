#pragma once

#include <QWidget>

class AppModel;
class QCheckBox;
class QLabel;
class QPushButton;
class QTreeView;
class SaveStateTree;
class StateThumbnails;

// OpenEmu's save states by system and game, which of them may not load with the cores installed,
// and the selected one in full with its screenshot. Read each time the page is shown.
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
    // The detail pane for the current row.
    void showCurrent();

    AppModel &m_model;
    SaveStateTree *m_tree;
    StateThumbnails *m_thumbnails;
    QTreeView *m_view;
    QLabel *m_summary;
    QCheckBox *m_onlyAtRisk;
    QPushButton *m_reveal;
    QWidget *m_detail;
    QLabel *m_thumbnail;
    QLabel *m_detailTitle;
    QLabel *m_detailPlace;
    QLabel *m_detailSentence;
    QLabel *m_detailFacts;
};
