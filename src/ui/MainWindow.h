#pragma once

#include <QDialog>
#include <QMainWindow>
#include <QPointer>

#include <qcoro/qcorotask.h>

class QAction;

class AppModel;
class ErrorBanner;
class NoticeBanner;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;

// The one window: a sidebar of the seven pages, the error and notice banners over the selected
// page, and the busy line under it.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    enum class Page { home, guide, systems, backup, tidy, saveStates, about };

    explicit MainWindow(AppModel &model, QWidget *parent = nullptr);

    void showPage(Page page);
    Page currentPage() const;

    // The menu bar's "Check for Updates" (Ctrl/Cmd+R), for tests and the menu's enable rule.
    QAction *checkForUpdatesAction() const { return m_checkAction; }
    // Settings… (Cmd+,): the automatic backup and the backup folder, in a window of their own.
    void showSettings();
    // After a change begins: Cancel, where the page has one. After it ends: the page's primary
    // (default) button, never read-only text or a control that went away.
    void placeFocus();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void syncBanners();
    // The application's palette with every text colour the pages use readable (Widgets::readable).
    void keepReadable();
    // What the running work is doing, for the line at the bottom of every page; empty when idle.
    QString busyLine() const;
    Page ownerPage() const;
    void buildMenus();
    QCoro::Task<> confirmQuit();

    AppModel &m_model;
    QListWidget *m_sidebar;
    QStackedWidget *m_pages;
    ErrorBanner *m_error;
    NoticeBanner *m_notice;
    QWidget *m_busy;
    QLabel *m_busyText;
    QPushButton *m_busyShow; // goes to the page of the running work
    bool m_started = false;
    QAction *m_checkAction = nullptr;
    QPointer<QDialog> m_settings;
    bool m_closeWhenIdle = false; // a close that waits for the running step to end
    bool m_asking = false;
};
