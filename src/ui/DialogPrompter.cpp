#include "ui/DialogPrompter.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

int DialogPrompter::ask(const Alert &alert)
{
    QMessageBox box(m_parent);
    box.setIcon(alert.style == Style::warning ? QMessageBox::Warning : QMessageBox::Information);
    box.setText(alert.message);
    box.setInformativeText(alert.informative);
    QList<QAbstractButton *> buttons;
    for (qsizetype i = 0; i < alert.buttons.size(); ++i) {
        const auto role = i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole;
        QPushButton *button = box.addButton(alert.buttons[i], role);
        if (i == 0)
            box.setDefaultButton(button);
        buttons.append(button);
    }
    box.exec();
    return int(buttons.indexOf(box.clickedButton()));
}

std::optional<QString> DialogPrompter::chooseFolder(const QString &prompt)
{
    const QString folder = QFileDialog::getExistingDirectory(m_parent, prompt);
    return folder.isEmpty() ? std::nullopt : std::optional(folder);
}

std::optional<QString> DialogPrompter::chooseFile(const QString &prompt, const QStringList &nameFilters)
{
    const QString file
        = QFileDialog::getOpenFileName(m_parent, prompt, QString(), nameFilters.join(QStringLiteral(";;")));
    return file.isEmpty() ? std::nullopt : std::optional(file);
}
