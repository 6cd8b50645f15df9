#include "ui/Icons.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include <functional>
#include <map>

namespace Icons {

namespace {

// Each picture is drawn on a 24 x 24 grid with a 2-unit pen.
using Drawing = std::function<void(QPainter &, const QColor &)>;

QPen pen(const QColor &color)
{
    return QPen(color, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

const std::map<QString, Drawing> &drawings()
{
    static const std::map<QString, Drawing> table = {
        {QStringLiteral("house"),
         [](QPainter &p, const QColor &c) {
             p.setPen(pen(c));
             p.drawPolyline(QPolygonF({{3, 11}, {12, 3}, {21, 11}}));
             p.drawPolyline(QPolygonF({{6, 9}, {6, 21}, {18, 21}, {18, 9}}));
             p.drawRect(QRectF(10, 14, 4, 7));
         }},
        {QStringLiteral("checklist"),
         [](QPainter &p, const QColor &c) {
             p.setPen(pen(c));
             for (int row = 0; row < 3; ++row) {
                 const qreal y = 5 + row * 7;
                 p.drawPolyline(QPolygonF({{3, y}, {5, y + 2}, {8, y - 2}}));
                 p.drawLine(QPointF(11, y), QPointF(21, y));
             }
         }},
        {QStringLiteral("gamecontroller"),
         [](QPainter &p, const QColor &c) {
             p.setPen(pen(c));
             p.drawRoundedRect(QRectF(2, 7, 20, 11), 5, 5);
             p.drawLine(QPointF(7, 10), QPointF(7, 15));
             p.drawLine(QPointF(4.5, 12.5), QPointF(9.5, 12.5));
             p.drawPoint(QPointF(16, 11));
             p.drawPoint(QPointF(18, 14));
         }},
        {QStringLiteral("gamecontroller.fill"),
         [](QPainter &p, const QColor &c) {
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawRoundedRect(QRectF(2, 7, 20, 11), 5, 5);
         }},
        {QStringLiteral("externaldrive"),
         [](QPainter &p, const QColor &c) {
             p.setPen(pen(c));
             p.drawRoundedRect(QRectF(3, 7, 18, 10), 2, 2);
             p.drawPoint(QPointF(17, 12));
         }},
        {QStringLiteral("trash"),
         [](QPainter &p, const QColor &c) {
             p.setPen(pen(c));
             p.drawLine(QPointF(4, 6), QPointF(20, 6));
             p.drawLine(QPointF(9, 6), QPointF(10, 3));
             p.drawLine(QPointF(10, 3), QPointF(14, 3));
             p.drawLine(QPointF(14, 3), QPointF(15, 6));
             p.drawPolyline(QPolygonF({{6, 6}, {7, 21}, {17, 21}, {18, 6}}));
         }},
        {QStringLiteral("clock.arrow.circlepath"),
         [](QPainter &p, const QColor &c) {
             p.setPen(pen(c));
             p.drawArc(QRectF(3, 3, 18, 18), 120 * 16, 300 * 16);
             p.drawPolyline(QPolygonF({{3, 4}, {5.5, 7}, {9, 5}}));
             p.drawPolyline(QPolygonF({{12, 7}, {12, 12}, {15.5, 14}}));
         }},
        {QStringLiteral("info.circle"),
         [](QPainter &p, const QColor &c) {
             p.setPen(pen(c));
             p.drawEllipse(QRectF(3, 3, 18, 18));
             p.drawLine(QPointF(12, 11), QPointF(12, 17));
             p.drawPoint(QPointF(12, 7.5));
         }},
        {QStringLiteral("checkmark.circle.fill"),
         [](QPainter &p, const QColor &c) {
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawEllipse(QRectF(2, 2, 20, 20));
             p.setPen(pen(Qt::white));
             p.drawPolyline(QPolygonF({{7, 12}, {10.5, 15.5}, {17, 8.5}}));
         }},
        {QStringLiteral("circle"),
         [](QPainter &p, const QColor &c) {
             p.setPen(pen(c));
             p.drawEllipse(QRectF(3, 3, 18, 18));
         }},
        {QStringLiteral("xmark.octagon.fill"),
         [](QPainter &p, const QColor &c) {
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawPolygon(QPolygonF({{8, 2}, {16, 2}, {22, 8}, {22, 16}, {16, 22}, {8, 22}, {2, 16}, {2, 8}}));
             p.setPen(pen(Qt::white));
             p.drawLine(QPointF(8.5, 8.5), QPointF(15.5, 15.5));
             p.drawLine(QPointF(15.5, 8.5), QPointF(8.5, 15.5));
         }},
        {QStringLiteral("exclamationmark.triangle.fill"),
         [](QPainter &p, const QColor &c) {
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawPolygon(QPolygonF({{12, 2}, {23, 21}, {1, 21}}));
             p.setPen(pen(Qt::white));
             p.drawLine(QPointF(12, 9), QPointF(12, 14));
             p.drawPoint(QPointF(12, 18));
         }},
        {QStringLiteral("exclamationmark.circle"),
         [](QPainter &p, const QColor &c) {
             p.setPen(pen(c));
             p.drawEllipse(QRectF(3, 3, 18, 18));
             p.drawLine(QPointF(12, 7), QPointF(12, 13));
             p.drawPoint(QPointF(12, 16.5));
         }},
    };
    return table;
}

} // namespace

QPixmap pixmap(const QString &name, int size, const QColor &tint)
{
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap image(QSize(size, size) * ratio);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    const auto it = drawings().find(name);
    if (it == drawings().end())
        return image;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 24.0, size / 24.0);
    const QColor color = tint.isValid() ? tint : QApplication::palette().color(QPalette::WindowText);
    it->second(painter, color);
    return image;
}

QIcon symbol(const QString &name, const QColor &tint)
{
    QIcon icon;
    for (int size : {16, 24, 32})
        icon.addPixmap(pixmap(name, size, tint));
    return icon;
}

} // namespace Icons
