#include "ui/MainWindow.h"

#include "base/ByteCount.h"

#include "app/AppModel.h"
#include "base/Settings.h"
#include "guide/ControllerMonitor.h"
#include "ui/Banners.h"
#include "ui/FocusRing.h"
#include "ui/GuidePage.h"
#include "ui/HomePage.h"
#include "ui/Icons.h"
#include "ui/OtherPages.h"
#include "ui/SaveStatesPage.h"
#include "ui/Widgets.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <qcoro/qcorosignal.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

struct PageEntry
{
    const char *label;
    const char *symbol;
};

// The sidebar, in order: the label shown and its picture.
constexpr PageEntry pageEntries[] = {
    {"Home", "house"},
    {"First game guide", "checklist"},
    {"Systems", "gamecontroller"},
    {"Backup & restore", "externaldrive"},
    {"Tidy", "trash"},
    {"Save states", "clock.arrow.circlepath"},
    {"About", "info.circle"},
};

// A page in the scrolling column: 24 px inset, top-aligned, as wide as the window up to a
// comfortable reading width, centred beyond it.
QScrollArea *scrolling(QWidget *page)
{
    auto *holder = new QWidget;
    auto *row = new QHBoxLayout(holder);
    row->setContentsMargins(24, 24, 24, 24);
    auto *column = new QVBoxLayout;
    page->setMaximumWidth(760);
    column->addWidget(page);
    column->addStretch();
    row->addStretch(0);
    row->addLayout(column, 1);
    row->addStretch(0);
    auto *area = new QScrollArea;
    area->setWidget(holder);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    area->setFocusPolicy(Qt::NoFocus); // it scrolls to whatever takes focus; it needs none itself
    return area;
}

// The notice's one next step, as its button says it.
QString noticeActionTitle(AppModel::NoticeAction action)
{
    switch (action) {
    case AppModel::NoticeAction::none: return {};
    case AppModel::NoticeAction::showFile: return QStringLiteral("Show in Finder");
    case AppModel::NoticeAction::openOpenEmu: return QStringLiteral("Open OpenEmu");
    case AppModel::NoticeAction::undoRestore: return QStringLiteral("Undo Restore");
    }
    return {};
}

} // namespace

MainWindow::MainWindow(AppModel &model, QWidget *parent)
    : QMainWindow(parent)
    , m_model(model)
    , m_sidebar(new QListWidget)
    , m_pages(new QStackedWidget)
    , m_error(new ErrorBanner)
    , m_notice(new NoticeBanner)
    , m_busy(Widgets::busyRow({}, nullptr))
    , m_busyText(Widgets::busyText(m_busy))
    , m_busyShow(new QPushButton(QStringLiteral("Show"), m_busy))
{
    m_busy->layout()->addWidget(m_busyShow);
    m_busyShow->setAccessibleName(QStringLiteral("Show the page of the running work"));
    connect(m_busyShow, &QPushButton::clicked, this, [this] { showPage(ownerPage()); });
    setWindowTitle(QStringLiteral("Vantor"));
    setMinimumSize(900, 600);

    for (const PageEntry &entry : pageEntries) {
        auto *item
            = new QListWidgetItem(Icons::symbol(QString::fromLatin1(entry.symbol)), QString::fromUtf8(entry.label));
        m_sidebar->addItem(item);
    }
    m_sidebar->setMinimumWidth(180);
    m_sidebar->setAccessibleName(QStringLiteral("Pages"));
    m_sidebar->setIconSize(QSize(18, 18));
    m_sidebar->setFrameShape(QFrame::NoFrame);

    // The Guide page is what first needs the shared controller monitor.
    m_pages->addWidget(scrolling(new HomePage(m_model)));
    m_pages->addWidget(scrolling(new GuidePage(m_model, ControllerMonitorHolder::shared().monitor())));
    m_pages->addWidget(scrolling(new SystemsPage(m_model)));
    m_pages->addWidget(scrolling(new BackupPage(m_model)));
    m_pages->addWidget(scrolling(new TidyPage(m_model)));
    m_pages->addWidget(new SaveStatesPage(m_model)); // its tree scrolls by itself
    m_pages->addWidget(scrolling(new AboutPage(m_model)));

    m_busy->setContentsMargins(8, 8, 8, 8);
    auto *detail = new QWidget;
    auto *column = new QVBoxLayout(detail);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_error);
    column->addWidget(m_notice);
    column->addWidget(m_pages, 1);
    column->addWidget(m_busy);

    auto *split = new QSplitter;
    split->addWidget(m_sidebar);
    split->addWidget(detail);
    split->setStretchFactor(1, 1);
    split->setSizes({200, 700});
    split->setChildrenCollapsible(false);
    setCentralWidget(split);

    connect(m_sidebar, &QListWidget::currentRowChanged, m_pages, &QStackedWidget::setCurrentIndex);
    // A result belongs to the page it was shown on; an error stays until dismissed or replaced.
    connect(m_sidebar, &QListWidget::currentRowChanged, &m_model, [this] { m_model.setNotice(std::nullopt); });
    connect(m_error, &ErrorBanner::dismissed, &m_model, [this] { m_model.setError(std::nullopt); });
    connect(m_notice, &NoticeBanner::dismissed, &m_model, [this] { m_model.setNotice(std::nullopt); });
    connect(m_notice, &NoticeBanner::actionChosen, &m_model, [this] {
        const auto file = m_model.noticeFile();
        switch (m_model.noticeAction()) {
        case AppModel::NoticeAction::none: break;
        case AppModel::NoticeAction::showFile:
            if (file)
                m_model.reveal(*file);
            break;
        case AppModel::NoticeAction::openOpenEmu: Widgets::runBound(this, m_model.launch()); break;
        case AppModel::NoticeAction::undoRestore:
            if (file)
                Widgets::runBound(this, m_model.runRestore(*file));
            break;
        }
    });
    connect(&m_model, &AppModel::errorChanged, this, &MainWindow::syncBanners);
    connect(&m_model, &AppModel::noticeChanged, this, &MainWindow::syncBanners);
    connect(&m_model, &AppModel::busyMessageChanged, this, &MainWindow::syncBanners);
    connect(&m_model, &AppModel::busyProgressChanged, this, &MainWindow::syncBanners);
    // The running work's progress shows at the bottom of every page.
    connect(&m_model, &AppModel::phaseChanged, this, &MainWindow::syncBanners);
    connect(&m_model, &AppModel::downloadedChanged, this, &MainWindow::syncBanners);
    connect(&m_model, &AppModel::busyChanged, this, &MainWindow::syncBanners);
    // Once the pages have redrawn for it.
    connect(&m_model, &AppModel::busyChanged, this, [this] { QTimer::singleShot(0, this, &MainWindow::placeFocus); });
    connect(m_sidebar, &QListWidget::currentRowChanged, this, &MainWindow::syncBanners);
    m_sidebar->setCurrentRow(0);
    FocusRing::follow(this);
    keepReadable();
    syncBanners();
    buildMenus();
    if (const QByteArray geometry = Settings::windowGeometry(); !geometry.isEmpty())
        restoreGeometry(geometry);
}

void MainWindow::buildMenus()
{
    QMenu *app = menuBar()->addMenu(QStringLiteral("&Vantor"));
    QAction *about = app->addAction(QStringLiteral("About Vantor"), this, [this] { showPage(Page::about); });
    about->setMenuRole(QAction::AboutRole);
    // Named for what it checks: in the app menu, "Check for Updates" would be Vantor's own.
    m_checkAction = app->addAction(QStringLiteral("Check for OpenEmu Updates"), this,
                                   [this] { Widgets::runBound(this, m_model.checkForUpdates()); });
    m_checkAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    app->addSeparator();
    QAction *settings = app->addAction(QStringLiteral("Settings…"), this, &MainWindow::showSettings);
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings->setMenuRole(QAction::PreferencesRole);
    app->addSeparator();
    QAction *quit = app->addAction(QStringLiteral("Quit Vantor"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);

    QMenu *window = menuBar()->addMenu(QStringLiteral("&Window"));
    QAction *minimize = window->addAction(QStringLiteral("Minimize"), this, &QWidget::showMinimized);
    minimize->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    window->addAction(QStringLiteral("Zoom"), this, [this] { isMaximized() ? showNormal() : showMaximized(); });
    window->addSeparator();
    QAction *closeWindow = window->addAction(QStringLiteral("Close Window"), this, &QWidget::close);
    closeWindow->setShortcut(QKeySequence::Close);
    window->addSeparator();
    for (int index = 0; index < m_sidebar->count(); ++index) {
        // A menu takes "&" for the mark of a shortcut letter: the page's name shows it as written.
        QString title = m_sidebar->item(index)->text();
        QAction *go = window->addAction(title.replace(QLatin1Char('&'), QStringLiteral("&&")), this,
                                        [this, index] { showPage(Page(index)); });
        go->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + index)));
    }
    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("First Game Guide"), this, [this] { showPage(Page::guide); });
    help->addAction(QStringLiteral("OpenEmu-Silicon Wiki"), this, [this] {
        m_model.openWebPage(QUrl(QStringLiteral("https://github.com/OpenEmu-Silicon/OpenEmu-Silicon/wiki")));
    });

    // Enabled exactly when the Home page's button would be.
    auto sync = [this] { m_checkAction->setEnabled(m_model.installed() && !m_model.loadingRelease()); };
    connect(&m_model, &AppModel::changed, this, sync);
    sync();
}

void MainWindow::placeFocus()
{
    QWidget *page = m_pages->currentWidget();
    if (!page || !isActiveWindow())
        return;
    const auto usable = [](QPushButton *button) { return button->isVisible() && button->isEnabled(); };
    const QList<QPushButton *> buttons = page->findChildren<QPushButton *>();
    if (m_model.isChanging()) {
        for (QPushButton *button : buttons) {
            if (button->text() == QStringLiteral("Cancel") && usable(button)) {
                button->setFocus(Qt::OtherFocusReason);
                return;
            }
        }
        return;
    }
    for (QPushButton *button : buttons) {
        if (button->isDefault() && usable(button)) {
            button->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

void MainWindow::showSettings()
{
    if (m_settings) {
        m_settings->raise();
        m_settings->activateWindow();
        return;
    }
    // A window of its own, as a Mac app's settings are: changes take effect at once.
    m_settings = new QDialog(this);
    m_settings->setAttribute(Qt::WA_DeleteOnClose);
    m_settings->setWindowTitle(QStringLiteral("Settings"));
    auto *column = new QVBoxLayout(m_settings);
    auto *autoBackup
        = new QCheckBox(QStringLiteral("Back up save states and battery saves before each update"), m_settings);
    autoBackup->setChecked(m_model.autoBackupBeforeUpdate());
    connect(autoBackup, &QCheckBox::toggled, &m_model, [this](bool on) { m_model.setAutoBackupBeforeUpdate(on); });
    column->addWidget(autoBackup);
    auto *where = new QHBoxLayout;
    auto *folder = new QLabel(m_settings);
    folder->setWordWrap(true);
    where->addWidget(folder, 1);
    auto *change = new QPushButton(QStringLiteral("Change…"), m_settings);
    change->setAccessibleName(QStringLiteral("Change the backup folder"));
    where->addWidget(change);
    column->addLayout(where);
    const auto sync = [this, autoBackup, folder] {
        const QSignalBlocker quiet(autoBackup);
        autoBackup->setChecked(m_model.autoBackupBeforeUpdate());
        folder->setText(QStringLiteral("Back up to: ") + m_model.backupFolder());
    };
    connect(&m_model, &AppModel::changed, m_settings, sync);
    connect(change, &QPushButton::clicked, &m_model,
            [this] { Widgets::runBound(m_settings.data(), m_model.chooseBackupFolder()); });
    sync();
    m_settings->show();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    Settings::setWindowGeometry(saveGeometry());
    // A download can be cancelled: ask. A step that changes files (unpacking, placing, a
    // rollback, a backup, a restore) is let finish; the window closes when it has.
    if (m_model.phase() == InstallPhase::downloading) {
        event->ignore();
        if (!m_asking)
            Widgets::runBound(this, confirmQuit());
        return;
    }
    if (m_model.isBusy()) {
        event->ignore();
        if (!m_closeWhenIdle) {
            m_closeWhenIdle = true;
            connect(&m_model, &AppModel::changed, this, [this] {
                if (m_closeWhenIdle && !m_model.isBusy())
                    QTimer::singleShot(0, this, &QWidget::close);
            });
        }
        return;
    }
    QMainWindow::closeEvent(event);
}

QCoro::Task<> MainWindow::confirmQuit()
{
    m_asking = true;
    // The title bar is short ("Vantor"); the question is the box's text, where it is never cut.
    const bool update = m_model.isUpdating();
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Vantor"),
                                update ? QStringLiteral("An update is running. Quit anyway?")
                                       : QStringLiteral("An install is running. Quit anyway?"),
                                QMessageBox::NoButton, this);
    box->setInformativeText(QStringLiteral("The download stops. Nothing is changed, and it resumes where it left "
                                           "off next time."));
    QPushButton *quit
        = box->addButton(update ? QStringLiteral("Cancel Update and Quit") : QStringLiteral("Cancel Install and Quit"),
                         QMessageBox::AcceptRole);
    QPushButton *keep = box->addButton(QStringLiteral("Keep Working"), QMessageBox::RejectRole);
    box->setDefaultButton(keep);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
    // Deleted only after this task has resumed: a box deleted on close would drop the queued
    // wake-up, and the task would never see the answer.
    co_await qCoro(box, &QDialog::finished);
    m_asking = false;
    const bool confirmed = box->clickedButton() == quit;
    box->deleteLater();
    if (!confirmed)
        co_return;
    // As the Cancel button does; the window closes once the install has ended.
    m_closeWhenIdle = true;
    connect(&m_model, &AppModel::changed, this, [this] {
        if (m_closeWhenIdle && !m_model.isBusy())
            QTimer::singleShot(0, this, &QWidget::close);
    });
    m_model.cancelInstall();
}

void MainWindow::showPage(Page page)
{
    m_sidebar->setCurrentRow(int(page));
}

MainWindow::Page MainWindow::currentPage() const
{
    return Page(m_pages->currentIndex());
}

void MainWindow::keepReadable()
{
    const QPalette current = QApplication::palette();
    const QPalette adjusted = Widgets::readable(current);
    if (adjusted != current)
        QApplication::setPalette(adjusted);
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // The system's appearance changed (light or dark): its colours are checked again.
    if (event->type() == QEvent::ApplicationPaletteChange)
        QTimer::singleShot(0, this, &MainWindow::keepReadable);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_started) {
        m_started = true;
        QTimer::singleShot(0, &m_model, &AppModel::start);
    }
}

void MainWindow::syncBanners()
{
    if (const auto &error = m_model.error())
        m_error->display(*error);
    else
        m_error->hide();
    if (const auto &notice = m_model.notice())
        m_notice->display(*notice, m_model.noticeDetails(), noticeActionTitle(m_model.noticeAction()));
    else
        m_notice->hide();
    const QString busy = busyLine();
    m_busy->setVisible(!busy.isEmpty());
    m_busyText->setText(busy);
    m_busyShow->setVisible(m_model.work() != AppModel::Work::none && currentPage() != ownerPage());
}

MainWindow::Page MainWindow::ownerPage() const
{
    switch (m_model.work()) {
    case AppModel::Work::backup:
    case AppModel::Work::restore: return Page::backup;
    case AppModel::Work::biosImport: return Page::guide;
    case AppModel::Work::uninstall: return Page::tidy;
    case AppModel::Work::install:
    case AppModel::Work::rollback:
    case AppModel::Work::none: break;
    }
    return Page::home;
}

QString MainWindow::busyLine() const
{
    // An install's step, with the download's share and time left.
    QString line;
    switch (m_model.phase()) {
    case InstallPhase::downloading: {
        line = QStringLiteral("Downloading OpenEmu-Silicon…");
        const qint64 total = m_model.totalBytes();
        if (total > 0) {
            line += QStringLiteral(" %1% · %2 of %3")
                        .arg(int(100.0 * double(m_model.downloaded()) / double(total)))
                        .arg(ByteCount::fileStyle(m_model.downloaded()), ByteCount::fileStyle(total));
            if (m_model.speed() > 0) {
                const qint64 seconds = qint64(double(total - m_model.downloaded()) / m_model.speed());
                line += seconds < 60 ? QStringLiteral(" · %1 s left").arg(seconds)
                                     : QStringLiteral(" · about %1 min left").arg((seconds + 59) / 60);
            }
        }
        break;
    }
    case InstallPhase::verifying: line = QStringLiteral("Verifying the download…"); break;
    case InstallPhase::unpacking: line = QStringLiteral("Unpacking…"); break;
    case InstallPhase::installing: line = QStringLiteral("Installing…"); break;
    case InstallPhase::idle: break;
    }
    // A step's own message (a backup, a resumed download) says more.
    if (const auto &message = m_model.busyMessage()) {
        line = *message;
        if (m_model.busyTotal() > 0)
            line += QStringLiteral("  %1 of %2")
                        .arg(ByteCount::fileStyle(m_model.busyDone()), ByteCount::fileStyle(m_model.busyTotal()));
    }
    return line;
}
