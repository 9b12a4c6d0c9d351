#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Measures how long the thread that makes it (the interface thread) goes
// without running its timers: a precise timer ticks every `intervalMs`, and
// the meter keeps the longest time between two ticks.
class StallMeter : public QObject
{
public:
    explicit StallMeter(int intervalMs = 10);

    // The longest time between two ticks since the start, in milliseconds
    // (the interval itself included).
    qint64 longestGapMs() const { return m_longest; }
    int ticks() const { return m_ticks; }
    // Starts again from now.
    void restart();

private:
    void tick();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    int m_ticks = 0;
};
