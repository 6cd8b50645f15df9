#include "ui/Card.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

Card::Card(const QString &title, QWidget *parent)
    : QFrame(parent)
    , m_title(new QLabel(title, this))
    , m_content(new QVBoxLayout)
{
    QFont headline = m_title->font();
    headline.setBold(true);
    headline.setPointSizeF(headline.pointSizeF() * 1.1);
    m_title->setFont(headline);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setWordWrap(true);
    m_title->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_title->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(10);
    layout->addWidget(m_title);
    m_content->setSpacing(8);
    m_content->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(m_content);
    // Preferred, not Maximum: a card whose rows wrap (a large font) grows past its one-line size.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void Card::setTitle(const QString &title)
{
    m_title->setText(title);
}

QString Card::title() const
{
    return m_title->text();
}

void Card::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
    painter.fillPath(shape, palette().color(QPalette::Base));
    QColor border(Qt::gray);
    border.setAlphaF(0.25);
    painter.setPen(QPen(border, 1));
    painter.drawPath(shape);
}
