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

int64_t AttemptLimiter::begin(const std::string &key)
{
    std::lock_guard<std::mutex> guard(mutex);
    int64_t at = now();
    if (entries.size() >= options.maxKeys && !entries.count(key))
        prune(at);
    Entry &e = entries[key];
    if (e.failures > 0 && at - e.lastFailure > options.forgetAfterMs && e.running == 0)
        e = Entry();
    if (e.closedUntil > at)
        return e.closedUntil - at;
    // The attempts under way will end within a hash's time.
    if (e.running > 0 && e.failures + e.running >= options.failuresBeforeWait)
        return options.firstWaitMs;
    e.running += 1;
    return 0;
}

void AttemptLimiter::end(const std::string &key, bool failed)
{
    std::lock_guard<std::mutex> guard(mutex);
    int64_t at = now();
    Entry &e = entries[key];
    e.running = std::max(0, e.running - 1);
    if (!failed) {
        if (e.failures == 0 && e.running == 0)
            entries.erase(key);
        return;
    }
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
    auto it = entries.find(key);
    if (it == entries.end())
        return;
    if (it->second.running > 0)
        it->second = Entry{0, it->second.running, 0, 0};
    else
        entries.erase(it);
}

void AttemptLimiter::prune(int64_t at)
{
    for (auto it = entries.begin(); it != entries.end();) {
        if (at - it->second.lastFailure > options.forgetAfterMs && it->second.closedUntil <= at &&
            it->second.running == 0)
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
        if (it->second.lastFailure <= cut && it->second.running == 0)
            it = entries.erase(it);
        else
            ++it;
    }
}
