#pragma once

#include "app/SaveStateJudge.h"

#include <QAbstractItemModel>

#include <vector>

// The save states as a tree for a view: systems, their games, and each game's states, with the
// states' core, judgement, date and size. Built once per list in one pass, so that a view stays
// quick with 100,000 states: rows are looked up by index, never searched.
class SaveStateTree : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Column { name, judgement, core, date, size, columnCount_ };
    // The bundle of a state row, or the folder of a system or game row.
    static constexpr int pathRole = Qt::UserRole + 1;
    // A state row's judgement word ("older-core", …); empty for a group.
    static constexpr int judgementRole = Qt::UserRole + 2;

    explicit SaveStateTree(QObject *parent = nullptr);

    void setStates(QList<JudgedState> states);

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct Node
    {
        int parent = -1; // -1 for a system
        int row = 0; // within its parent
        QString label;
        QString path;
        int state = -1; // into m_states, for a state row
        int atRisk = 0; // for a group: how many of its states may not load
        int count = 0; // for a group: how many states it holds
        std::vector<int> children = {};
    };
    const Node *nodeOf(const QModelIndex &index) const;

    QList<JudgedState> m_states;
    std::vector<Node> m_nodes; // systems, games and states; a QModelIndex holds its node's position + 1
    std::vector<int> m_systems;
};
