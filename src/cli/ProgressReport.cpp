#include "cli/ProgressReport.h"

#include "app/AppModel.h"
#include "base/ByteCount.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

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

int terminalWidth()
{
    struct winsize size = {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

} // namespace

QString ProgressReport::line(qint64 done, qint64 total, double speed)
{
    QString text;
    if (total > 0) {
        const int percent = int(std::min<qint64>(100, done * 100 / total));
        text = QStringLiteral("%1% %2 / %3").arg(percent).arg(ByteCount::fileStyle(done), ByteCount::fileStyle(total));
    } else {
        text = ByteCount::fileStyle(done);
    }
    if (speed > 0) {
        text += QStringLiteral(" %1/s").arg(ByteCount::fileStyle(qint64(speed)));
        if (total > done) {
            const qint64 seconds = qint64(std::ceil(double(total - done) / speed));
            text += QStringLiteral(" ETA %1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
        }
    }
    return text;
}

ProgressReport::ProgressReport(AppModel &model, bool always, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_terminal(::isatty(STDERR_FILENO))
{
    m_report = always || m_terminal;
    if (m_report)
        connect(&m_model, &AppModel::changed, this, &ProgressReport::update);
}

ProgressReport::~ProgressReport()
{
    endLine();
}

void ProgressReport::endLine()
{
    if (m_lineShown) {
        std::fputs("\n", stderr);
        std::fflush(stderr);
        m_lineShown = false;
    }
}

void ProgressReport::draw(qint64 done, qint64 total, double speed, const QString &prefix)
{
    const QString text = prefix + line(done, total, speed);
    if (!m_terminal) {
        // A log gets a line at every tenth of the way, no carriage returns.
        const int tenth = total > 0 ? int(std::min<qint64>(10, done * 10 / total)) : -1;
        if (tenth <= m_lastTenth)
            return;
        m_lastTenth = tenth;
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
        std::fflush(stderr);
        return;
    }
    // A terminal needs no more than ten redraws a second; the frame never wraps.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (m_lineShown && now - m_lastDrawnMs < 100 && done < total)
        return;
    m_lastDrawnMs = now;
    const QString fitted = text.left(std::max(1, terminalWidth() - 1));
    std::fprintf(stderr, "\r%s\x1b[K", fitted.toUtf8().constData());
    std::fflush(stderr);
    m_lineShown = true;
}

void ProgressReport::update()
{
    const InstallPhase phase = m_model.phase();
    if (phase != m_shownPhase) {
        endLine();
        m_shownPhase = phase;
        m_lastTenth = -1;
        if (phase != InstallPhase::idle && phase != InstallPhase::downloading)
            std::fprintf(stderr, "%s\n", phaseText(phase));
    }
    // A download that picks up where a dropped connection left it says so, on its own line.
    const QString said = phase == InstallPhase::downloading ? m_model.busyMessage().value_or(QString()) : QString();
    if (said != m_shownMessage) {
        m_shownMessage = said;
        if (!said.isEmpty()) {
            endLine();
            std::fprintf(stderr, "%s\n", said.toUtf8().constData());
        }
    }
    // Nothing received yet is nothing to show: a resume says where it picks up first.
    if (phase == InstallPhase::downloading && m_model.downloaded() > 0)
        draw(m_model.downloaded(), m_model.totalBytes(), m_model.speed(), {});
    else if (phase == InstallPhase::idle && m_model.busyTotal() > 0)
        draw(m_model.busyDone(), m_model.busyTotal(), 0, m_model.busyMessage().value_or(QString()) + QLatin1Char(' '));
}
