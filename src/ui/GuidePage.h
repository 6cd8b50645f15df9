#pragma once

#include <QWidget>

class AppModel;
class ControllerMonitor;
class QVBoxLayout;

// The first-game guide: the checklist, the games folder, the BIOS files and the controllers.
class GuidePage : public QWidget
{
    Q_OBJECT

public:
    GuidePage(AppModel &model, ControllerMonitor &monitor, QWidget *parent = nullptr);

private:
    void sync();

    AppModel &m_model;
    ControllerMonitor &m_monitor;
    QVBoxLayout *m_steps;
    QVBoxLayout *m_games;
    QVBoxLayout *m_bios;
    QVBoxLayout *m_controllers;
};
