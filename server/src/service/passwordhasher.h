#pragma once

#include <condition_variable>
#include <mutex>
#include <string>

// Argon2 hashing and checking of passwords. Each one takes 64 MiB and tens of
// milliseconds, so only a few run at once and the others wait their turn:
// many sign-ins together cost time, not memory.
class PasswordHasher
{
public:
    explicit PasswordHasher(int atOnce = 2);

    // Throws ServiceError when the memory for it cannot be had.
    std::string hash(const std::string &password);
    bool verify(const std::string &hash, const std::string &password);
    // As slow as checking a real account's password, for names that are no
    // account: the time of an answer must not tell which accounts exist.
    void verifyNone(const std::string &password);

    // The most checks that ever ran at once (for tests and diagnostics).
    int mostAtOnce();

private:
    class Turn;

    const int limit;
    std::mutex mutex;
    std::condition_variable freed;
    int running = 0;
    int most = 0;
    std::once_flag dummyMade;
    std::string dummy;
};
