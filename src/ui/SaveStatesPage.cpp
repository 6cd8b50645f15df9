#include "ui/SaveStatesPage.h"

#include "app/AppModel.h"
#include "ui/SaveStateTree.h"
#include "ui/Widgets.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Widgets;

SaveStatesPage::SaveStatesPage(AppModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_tree(new SaveStateTree(this))
    , m_view(new QTreeView(this))
    , m_summary(text({}, this))
    , m_reveal(new QPushButton(QStringLiteral("Reveal in Finder"), this))
{
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(24, 24, 24, 24);
    page->setSpacing(16);
    page->addWidget(title(QStringLiteral("Save states"), this));
    m_summary->setWordWrap(true);
    page->addWidget(m_summary);
    page->addWidget(caption(QStringLiteral("OpenEmu warns when a save state was made with another version of its "
                                           "core, and loading it may crash the game. Keep a backup before "
                                           "updating."),
                            this));

    m_view->setModel(m_tree);
    m_view->setUniformRowHeights(true); // what keeps 100,000 rows quick
    m_view->setAlternatingRowColors(true);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setAccessibleName(QStringLiteral("Save states by system and game"));
    m_view->header()->setStretchLastSection(false);
    m_view->header()->setSectionResizeMode(SaveStateTree::name, QHeaderView::Stretch);
    m_view->header()->setSectionResizeMode(SaveStateTree::judgement, QHeaderView::Stretch);
    for (const int column : {SaveStateTree::core, SaveStateTree::date, SaveStateTree::size})
        m_view->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    page->addWidget(m_view, 1);

    auto *buttons = new QHBoxLayout;
    m_reveal->setAccessibleName(QStringLiteral("Reveal the selected save state in Finder"));
    buttons->addWidget(m_reveal);
    auto *refresh = new QPushButton(QStringLiteral("Refresh"), this);
    refresh->setAccessibleName(QStringLiteral("Read the save states again"));
    buttons->addWidget(refresh);
    buttons->addStretch(1);
    page->addLayout(buttons);

    connect(m_reveal, &QPushButton::clicked, &m_model, [this] {
        const QModelIndex current = m_view->currentIndex();
        if (current.isValid())
            m_model.reveal(current.data(SaveStateTree::pathRole).toString());
    });
    connect(refresh, &QPushButton::clicked, &m_model, [this] { runBound(this, m_model.refreshSaveStates()); });
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { m_reveal->setEnabled(m_view->currentIndex().isValid()); });
    connect(&m_model, &AppModel::saveStatesChanged, this, &SaveStatesPage::sync);
    sync();
}

void SaveStatesPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    runBound(this, m_model.refreshSaveStates());
}

void SaveStatesPage::sync()
{
    if (m_model.loadingSaveStates() && m_model.saveStates().isEmpty()) {
        m_summary->setText(QStringLiteral("Reading the save states…"));
        return;
    }
    const QString leftOut = SaveStateJudge::leftOutNote(m_model.saveStatesLeftOut());
    m_summary->setText(m_model.saveStatesUnreachable()
                           ? QStringLiteral("A folder OpenEmu uses can't be reached. Is its drive connected?")
                           : SaveStateJudge::summary(m_model.saveStates())
                                 + (leftOut.isEmpty() ? QString() : QLatin1Char(' ') + leftOut));
    if (m_model.loadingSaveStates())
        return;
    m_tree->setStates(m_model.saveStates());
    // Few systems: open them, so the games show at once.
    if (m_tree->rowCount() <= 12)
        m_view->expandToDepth(0);
    m_reveal->setEnabled(m_view->currentIndex().isValid());
}
