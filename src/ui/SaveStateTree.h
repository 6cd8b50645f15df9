#pragma once

#include "app/SaveStateJudge.h"

#include <QAbstractItemModel>

#include <vector>

// The save states as a tree for a view: systems, their games, and each game's states, with the
// states' status, core, date and size. Built once per list in one pass, and sorted in place, so
// that a view stays quick with 100,000 states: rows are looked up by index, never searched.
class SaveStateTree : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Column { name, status, core, date, size, columnCount_ };
    // The bundle of a state row, or the folder of a system or game row.
    static constexpr int pathRole = Qt::UserRole + 1;
    // A state row's judgement word ("older-core", …); empty for a group.
    static constexpr int judgementRole = Qt::UserRole + 2;

    explicit SaveStateTree(QObject *parent = nullptr);

    // Replaces the states, in the order last asked for (newest first until a header is clicked).
    void setStates(QList<JudgedState> states);
    // Only the states that may not load (and their systems and games), or all of them.
    void setOnlyAtRisk(bool only);
    bool onlyAtRisk() const { return m_onlyAtRisk; }
    // The state a row stands for; none for a system or game row.
    const JudgedState *stateAt(const QModelIndex &index) const;

    // Names in the Finder's order ("Slot 2" before "Slot 11"); a group sorts by its newest
    // state's date, its states' total size, or how many of them may not load.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // A judgement's short word for the status column ("Loads", "May not load", …).
    static QString statusWord(const QString &judgement);

private:
    struct Node
    {
        int parent = -1; // -1 for a system
        int row = 0; // within its parent
        QString label;
        QString path;
        int state = -1; // into m_shown, for a state row
        int atRisk = 0; // for a group: how many of its states may not load
        int count = 0; // for a group: how many states it holds
        qint64 bytes = 0; // a state's size; a group's states' total
        qint64 when = 0; // a state's date, a group's newest, in ms since the epoch (for sorting)
        std::vector<int> children = {};
    };
    const Node *nodeOf(const QModelIndex &index) const;
    void build();
    void sortNodes();
    // How a compares with b by the sort column (negative: a first when ascending).
    int compareBy(const Node &a, const Node &b) const;

    QList<JudgedState> m_all;
    QList<JudgedState> m_shown;
    bool m_onlyAtRisk = false;
    int m_sortColumn = date;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
    std::vector<Node> m_nodes; // systems, games and states; a QModelIndex holds its node's position + 1
    std::vector<int> m_systems;
};
