#pragma once

#include <QMainWindow>

class AppModel;
class ErrorBanner;
class NoticeBanner;
class QLabel;
class QListWidget;
class QStackedWidget;

// The one window: a sidebar of the six pages, the error and notice banners over the selected
// page, and the busy line under it.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    enum class Page { home, guide, systems, backup, tidy, about };

    explicit MainWindow(AppModel &model, QWidget *parent = nullptr);

    void showPage(Page page);
    Page currentPage() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void syncBanners();

    AppModel &m_model;
    QListWidget *m_sidebar;
    QStackedWidget *m_pages;
    ErrorBanner *m_error;
    NoticeBanner *m_notice;
    QWidget *m_busy;
    QLabel *m_busyText;
    bool m_started = false;
};
