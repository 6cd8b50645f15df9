#include "ui/Widgets.h"

#include "ui/Icons.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>

namespace Widgets {

QLabel *text(const QString &value, QWidget *parent)
{
    auto *label = new QLabel(value, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

QLabel *title(const QString &value, QWidget *parent)
{
    QLabel *label = text(value, parent);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 2);
    font.setBold(true);
    label->setFont(font);
    return label;
}

QLabel *caption(const QString &value, QWidget *parent)
{
    QLabel *label = text(value, parent);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QLabel *bold(const QString &value, QWidget *parent)
{
    QLabel *label = text(value, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QLabel *icon(const QString &symbol, const QColor &tint, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setPixmap(Icons::pixmap(symbol, 16, tint));
    label->setProperty("symbol", symbol);
    return label;
}

void setColour(QLabel *label, const QColor &color)
{
    label->setStyleSheet(QStringLiteral("color: %1").arg(color.name()));
}

QWidget *divider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

QWidget *busyRow(const QString &message, QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *spinner = new QProgressBar(row);
    spinner->setRange(0, 0);
    spinner->setMaximumWidth(60);
    spinner->setMaximumHeight(8);
    spinner->setTextVisible(false);
    layout->addWidget(spinner);
    layout->addWidget(text(message, row), 1);
    return row;
}

QLabel *busyText(QWidget *row)
{
    return row->findChild<QLabel *>();
}

void clear(QLayout *layout)
{
    while (QLayoutItem *item = layout->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            // Later, not now: the widget may be the button whose click led here.
            widget->hide();
            widget->deleteLater();
        } else if (QLayout *inner = item->layout())
            clear(inner);
        delete item;
    }
}

} // namespace Widgets
