#pragma once

#include <QFrame>

class QLabel;
class QVBoxLayout;

// The framed box every page groups its content in: a headline title over the content, 16 px
// inset, on the control background with a rounded, lightly stroked border.
class Card : public QFrame
{
    Q_OBJECT

public:
    explicit Card(const QString &title, QWidget *parent = nullptr);

    void setTitle(const QString &title);
    QString title() const;
    QVBoxLayout *content() const { return m_content; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QLabel *m_title;
    QVBoxLayout *m_content;
};
