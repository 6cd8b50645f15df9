#include "ui/DialogPrompter.h"

#include "base/Paths.h"
#include "base/Settings.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <qcoro/qcorosignal.h>

#include <memory>

namespace {

// A dialog owned by the waiting task; deleteLater, since it is still inside its own signal
// when the task resumes.
template <typename Dialog>
struct LaterDeleter
{
    void operator()(Dialog *dialog) const { dialog->deleteLater(); }
};
template <typename Dialog>
using DialogHandle = std::unique_ptr<Dialog, LaterDeleter<Dialog>>;

// "lastFolderBackup", "lastFolderRestore", "lastFolderGames".
QString panelKey(Prompter::PanelId id)
{
    switch (id) {
    case Prompter::PanelId::backupFolder: return QStringLiteral("Backup");
    case Prompter::PanelId::restoreZip: return QStringLiteral("Restore");
    case Prompter::PanelId::gamesFolder: return QStringLiteral("Games");
    case Prompter::PanelId::biosFiles: return QStringLiteral("BIOS");
    }
    return {};
}

} // namespace

QCoro::Task<int> DialogPrompter::ask(Alert alert)
{
    DialogHandle<QMessageBox> box(new QMessageBox(m_parent));
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(alert.style == Style::warning ? QMessageBox::Warning : QMessageBox::Information);
    box->setText(alert.message);
    box->setInformativeText(alert.informative);
    QList<QAbstractButton *> buttons;
    // The first confirms and the last declines (Escape answers it); any between are choices of
    // their own (which backup to restore).
    const qsizetype last = alert.buttons.size() - 1;
    for (qsizetype i = 0; i < alert.buttons.size(); ++i) {
        const auto role = i == 0      ? QMessageBox::AcceptRole
                          : i == last ? QMessageBox::RejectRole
                                      : QMessageBox::ActionRole;
        QPushButton *button = box->addButton(alert.buttons[i], role);
        if (i == alert.defaultButton)
            box->setDefaultButton(button);
        if (i == last && i > 0)
            box->setEscapeButton(button);
        buttons.append(button);
    }
    box->open();
    co_await qCoro(box.get(), &QDialog::finished);
    co_return int(buttons.indexOf(box->clickedButton()));
}

QCoro::Task<std::optional<QString>> DialogPrompter::choose(Panel panel)
{
    DialogHandle<QFileDialog> dialog(new QFileDialog(m_parent));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setFileMode(panel.chooseFolder ? QFileDialog::Directory : QFileDialog::ExistingFile);
    if (panel.chooseFolder)
        dialog->setOption(QFileDialog::ShowDirsOnly);
    else
        dialog->setNameFilters(panel.nameFilters);
    // The prompt is the accept button's text, the message the panel's own label (the title bar
    // is the Mac's for a sheet). It opens where this panel was used last, else in the home folder.
    dialog->setLabelText(QFileDialog::Accept, panel.prompt);
    dialog->setWindowTitle(panel.message);
    dialog->setOption(QFileDialog::DontUseNativeDialog, false);
    const QString key = panelKey(panel.id);
    const auto last = Settings::lastFolder(key);
    QString start = last && QFileInfo(*last).isDir() ? *last : QDir::homePath();
    // A restore opens among the automatic backups when there are some and no other folder was used.
    const QDir automatic(Paths::automaticBackupsFolder());
    if (panel.id == PanelId::restoreZip && !last
        && !automatic.entryList({QStringLiteral("*.zip")}, QDir::Files).isEmpty())
        start = automatic.path();
    dialog->setDirectory(start);
    dialog->open();
    const int result = co_await qCoro(dialog.get(), &QDialog::finished);
    const QStringList chosen = dialog->selectedFiles();
    if (result != QDialog::Accepted || chosen.isEmpty() || chosen.first().isEmpty())
        co_return std::nullopt;
    const QString path = chosen.first();
    Settings::setLastFolder(key, panel.chooseFolder ? path : QFileInfo(path).path());
    co_return path;
}

QCoro::Task<Prompter::Picked> DialogPrompter::pick(List list)
{
    DialogHandle<QDialog> dialog(new QDialog(m_parent));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setWindowTitle(list.message);
    auto *column = new QVBoxLayout(dialog.get());
    auto *message = new QLabel(list.message, dialog.get());
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    message->setWordWrap(true);
    column->addWidget(message);
    if (!list.informative.isEmpty()) {
        auto *informative = new QLabel(list.informative, dialog.get());
        informative->setWordWrap(true);
        column->addWidget(informative);
    }
    auto *rows = new QListWidget(dialog.get());
    rows->setAccessibleName(list.message);
    rows->setSelectionMode(list.several ? QAbstractItemView::NoSelection : QAbstractItemView::SingleSelection);
    for (const Row &row : std::as_const(list.rows)) {
        auto *item
            = new QListWidgetItem(row.detail.isEmpty() ? row.title : row.title + QLatin1Char('\n') + row.detail, rows);
        item->setData(Qt::UserRole, row.id);
        item->setData(Qt::AccessibleTextRole, row.title);
        if (list.several) {
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(row.checked ? Qt::Checked : Qt::Unchecked);
        } else if (row.checked) {
            rows->setCurrentItem(item);
        }
    }
    column->addWidget(rows, 1);

    // The Mac's order: the extra choices at the left, then Cancel, then the default at the right.
    auto *buttons = new QHBoxLayout;
    QList<QPushButton *> made;
    for (const QString &title : std::as_const(list.buttons))
        made.append(new QPushButton(title, dialog.get()));
    int clicked = -1;
    for (qsizetype i = 0; i < made.size(); ++i) {
        QObject::connect(made[i], &QPushButton::clicked, dialog.get(), [&clicked, i, &dialog, last = made.size() - 1] {
            clicked = int(i);
            i == last ? dialog->reject() : dialog->accept();
        });
        made[i]->setDefault(i == list.defaultButton);
        made[i]->setAutoDefault(i == list.defaultButton);
    }
    for (qsizetype i = 1; i + 1 < made.size(); ++i)
        buttons->addWidget(made[i]);
    buttons->addStretch(1);
    if (made.size() > 1)
        buttons->addWidget(made.last());
    if (!made.isEmpty())
        buttons->addWidget(made.first());
    column->addLayout(buttons);
    // Nothing chosen yet: the confirming button waits for a choice.
    const auto follow = [&] {
        bool any = false;
        for (int i = 0; i < rows->count(); ++i)
            any = any || (list.several ? rows->item(i)->checkState() == Qt::Checked : rows->item(i)->isSelected());
        if (!made.isEmpty())
            made.first()->setEnabled(any);
    };
    QObject::connect(rows, &QListWidget::itemChanged, dialog.get(), follow);
    QObject::connect(rows, &QListWidget::itemSelectionChanged, dialog.get(), follow);
    follow();
    dialog->resize(520, 420);
    dialog->open();
    const int result = co_await qCoro(dialog.get(), &QDialog::finished);
    Picked picked;
    picked.button = result == QDialog::Rejected && clicked < 0 ? int(made.size()) - 1 : clicked;
    for (int i = 0; i < rows->count(); ++i) {
        QListWidgetItem *item = rows->item(i);
        if (list.several ? item->checkState() == Qt::Checked : item->isSelected())
            picked.rows.append(item->data(Qt::UserRole).toString());
    }
    co_return picked;
}
