#include "ui/SaveStateTree.h"

#include "base/ByteCount.h"
#include "base/NaturalOrder.h"
#include "ui/Icons.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>

#include <algorithm>

namespace {

// How bad a judgement is, for sorting by status: what OpenEmu deletes first.
int severity(const QString &judgement)
{
    if (judgement == QStringLiteral("deleted-at-launch"))
        return 4;
    if (judgement == QStringLiteral("unreadable") || judgement == QStringLiteral("newer-format")
        || judgement == QStringLiteral("core-missing"))
        return 3;
    if (judgement == QStringLiteral("matches") || judgement == QStringLiteral("no-version"))
        return 0;
    return 2; // another core version: OpenEmu warns
}

} // namespace

SaveStateTree::SaveStateTree(QObject *parent)
    : QAbstractItemModel(parent)
{
}

QString SaveStateTree::statusWord(const QString &judgement)
{
    switch (severity(judgement)) {
    case 0: return QStringLiteral("Loads");
    case 2: return QStringLiteral("May not load");
    case 3: return QStringLiteral("Won't load");
    default: return QStringLiteral("Offered for deletion");
    }
}

void SaveStateTree::setStates(QList<JudgedState> states)
{
    beginResetModel();
    m_all = std::move(states);
    build();
    endResetModel();
}

void SaveStateTree::setOnlyAtRisk(bool only)
{
    if (only == m_onlyAtRisk)
        return;
    beginResetModel();
    m_onlyAtRisk = only;
    build();
    endResetModel();
}

void SaveStateTree::build()
{
    m_shown.clear();
    for (const JudgedState &judged : std::as_const(m_all)) {
        if (!m_onlyAtRisk || SaveStateJudge::atRisk(judged))
            m_shown.append(judged);
    }
    m_nodes.clear();
    m_systems.clear();
    m_nodes.reserve(size_t(m_shown.size()) + 64);
    QHash<QString, int> systems; // system -> node
    QHash<QString, int> games; // system + '/' + game -> node
    const auto child = [this](int parent, Node node) {
        node.parent = parent;
        // Added first, its parent looked up after: adding may move every node (and their lists).
        m_nodes.push_back(std::move(node));
        const int added = int(m_nodes.size()) - 1;
        (parent < 0 ? m_systems : m_nodes[size_t(parent)].children).push_back(added);
        return added;
    };
    for (qsizetype at = 0; at < m_shown.size(); ++at) {
        const JudgedState &judged = m_shown[at];
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
        const qint64 when = judged.state.date.isValid() ? judged.state.date.toMSecsSinceEpoch() : 0;
        for (const int group : {system, game}) {
            Node &node = m_nodes[size_t(group)];
            ++node.count;
            node.atRisk += risky ? 1 : 0;
            node.bytes = ByteCount::saturatingAdd(node.bytes, judged.state.size);
            node.when = std::max(node.when, when);
        }
        child(game, {.label = judged.state.name,
                     .path = judged.state.path,
                     .state = int(at),
                     .bytes = judged.state.size,
                     .when = when});
    }
    sortNodes();
}

int SaveStateTree::compareBy(const Node &a, const Node &b) const
{
    const JudgedState *x = a.state >= 0 ? &m_shown[a.state] : nullptr;
    const JudgedState *y = b.state >= 0 ? &m_shown[b.state] : nullptr;
    switch (Column(m_sortColumn)) {
    case name: return NaturalOrder::compare(a.label, b.label);
    case status: return x && y ? severity(x->judgement) - severity(y->judgement) : a.atRisk - b.atRisk;
    case core:
        if (x && y)
            return NaturalOrder::compare(x->coreName.isEmpty() ? x->state.coreIdentifier : x->coreName,
                                         y->coreName.isEmpty() ? y->state.coreIdentifier : y->coreName);
        return 0;
    case date: return a.when < b.when ? -1 : a.when > b.when ? 1 : 0;
    case size: return a.bytes < b.bytes ? -1 : a.bytes > b.bytes ? 1 : 0;
    case columnCount_: break;
    }
    return 0;
}

void SaveStateTree::sortNodes()
{
    const auto sortRows = [this](std::vector<int> &rows) {
        std::stable_sort(rows.begin(), rows.end(), [this](int a, int b) {
            const Node &x = m_nodes[size_t(a)], &y = m_nodes[size_t(b)];
            if (const int order = compareBy(x, y); order != 0)
                return m_sortOrder == Qt::AscendingOrder ? order < 0 : order > 0;
            return NaturalOrder::compare(x.label, y.label) < 0; // equals stay A to Z either way
        });
        for (size_t row = 0; row < rows.size(); ++row)
            m_nodes[size_t(rows[row])].row = int(row);
    };
    sortRows(m_systems);
    for (Node &node : m_nodes) {
        if (!node.children.empty())
            sortRows(node.children);
    }
}

void SaveStateTree::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= columnCount_)
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    m_sortColumn = column;
    m_sortOrder = order;
    sortNodes();
    // A node keeps its place in m_nodes: only its row moved.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before) {
        const Node *node = nodeOf(index);
        after.append(node ? createIndex(node->row, index.column(), index.internalId()) : QModelIndex());
    }
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

const SaveStateTree::Node *SaveStateTree::nodeOf(const QModelIndex &index) const
{
    if (!index.isValid() || index.internalId() == 0 || index.internalId() > m_nodes.size())
        return nullptr;
    return &m_nodes[index.internalId() - 1];
}

const JudgedState *SaveStateTree::stateAt(const QModelIndex &index) const
{
    const Node *node = nodeOf(index);
    return node && node->state >= 0 ? &m_shown[node->state] : nullptr;
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
    const JudgedState *judged = node->state >= 0 ? &m_shown[node->state] : nullptr;
    if (role == judgementRole)
        return judged ? judged->judgement : QString();
    if (role == Qt::DecorationRole && index.column() == status) {
        // A mark per kind of trouble, so that a glance down the column finds it.
        const int level = judged ? severity(judged->judgement) : (node->atRisk > 0 ? 2 : 0);
        switch (level) {
        case 0: return Icons::symbol(QStringLiteral("checkmark.circle.fill"), QColor(52, 199, 89));
        case 2: return Icons::symbol(QStringLiteral("exclamationmark.triangle.fill"), QColor(255, 149, 0));
        case 3: return Icons::symbol(QStringLiteral("xmark.octagon.fill"), QColor(255, 59, 48));
        default: return Icons::symbol(QStringLiteral("trash"), QColor(255, 59, 48));
        }
    }
    if (role == Qt::ToolTipRole && index.column() == status && judged)
        return SaveStateJudge::explain(*judged); // the whole sentence, never cut off
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (Column(index.column())) {
    case name: return node->label;
    case status:
        if (judged)
            return statusWord(judged->judgement);
        if (node->atRisk == 0)
            return node->count == 1 ? QStringLiteral("1 save state")
                                    : QStringLiteral("%L1 save states").arg(node->count);
        return QStringLiteral("%L1 of %L2 may not load").arg(node->atRisk).arg(node->count);
    case core:
        if (!judged)
            return {};
        return judged->coreName.isEmpty() ? judged->state.coreIdentifier : judged->coreName;
    case date: return judged ? QLocale().toString(judged->state.date.toLocalTime(), QLocale::NarrowFormat) : QString();
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
    case status: return QStringLiteral("Status");
    case core: return QStringLiteral("Core");
    case date: return QStringLiteral("Saved");
    case size: return QStringLiteral("Size");
    case columnCount_: break;
    }
    return {};
}
