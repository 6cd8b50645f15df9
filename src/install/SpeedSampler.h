#pragma once

#include <QtGlobal>

#include <chrono>

// The download speed shown to the user: sampled at most every half second and smoothed, so
// that it neither jumps with every packet nor lags far behind.
class SpeedSampler
{
public:
    using Clock = std::chrono::steady_clock;

    explicit SpeedSampler(Clock::time_point start = Clock::now())
        : m_lastSample(start)
    {
    }

    // Called with the bytes written so far on every progress event; gives the current speed.
    double update(qint64 written, Clock::time_point now = Clock::now())
    {
        const double dt = std::chrono::duration<double>(now - m_lastSample).count();
        if (dt >= 0.5) {
            const double instant = double(written - m_lastBytes) / dt;
            m_speed = m_speed == 0 ? instant : 0.4 * instant + 0.6 * m_speed;
            m_lastSample = now;
            m_lastBytes = written;
        }
        return m_speed;
    }

private:
    Clock::time_point m_lastSample;
    qint64 m_lastBytes = 0;
    double m_speed = 0;
};
