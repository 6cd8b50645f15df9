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

FoldedDetails::FoldedDetails(QWidget *parent)
    : QWidget(parent)
    , m_toggle(new QToolButton(this))
    , m_text(new QPlainTextEdit(this))
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    m_toggle->setText(QStringLiteral("Show Details"));
    m_toggle->setCheckable(true);
    m_toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toggle->setArrowType(Qt::RightArrow);
    m_toggle->setAutoRaise(true);
    column->addWidget(m_toggle, 0, Qt::AlignLeft);

    m_text->setReadOnly(true);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_text->setMaximumHeight(120);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->setFocusPolicy(Qt::ClickFocus); // read-only text is not a Tab stop
    m_text->setVisible(false);
    column->addWidget(m_text);
    connect(m_toggle, &QToolButton::toggled, this, [this](bool open) {
        m_toggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        m_text->setVisible(open);
    });
}

void FoldedDetails::display(const QString &details, bool fresh)
{
    m_text->setPlainText(details);
    setVisible(!details.isEmpty());
    if (fresh) // new news starts with its details folded away
        m_toggle->setChecked(false);
}

ErrorBanner::ErrorBanner(QWidget *parent)
    : QWidget(parent)
    , m_message(wrappingText(this))
    , m_details(new FoldedDetails(this))
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
    column->addWidget(m_details);
    connect(dismiss, &QPushButton::clicked, this, &ErrorBanner::dismissed);
}

void ErrorBanner::display(const FriendlyError &error)
{
    m_message->setText(error.message);
    m_details->display(error.details, error.id != m_shown);
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
    , m_action(new QPushButton(this))
    , m_details(new FoldedDetails(this))
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(6);
    auto *row = new QHBoxLayout;
    row->addWidget(iconLabel(QStringLiteral("checkmark.circle.fill"), QColor(52, 199, 89), this), 0, Qt::AlignTop);
    row->addWidget(m_text, 1, Qt::AlignTop);
    row->addWidget(m_action, 0, Qt::AlignTop);
    connect(m_action, &QPushButton::clicked, this, &NoticeBanner::actionChosen);
    auto *dismiss = new QPushButton(QStringLiteral("Dismiss"), this);
    row->addWidget(dismiss, 0, Qt::AlignTop);
    connect(dismiss, &QPushButton::clicked, this, &NoticeBanner::dismissed);
    column->addLayout(row);
    column->addWidget(m_details);
}

void NoticeBanner::display(const QString &text, const QString &details, const QString &action)
{
    const bool fresh = text != m_text->text();
    m_text->setText(text);
    m_action->setText(action);
    m_action->setVisible(!action.isEmpty());
    m_details->display(details, fresh);
    show();
}

QPushButton *NoticeBanner::actionButton() const
{
    return m_action;
}

void NoticeBanner::paintEvent(QPaintEvent *)
{
    fillBackground(this, QColor(52, 199, 89), 0.12);
}
