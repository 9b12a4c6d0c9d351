#pragma once

// What the client benchmarks share: timing one piece of work, and the
// min / median / max of several runs of it.

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

// Milliseconds that `work` took.
inline double msOf(const std::function<void()> &work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return clock.nsecsElapsed() / 1e6;
}

// The runs of one measurement.
struct Figures
{
    std::vector<double> runs;
    double min() const { return *std::min_element(runs.begin(), runs.end()); }
    double max() const { return *std::max_element(runs.begin(), runs.end()); }
    double median() const
    {
        std::vector<double> sorted = runs;
        std::sort(sorted.begin(), sorted.end());
        return sorted.at(sorted.size() / 2);
    }
};

// One line of a table: "what", min, median, max.
inline void print(const char *what, const Figures &f)
{
    std::printf("%-34s %8.2f %8.2f %8.2f\n", what, f.min(), f.median(), f.max());
}
