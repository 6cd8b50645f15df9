#include "ui/DialogPrompter.h"

#include "base/Paths.h"
#include "base/Settings.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

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
    box->setWindowModality(Qt::ApplicationModal);
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
    box->show();
    co_await qCoro(box.get(), &QDialog::finished);
    co_return int(buttons.indexOf(box->clickedButton()));
}

QCoro::Task<std::optional<QString>> DialogPrompter::choose(Panel panel)
{
    DialogHandle<QFileDialog> dialog(new QFileDialog(m_parent));
    dialog->setWindowModality(Qt::ApplicationModal);
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
