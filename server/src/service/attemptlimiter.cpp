#include "service/attemptlimiter.h"

#include <algorithm>
#include <chrono>
#include <vector>

AttemptLimiter::AttemptLimiter(Options options) : options(std::move(options)) {}

int64_t AttemptLimiter::now() const
{
    if (options.clock)
        return options.clock();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t AttemptLimiter::waitMs(const std::string &key)
{
    std::lock_guard<std::mutex> guard(mutex);
    auto it = entries.find(key);
    if (it == entries.end())
        return 0;
    return std::max<int64_t>(0, it->second.closedUntil - now());
}

void AttemptLimiter::failed(const std::string &key)
{
    std::lock_guard<std::mutex> guard(mutex);
    int64_t at = now();
    if (entries.size() >= options.maxKeys && !entries.count(key))
        prune(at);
    Entry &e = entries[key];
    if (e.failures > 0 && at - e.lastFailure > options.forgetAfterMs)
        e = Entry();
    e.failures += 1;
    e.lastFailure = at;
    int over = e.failures - options.failuresBeforeWait;
    if (over < 0)
        return;
    int64_t wait = options.firstWaitMs;
    for (int i = 0; i < over && wait < options.longestWaitMs; ++i)
        wait *= 2;
    e.closedUntil = at + std::min(wait, options.longestWaitMs);
}

void AttemptLimiter::reset(const std::string &key)
{
    std::lock_guard<std::mutex> guard(mutex);
    entries.erase(key);
}

void AttemptLimiter::prune(int64_t at)
{
    for (auto it = entries.begin(); it != entries.end();) {
        if (at - it->second.lastFailure > options.forgetAfterMs && it->second.closedUntil <= at)
            it = entries.erase(it);
        else
            ++it;
    }
    if (entries.size() < options.maxKeys)
        return;
    // Still full: the half that failed longest ago goes.
    std::vector<int64_t> times;
    times.reserve(entries.size());
    for (const auto &e : entries)
        times.push_back(e.second.lastFailure);
    auto middle = times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2);
    std::nth_element(times.begin(), middle, times.end());
    int64_t cut = *middle;
    for (auto it = entries.begin(); it != entries.end();) {
        if (it->second.lastFailure <= cut)
            it = entries.erase(it);
        else
            ++it;
    }
}
