#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// The window's pictures, drawn by the app itself so that every system shows the same set.
// Names follow the symbol names of the design ("house", "checkmark.circle.fill", ...).
namespace Icons {

QIcon symbol(const QString &name, const QColor &tint = QColor());
QPixmap pixmap(const QString &name, int size, const QColor &tint = QColor());

} // namespace Icons
