#pragma once

#include "app/InstallPhase.h"

#include <QObject>
#include <QString>

class AppModel;

// Shows a running install, backup or restore on the terminal the way curl and cargo do:
// "42% 120.3 MB / 286.4 MB 5.2 MB/s ETA 0:32", redrawn in place within the terminal's width,
// then the name of each later step. Off a terminal it reports only when asked to, one line at
// every tenth of the way.
class ProgressReport : public QObject
{
    Q_OBJECT

public:
    // always: report even when stderr is not a terminal.
    ProgressReport(AppModel &model, bool always, QObject *parent = nullptr);
    ~ProgressReport() override;

    // The line for bytes done of a total (0 or less: unknown) at a speed (0: not sampled yet).
    static QString line(qint64 done, qint64 total, double speed);

private:
    void update();
    void draw(qint64 done, qint64 total, double speed, const QString &prefix);
    void endLine();

    AppModel &m_model;
    bool m_report;
    bool m_terminal;
    InstallPhase m_shownPhase = InstallPhase::idle;
    bool m_lineShown = false;
    qint64 m_lastDrawnMs = 0;
    int m_lastTenth = -1;
    QString m_shownMessage; // the download's own sentence ("Resuming at …") last printed
};
