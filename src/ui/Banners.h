#pragma once

#include "base/FriendlyError.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

// "Show Details" and the details it unfolds; hidden when there are none.
class FoldedDetails : public QWidget
{
    Q_OBJECT

public:
    explicit FoldedDetails(QWidget *parent = nullptr);
    // fresh: other news than last shown, which starts folded.
    void display(const QString &details, bool fresh);

private:
    QToolButton *m_toggle;
    QPlainTextEdit *m_text;
};

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
    FoldedDetails *m_details;
    QUuid m_shown;
};

// The notice banner: the outcome, the one next step when there is one (Show in Finder, Open
// OpenEmu, Undo Restore), "Dismiss", and the details behind "Show Details".
class NoticeBanner : public QWidget
{
    Q_OBJECT

public:
    explicit NoticeBanner(QWidget *parent = nullptr);
    // action: the next step's button title, none when empty.
    void display(const QString &text, const QString &details = {}, const QString &action = {});
    QPushButton *actionButton() const;

Q_SIGNALS:
    void dismissed();
    void actionChosen();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QLabel *m_text;
    QPushButton *m_action;
    FoldedDetails *m_details;
};
