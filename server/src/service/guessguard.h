#pragma once

#include "service/attemptlimiter.h"

#include <string>

// The limits on guessing one kind of password (sign-in, link pages): failures
// are counted per target (an account, a link) and per address they come from,
// so that neither many guesses at one account nor a few guesses at many
// accounts from one address go fast.
class GuessGuard
{
public:
    struct Options
    {
        AttemptLimiter::Options perTarget;
        AttemptLimiter::Options perAddress;
    };
    // Five failures at a target or twenty from an address, then waits from one
    // second, doubling up to a quarter of an hour.
    static Options defaults();

    explicit GuessGuard(Options options = defaults());

    // Refuses (code 7, "尝试次数过多，请 N 秒后再试") while the target or the
    // address waits.
    void check(const std::string &target, const std::string &address);
    void failed(const std::string &target, const std::string &address);
    // The right password: the target's failures are forgotten (the address's
    // are not, or one known password would open the way to guess others).
    void succeeded(const std::string &target);

private:
    AttemptLimiter targets;
    AttemptLimiter addresses;
};
