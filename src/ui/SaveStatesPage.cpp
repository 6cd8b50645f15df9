#include "ui/SaveStatesPage.h"

#include "app/AppModel.h"
#include "base/ByteCount.h"
#include "ui/SaveStateTree.h"
#include "ui/StateThumbnails.h"
#include "ui/Widgets.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPixmap>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Widgets;

namespace {

const QSize thumbnailBox(200, 150);

} // namespace

SaveStatesPage::SaveStatesPage(AppModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_tree(new SaveStateTree(this))
    , m_thumbnails(new StateThumbnails(this))
    , m_view(new QTreeView(this))
    , m_summary(text({}, this))
    , m_onlyAtRisk(new QCheckBox(QStringLiteral("Show only states that may not load"), this))
    , m_reveal(new QPushButton(QStringLiteral("Reveal in Finder"), this))
    , m_detail(new QWidget(this))
    , m_thumbnail(new QLabel(m_detail))
    , m_detailTitle(bold({}, m_detail))
    , m_detailPlace(caption({}, m_detail))
    , m_detailSentence(text({}, m_detail))
    , m_detailFacts(caption({}, m_detail))
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
    page->addWidget(m_onlyAtRisk);

    m_view->setModel(m_tree);
    m_view->setUniformRowHeights(true); // what keeps 100,000 rows quick
    m_view->setAlternatingRowColors(true);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setAccessibleName(QStringLiteral("Save states by system and game"));
    m_view->setSortingEnabled(true);
    m_view->sortByColumn(SaveStateTree::date, Qt::DescendingOrder); // the newest first
    m_view->header()->setStretchLastSection(false);
    // The name gets the room; the rest as wide as what they show.
    m_view->header()->setMinimumSectionSize(60);
    m_view->header()->setSectionResizeMode(SaveStateTree::name, QHeaderView::Stretch);
    for (const int column : {SaveStateTree::status, SaveStateTree::core, SaveStateTree::date, SaveStateTree::size})
        m_view->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    m_view->setIndentation(14);

    // The selected state in full: its screenshot, where it is, and the whole sentence.
    auto *detail = new QVBoxLayout(m_detail);
    detail->setContentsMargins(12, 0, 0, 0);
    m_thumbnail->setFixedSize(thumbnailBox);
    m_thumbnail->setAlignment(Qt::AlignCenter);
    m_thumbnail->setAccessibleName(QStringLiteral("Screenshot of the save state"));
    detail->addWidget(m_thumbnail);
    for (QLabel *label : {m_detailTitle, m_detailPlace, m_detailSentence, m_detailFacts}) {
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        detail->addWidget(label);
    }
    detail->addStretch(1);
    m_detail->setFixedWidth(thumbnailBox.width() + 12);

    // Side by side in the page itself, so that the list's focus ring has room to show.
    auto *split = new QHBoxLayout;
    split->addWidget(m_view, 1);
    split->addWidget(m_detail, 0, Qt::AlignTop);
    page->addLayout(split, 1);

    auto *buttons = new QHBoxLayout;
    m_reveal->setAccessibleName(QStringLiteral("Reveal the selected save state in Finder"));
    buttons->addWidget(m_reveal);
    auto *refresh = new QPushButton(QStringLiteral("Refresh"), this);
    refresh->setAccessibleName(QStringLiteral("Read the save states again"));
    buttons->addWidget(refresh);
    buttons->addStretch(1);
    page->addLayout(buttons);
    // Tab goes as the page reads: the switch, the list, then the buttons.
    setTabOrder(m_onlyAtRisk, m_view);
    setTabOrder(m_view, m_reveal);
    setTabOrder(m_reveal, refresh);

    connect(m_reveal, &QPushButton::clicked, &m_model, [this] {
        const QModelIndex current = m_view->currentIndex();
        if (current.isValid())
            m_model.reveal(current.data(SaveStateTree::pathRole).toString());
    });
    connect(refresh, &QPushButton::clicked, &m_model, [this] { runBound(this, m_model.refreshSaveStates()); });
    connect(m_onlyAtRisk, &QCheckBox::toggled, this, [this](bool only) {
        m_tree->setOnlyAtRisk(only);
        if (m_tree->rowCount() <= 12)
            m_view->expandToDepth(0);
        showCurrent();
    });
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this, &SaveStatesPage::showCurrent);
    connect(m_thumbnails, &StateThumbnails::loaded, this, [this](const QString &bundle) {
        if (const JudgedState *judged = m_tree->stateAt(m_view->currentIndex()); judged && judged->state.path == bundle)
            showCurrent();
    });
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
    showCurrent();
}

void SaveStatesPage::showCurrent()
{
    const QModelIndex current = m_view->currentIndex();
    m_reveal->setEnabled(current.isValid());
    const JudgedState *judged = m_tree->stateAt(current);
    m_detail->setVisible(judged != nullptr);
    if (!judged)
        return;
    const SaveState &state = judged->state;
    m_detailTitle->setText(state.name);
    m_detailPlace->setText(state.system + QStringLiteral(" · ") + state.game);
    m_detailSentence->setText(SaveStateJudge::explain(*judged) + QLatin1Char('.'));
    const QString core = judged->coreName.isEmpty() ? state.coreIdentifier : judged->coreName;
    m_detailFacts->setText(QStringLiteral("Core: %1\nSaved: %2\nSize: %3")
                               .arg((core + QLatin1Char(' ') + state.coreVersion.value_or(QString())).trimmed(),
                                    QLocale().toString(state.date.toLocalTime(), QLocale::LongFormat),
                                    ByteCount::fileStyle(state.size)));
    if (const auto image = m_thumbnails->get(state.path, thumbnailBox)) {
        m_thumbnail->setPixmap(image->isNull() ? QPixmap() : QPixmap::fromImage(*image));
        m_thumbnail->setText(image->isNull() ? QStringLiteral("No screenshot") : QString());
    } else {
        m_thumbnail->setPixmap(QPixmap());
        m_thumbnail->setText(QStringLiteral("Loading…"));
    }
}
