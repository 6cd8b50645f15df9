#pragma once

#include "app/InstallPhase.h"

#include <QObject>

class AppModel;

// Shows a running install on a terminal: a bar with bytes, total and speed while downloading,
// then the name of each later step. Off a terminal it prints only when asked to.
class ProgressReport : public QObject
{
    Q_OBJECT

public:
    // always: report even when stderr is not a terminal.
    ProgressReport(AppModel &model, bool always, QObject *parent = nullptr);
    ~ProgressReport() override;

private:
    void update();
    void endBar();

    AppModel &m_model;
    bool m_terminal;
    InstallPhase m_shownPhase = InstallPhase::idle;
    bool m_barShown = false;
    qint64 m_lastDrawnMs = 0;
};
