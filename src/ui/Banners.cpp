#include "ui/Banners.h"

#include "ui/Icons.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QLabel *iconLabel(const QString &symbol, const QColor &tint, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setPixmap(Icons::pixmap(symbol, 18, tint));
    label->setAlignment(Qt::AlignTop);
    label->setAccessibleName(symbol.startsWith(QStringLiteral("exclamationmark")) ? QStringLiteral("Error")
                                                                                  : QStringLiteral("Done"));
    return label;
}

QLabel *wrappingText(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    return label;
}

void fillBackground(QWidget *widget, QColor color, qreal opacity)
{
    QPainter painter(widget);
    color.setAlphaF(opacity);
    painter.fillRect(widget->rect(), color);
}

} // namespace

ErrorBanner::ErrorBanner(QWidget *parent)
    : QWidget(parent)
    , m_message(wrappingText(this))
    , m_toggle(new QToolButton(this))
    , m_details(new QPlainTextEdit(this))
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(6);
    auto *row = new QHBoxLayout;
    row->addWidget(iconLabel(QStringLiteral("exclamationmark.triangle.fill"), QColor(255, 149, 0), this), 0,
                   Qt::AlignTop);
    row->addWidget(m_message, 1, Qt::AlignTop);
    auto *dismiss = new QPushButton(QStringLiteral("Dismiss"), this);
    row->addWidget(dismiss, 0, Qt::AlignTop);
    column->addLayout(row);

    m_toggle->setText(QStringLiteral("Show Details"));
    m_toggle->setCheckable(true);
    m_toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toggle->setArrowType(Qt::RightArrow);
    m_toggle->setAutoRaise(true);
    column->addWidget(m_toggle, 0, Qt::AlignLeft);

    m_details->setReadOnly(true);
    m_details->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_details->setMaximumHeight(120);
    m_details->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_details->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_details->setVisible(false);
    column->addWidget(m_details);

    connect(dismiss, &QPushButton::clicked, this, &ErrorBanner::dismissed);
    connect(m_toggle, &QToolButton::toggled, this, [this](bool open) {
        m_toggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        m_details->setVisible(open);
    });
}

void ErrorBanner::display(const FriendlyError &error)
{
    m_message->setText(error.message);
    m_details->setPlainText(error.details);
    m_toggle->setVisible(!error.details.isEmpty());
    if (error.id != m_shown) // a new error starts with its details folded away
        m_toggle->setChecked(false);
    m_shown = error.id;
    show();
}

void ErrorBanner::paintEvent(QPaintEvent *)
{
    fillBackground(this, QColor(255, 149, 0), 0.15);
}

NoticeBanner::NoticeBanner(QWidget *parent)
    : QWidget(parent)
    , m_text(wrappingText(this))
    , m_show(new QPushButton(QStringLiteral("Show in Finder"), this))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(12, 12, 12, 12);
    row->addWidget(iconLabel(QStringLiteral("checkmark.circle.fill"), QColor(52, 199, 89), this), 0, Qt::AlignTop);
    row->addWidget(m_text, 1, Qt::AlignTop);
    row->addWidget(m_show, 0, Qt::AlignTop);
    connect(m_show, &QPushButton::clicked, this, &NoticeBanner::showFile);
    auto *dismiss = new QPushButton(QStringLiteral("Dismiss"), this);
    row->addWidget(dismiss, 0, Qt::AlignTop);
    connect(dismiss, &QPushButton::clicked, this, &NoticeBanner::dismissed);
}

void NoticeBanner::display(const QString &text, bool aboutAFile)
{
    m_text->setText(text);
    m_show->setVisible(aboutAFile);
    show();
}

void NoticeBanner::paintEvent(QPaintEvent *)
{
    fillBackground(this, QColor(52, 199, 89), 0.12);
}
