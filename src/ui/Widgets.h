#pragma once

#include <QColor>
#include <QObject>
#include <QPalette>
#include <QString>

#include <qcoro/qcorotask.h>

class QHBoxLayout;
class QLabel;
class QLayout;
class QWidget;

// Small building blocks the pages share.
namespace Widgets {

// Status colours for text and symbols, chosen for the window's appearance (light or dark, judged
// from the palette's window colour): each has at least 4.5:1 contrast against the window.
enum class Tone { success, warning, danger, accent };
QColor tone(Tone tone);
QColor tone(Tone tone, const QColor &window);
// The WCAG contrast ratio of two colours (1 to 21).
double contrast(const QColor &first, const QColor &second);

// The palette with every text role Vantor uses (secondary text, links) at 4.5:1 or more against
// both the window and the text fields' background, each colour moved toward the main text
// colour only as far as needed. A palette that already complies comes back unchanged.
QPalette readable(QPalette palette);

QLabel *text(const QString &value, QWidget *parent);
QLabel *title(const QString &value, QWidget *parent); // the page's large bold title
QLabel *caption(const QString &value, QWidget *parent); // small, secondary colour
QLabel *bold(const QString &value, QWidget *parent);
// What a status symbol means, for screen readers ("Done", "Not met", …).
QString iconMeaning(const QString &symbol);
QLabel *icon(const QString &symbol, const QColor &tint, QWidget *parent);
void setColour(QLabel *label, const QColor &color);
// A short status in its tone, full strength (never dimmed), on one line.
QLabel *status(const QString &value, Tone which, QWidget *parent);
QWidget *divider(QWidget *parent);
// A small indeterminate progress indicator, followed by the message when there is one.
QWidget *busyRow(const QString &message, QWidget *parent);
// The busy row's text label, for a row whose message changes.
QLabel *busyText(QWidget *row);
// Removes and deletes everything a layout holds (for lists rebuilt when their data changes).
void clear(QLayout *layout);

// Starts a model action from a page: the task runs on its own (the page redraws from the
// model's fields), and nothing of the page is touched when it ends after the page has gone.
template <typename T>
void runBound(QObject *page, QCoro::Task<T> task)
{
    QCoro::connect(std::move(task), page, [] {});
}

} // namespace Widgets
