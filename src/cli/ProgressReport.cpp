#include "cli/ProgressReport.h"

#include "app/AppModel.h"
#include "base/ByteCount.h"

#include <QDateTime>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int barWidth = 30;

const char *phaseText(InstallPhase phase)
{
    switch (phase) {
    case InstallPhase::downloading: return "Downloading…";
    case InstallPhase::verifying: return "Verifying…";
    case InstallPhase::unpacking: return "Unpacking…";
    case InstallPhase::installing: return "Installing…";
    case InstallPhase::idle: break;
    }
    return "";
}

} // namespace

ProgressReport::ProgressReport(AppModel &model, bool always, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_terminal(always || ::isatty(STDERR_FILENO))
{
    if (m_terminal)
        connect(&m_model, &AppModel::changed, this, &ProgressReport::update);
}

ProgressReport::~ProgressReport()
{
    endBar();
}

void ProgressReport::endBar()
{
    if (m_barShown) {
        std::fputs("\n", stderr);
        m_barShown = false;
    }
}

void ProgressReport::update()
{
    const InstallPhase phase = m_model.phase();
    if (phase != m_shownPhase) {
        endBar();
        m_shownPhase = phase;
        if (phase != InstallPhase::idle && phase != InstallPhase::downloading)
            std::fprintf(stderr, "%s\n", phaseText(phase));
    }
    if (phase == InstallPhase::idle && m_model.busyTotal() > 0) {
        // A backup or restore: its message and the bytes done.
        const QString line
            = QStringLiteral("\r%1 %2 of %3   ")
                  .arg(m_model.busyMessage().value_or(QString()), ByteCount::fileStyle(m_model.busyDone()),
                       ByteCount::fileStyle(m_model.busyTotal()));
        std::fputs(line.toUtf8().constData(), stderr);
        std::fflush(stderr);
        m_barShown = true;
        return;
    }
    if (phase != InstallPhase::downloading)
        return;

    // A terminal needs no more than ten redraws a second.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (m_barShown && now - m_lastDrawnMs < 100 && m_model.downloaded() < m_model.totalBytes())
        return;
    m_lastDrawnMs = now;

    const qint64 total = m_model.totalBytes();
    const double fraction = total > 0 ? std::min(1.0, double(m_model.downloaded()) / double(total)) : 0;
    const int filled = int(fraction * barWidth);
    const QString line = QStringLiteral("\r[%1%2] %3 of %4 · %5/s   ")
                             .arg(QString(filled, QLatin1Char('#')), QString(barWidth - filled, QLatin1Char('.')),
                                  ByteCount::fileStyle(m_model.downloaded()), ByteCount::fileStyle(total),
                                  ByteCount::fileStyle(qint64(m_model.speed())));
    std::fputs(line.toUtf8().constData(), stderr);
    std::fflush(stderr);
    m_barShown = true;
}
