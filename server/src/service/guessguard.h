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

    // One attempt under way; ends as neither failed nor succeeded (a fault
    // on the way) unless told.
    class Attempt
    {
    public:
        Attempt(GuessGuard &guard, std::string target, std::string address);
        ~Attempt();
        Attempt(const Attempt &) = delete;
        Attempt &operator=(const Attempt &) = delete;
        void failed();
        // The right password: the target's failures are forgotten (the
        // address's are not, or one known password would open the way to
        // guess others).
        void succeeded();

    private:
        void end(bool failed);

        GuessGuard &guard;
        std::string target, address;
        bool ended = false;
    };

    explicit GuessGuard(Options options = defaults());

    // Starts an attempt; refuses it (code 7, "尝试次数过多，请 N 秒后再试")
    // while the target or the address waits.
    Attempt begin(const std::string &target, const std::string &address);

private:
    AttemptLimiter targets;
    AttemptLimiter addresses;
};
