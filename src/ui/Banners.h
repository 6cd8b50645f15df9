#pragma once

#include "base/FriendlyError.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

// The error banner: the message, "Dismiss", and the details behind "Show Details".
class ErrorBanner : public QWidget
{
    Q_OBJECT

public:
    explicit ErrorBanner(QWidget *parent = nullptr);
    void display(const FriendlyError &error);

Q_SIGNALS:
    void dismissed();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QLabel *m_message;
    QToolButton *m_toggle;
    QPlainTextEdit *m_details;
    QUuid m_shown;
};

// The notice banner: one line of good news, "Show in Finder" when it is about a file, and "Dismiss".
class NoticeBanner : public QWidget
{
    Q_OBJECT

public:
    explicit NoticeBanner(QWidget *parent = nullptr);
    void display(const QString &text, bool aboutAFile = false);

Q_SIGNALS:
    void dismissed();
    void showFile();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QLabel *m_text;
    QPushButton *m_show;
};
