#include "ui/FocusRing.h"

#include <QApplication>
#include <QFocusFrame>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOption>

namespace FocusRing {

#ifndef Q_OS_MACOS
namespace {

constexpr int margin = 3;

// The application's style, with the focus frame drawn as a ring (Fusion and Windows draw none).
class RingStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        if (element != CE_FocusFrame) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        QColor ring = option->palette.color(QPalette::Highlight);
        ring.setAlphaF(0.85);
        painter->setPen(QPen(ring, 2.5));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(option->rect).adjusted(1.5, 1.5, -1.5, -1.5), 5, 5);
        painter->restore();
    }

    int pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const override
    {
        if (metric == PM_FocusFrameHMargin || metric == PM_FocusFrameVMargin)
            return margin;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

} // namespace
#endif

void follow(QWidget *window)
{
#ifdef Q_OS_MACOS
    Q_UNUSED(window); // the native style draws the Mac's own rings
#else
    if (!dynamic_cast<RingStyle *>(QApplication::style()))
        QApplication::setStyle(new RingStyle(QApplication::style()->name()));
    auto *frame = new QFocusFrame(window);
    frame->hide();
    const QPointer<QWidget> owner(window);
    QObject::connect(qApp, &QApplication::focusChanged, frame, [frame, owner](QWidget *, QWidget *now) {
        // Only this window's controls, and only those one can act on by keyboard.
        if (!owner || !now || now->window() != owner || !(now->focusPolicy() & Qt::TabFocus)) {
            frame->setWidget(nullptr);
            frame->hide();
            return;
        }
        frame->setWidget(now);
        frame->show();
        frame->raise();
    });
#endif
}

} // namespace FocusRing
