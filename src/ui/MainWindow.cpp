#include "MainWindow.h"

#include "app/AppModel.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

MainWindow::MainWindow(AppModel &model, QWidget *parent)
    : QMainWindow(parent)
    , m_model(model)
    , m_latest(new QLabel(this))
    , m_installed(new QLabel(this))
    , m_error(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Vantor"));
    setMinimumSize(900, 600);
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(16);
    for (QLabel *label : {m_latest, m_installed, m_error}) {
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    layout->addStretch();
    setCentralWidget(central);

    connect(&m_model, &AppModel::changed, this, &MainWindow::sync);
    sync();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_started) {
        m_started = true;
        QTimer::singleShot(0, &m_model, &AppModel::start);
    }
}

void MainWindow::sync()
{
    const auto &latest = m_model.latest();
    m_latest->setText(m_model.loadingRelease() ? QStringLiteral("Checking for the latest release…")
                      : latest                 ? QStringLiteral("Latest release: %1").arg(latest->tagName)
                                               : QStringLiteral("Latest release: unknown"));
    const auto &installed = m_model.installed();
    m_installed->setText(installed
                             ? QStringLiteral("Installed: OpenEmu %1 at %2").arg(installed->version, installed->url)
                             : QStringLiteral("OpenEmu is not installed."));
    const auto &error = m_model.error();
    m_error->setVisible(error.has_value());
    if (error)
        m_error->setText(error->message);
}
