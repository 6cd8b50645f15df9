#include "ui/SaveStateTree.h"

#include "base/ByteCount.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>

#include <algorithm>

SaveStateTree::SaveStateTree(QObject *parent)
    : QAbstractItemModel(parent)
{
}

void SaveStateTree::setStates(QList<JudgedState> states)
{
    beginResetModel();
    m_states = std::move(states);
    // The states OpenEmu will offer to delete at launch come first (and with them their systems
    // and games); the rest stay in path order.
    std::stable_sort(m_states.begin(), m_states.end(), [](const JudgedState &a, const JudgedState &b) {
        const bool first = a.judgement == QStringLiteral("deleted-at-launch");
        return first && b.judgement != QStringLiteral("deleted-at-launch");
    });
    m_nodes.clear();
    m_systems.clear();
    m_nodes.reserve(size_t(m_states.size()) + 64);
    QHash<QString, int> systems; // system -> node
    QHash<QString, int> games; // system + '/' + game -> node
    const auto child = [this](int parent, Node node) {
        node.parent = parent;
        node.row = int(parent < 0 ? m_systems.size() : m_nodes[size_t(parent)].children.size());
        // Added first, its parent looked up after: adding may move every node (and their lists).
        m_nodes.push_back(std::move(node));
        const int added = int(m_nodes.size()) - 1;
        (parent < 0 ? m_systems : m_nodes[size_t(parent)].children).push_back(added);
        return added;
    };
    // The scan gives the states in path order, so each system's and game's rows come in order too.
    for (qsizetype at = 0; at < m_states.size(); ++at) {
        const JudgedState &judged = m_states[at];
        const QString gameFolder = QFileInfo(judged.state.path).path();
        int system = systems.value(judged.state.system, -1);
        if (system < 0) {
            system = child(-1, {.label = judged.state.system, .path = QFileInfo(gameFolder).path()});
            systems.insert(judged.state.system, system);
        }
        const QString gameKey = judged.state.system + QLatin1Char('/') + judged.state.game;
        int game = games.value(gameKey, -1);
        if (game < 0) {
            game = child(system, {.label = judged.state.game, .path = gameFolder});
            games.insert(gameKey, game);
        }
        const bool risky = SaveStateJudge::atRisk(judged);
        for (const int group : {system, game}) {
            ++m_nodes[size_t(group)].count;
            m_nodes[size_t(group)].atRisk += risky ? 1 : 0;
        }
        child(game, {.label = judged.state.name, .path = judged.state.path, .state = int(at)});
    }
    endResetModel();
}

const SaveStateTree::Node *SaveStateTree::nodeOf(const QModelIndex &index) const
{
    if (!index.isValid() || index.internalId() == 0 || index.internalId() > m_nodes.size())
        return nullptr;
    return &m_nodes[index.internalId() - 1];
}

QModelIndex SaveStateTree::index(int row, int column, const QModelIndex &parent) const
{
    if (column < 0 || column >= columnCount_ || row < 0)
        return {};
    const std::vector<int> *rows = &m_systems;
    if (parent.isValid()) {
        const Node *node = nodeOf(parent);
        if (!node)
            return {};
        rows = &node->children;
    }
    if (size_t(row) >= rows->size())
        return {};
    return createIndex(row, column, quintptr((*rows)[size_t(row)]) + 1);
}

QModelIndex SaveStateTree::parent(const QModelIndex &child) const
{
    const Node *node = nodeOf(child);
    if (!node || node->parent < 0)
        return {};
    const Node &parent = m_nodes[size_t(node->parent)];
    return createIndex(parent.row, 0, quintptr(node->parent) + 1);
}

int SaveStateTree::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(m_systems.size());
    if (parent.column() != 0)
        return 0;
    const Node *node = nodeOf(parent);
    return node ? int(node->children.size()) : 0;
}

int SaveStateTree::columnCount(const QModelIndex &) const
{
    return columnCount_;
}

QVariant SaveStateTree::data(const QModelIndex &index, int role) const
{
    const Node *node = nodeOf(index);
    if (!node)
        return {};
    if (role == pathRole)
        return node->path;
    const JudgedState *judged = node->state >= 0 ? &m_states[node->state] : nullptr;
    if (role == judgementRole)
        return judged ? judged->judgement : QString();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (Column(index.column())) {
    case name: return node->label;
    case judgement:
        if (judged)
            return SaveStateJudge::explain(*judged);
        if (node->atRisk == 0)
            return node->count == 1 ? QStringLiteral("1 save state")
                                    : QStringLiteral("%L1 save states").arg(node->count);
        return QStringLiteral("%L1 of %L2 may not load").arg(node->atRisk).arg(node->count);
    case core:
        if (!judged)
            return {};
        return judged->coreName.isEmpty() ? judged->state.coreIdentifier : judged->coreName;
    case date: return judged ? QLocale().toString(judged->state.date.toLocalTime(), QLocale::ShortFormat) : QString();
    case size: return judged ? ByteCount::fileStyle(judged->state.size) : QString();
    case columnCount_: break;
    }
    return {};
}

QVariant SaveStateTree::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (Column(section)) {
    case name: return QStringLiteral("Name");
    case judgement: return QStringLiteral("Will it load?");
    case core: return QStringLiteral("Core");
    case date: return QStringLiteral("Saved");
    case size: return QStringLiteral("Size");
    case columnCount_: break;
    }
    return {};
}
