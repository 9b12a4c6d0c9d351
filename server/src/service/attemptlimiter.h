#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

// Slows down guessing of passwords. Failed attempts are counted per key (an
// account, a link, an address); from a number of failures on, each failure
// closes the key for a while, twice as long as the time before, up to a cap. While a key is closed
// its attempts are refused at once, without checking the password, so a guesser holds no thread and
// burns no hashing. A key is forgotten once a while has passed without a failure.
class AttemptLimiter
{
public:
    struct Options
    {
        int failuresBeforeWait = 5;
        int64_t firstWaitMs = 1000;
        int64_t longestWaitMs = 15 * 60 * 1000;
        int64_t forgetAfterMs = 60 * 60 * 1000;
        // Keys kept at most; past it the longest quiet ones are dropped, so
        // that guesses from many addresses cannot fill the memory.
        size_t maxKeys = 100000;
        // Milliseconds of a steady clock; the system's when empty.
        std::function<int64_t()> clock;
    };

    explicit AttemptLimiter(Options options);

    // How long attempts for `key` stay refused; 0 when they may go on.
    int64_t waitMs(const std::string &key);
    // Starts an attempt: 0 when it may go on (end() must follow), otherwise
    // how long to wait. Attempts under way count as failures to come, so that
    // many at once get no more tries than the same ones one after another.
    int64_t begin(const std::string &key);
    void end(const std::string &key, bool failed);
    // A successful attempt: the key's failures are forgotten.
    void reset(const std::string &key);

private:
    struct Entry
    {
        int failures = 0;
        int running = 0; // attempts begun and not ended
        int64_t lastFailure = 0;
        int64_t closedUntil = 0;
    };

    int64_t now() const;
    void prune(int64_t at);

    Options options;
    std::mutex mutex;
    std::unordered_map<std::string, Entry> entries;
};
