#include "ui/Widgets.h"

#include <QApplication>
#include <cmath>

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

QString iconMeaning(const QString &symbol)
{
    if (symbol.startsWith(QStringLiteral("checkmark")))
        return QStringLiteral("Done");
    if (symbol.startsWith(QStringLiteral("xmark")))
        return QStringLiteral("Not met");
    if (symbol.startsWith(QStringLiteral("exclamationmark")))
        return QStringLiteral("Needs attention");
    if (symbol.startsWith(QStringLiteral("gamecontroller")))
        return QStringLiteral("Controller");
    if (symbol == QStringLiteral("circle"))
        return QStringLiteral("Not done yet");
    return symbol;
}

QLabel *icon(const QString &symbol, const QColor &tint, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setPixmap(Icons::pixmap(symbol, 16, tint));
    label->setProperty("symbol", symbol);
    label->setAccessibleName(iconMeaning(symbol));
    return label;
}

double contrast(const QColor &first, const QColor &second)
{
    auto luminance = [](const QColor &c) {
        auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double a = luminance(first), b = luminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QPalette readable(QPalette palette)
{
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        const QColor window = palette.color(group, QPalette::Window);
        const QColor base = palette.color(group, QPalette::Base);
        const QColor ink = palette.color(group, QPalette::WindowText);
        const QColor extreme = window.lightnessF() < 0.5 ? QColor(Qt::white) : QColor(Qt::black);
        for (const QPalette::ColorRole role : {QPalette::PlaceholderText, QPalette::Link, QPalette::LinkVisited}) {
            QColor colour = palette.color(group, role);
            const auto enough = [&](const QColor &c) { return contrast(c, window) >= 4.6 && contrast(c, base) >= 4.6; };
            // Toward the main text colour (then to black or white) in small steps: the hue stays.
            const QColor target = contrast(ink, window) >= 4.6 && contrast(ink, base) >= 4.6 ? ink : extreme;
            for (int step = 1; step <= 20 && !enough(colour); ++step) {
                const double t = step / 20.0;
                const QColor from = palette.color(group, role);
                colour = QColor::fromRgbF(float(from.redF() + (target.redF() - from.redF()) * t),
                                          float(from.greenF() + (target.greenF() - from.greenF()) * t),
                                          float(from.blueF() + (target.blueF() - from.blueF()) * t));
            }
            palette.setColor(group, role, colour);
        }
    }
    return palette;
}

QColor tone(Tone which, const QColor &window)
{
    const bool dark = window.lightnessF() < 0.5;
    switch (which) {
    case Tone::success: return dark ? QColor(0x3f, 0xb9, 0x50) : QColor(0x11, 0x63, 0x29);
    case Tone::warning: return dark ? QColor(0xd2, 0x99, 0x22) : QColor(0x7d, 0x4e, 0x00);
    case Tone::danger: return dark ? QColor(0xf8, 0x51, 0x49) : QColor(0xa4, 0x0e, 0x26);
    case Tone::accent: return dark ? QColor(0x58, 0xa6, 0xff) : QColor(0x05, 0x50, 0xae);
    }
    return window;
}

QColor tone(Tone which)
{
    return tone(which, QApplication::palette().color(QPalette::Window));
}

QLabel *status(const QString &value, Tone which, QWidget *parent)
{
    QLabel *label = text(value, parent);
    label->setWordWrap(false);
    setColour(label, tone(which));
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
