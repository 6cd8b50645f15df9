#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUuid>

// One connected game controller, as the Guide page lists it.
struct ControllerInfo
{
    QUuid id; // new at every refresh
    QString name; // the maker, or "Game controller"
    QString kind; // what it is, and " · full gamepad" or " · micro gamepad" when it offers one
};

// The connected game controllers, kept current: SDL's connect and disconnect events are
// pumped on the main thread and each one rebuilds the list.
class ControllerMonitor : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<ControllerInfo> controllers READ controllers NOTIFY controllersChanged)

public:
    static constexpr int pumpIntervalMs = 100;

    explicit ControllerMonitor(QObject *parent = nullptr);
    ~ControllerMonitor() override;

    const QList<ControllerInfo> &controllers() const { return m_controllers; }
    void refresh();

    // Handles the events SDL has queued; the timer calls it, tests may call it at once.
    void pump();

Q_SIGNALS:
    void controllersChanged();

private:
    bool m_sdlReady = false;
    QTimer m_pump;
    QList<ControllerInfo> m_controllers;
};

// The one monitor the window observes, made the first time it is asked for.
class ControllerMonitorHolder
{
public:
    static ControllerMonitorHolder &shared();
    ControllerMonitor &monitor() { return m_monitor; }

private:
    ControllerMonitorHolder() = default;
    ControllerMonitor m_monitor;
};
