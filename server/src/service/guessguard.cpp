#include "service/guessguard.h"

#include "service/serviceerror.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>

namespace {

// One holder of an IPv6 network commonly has a whole /64 to pick addresses
// from: guesses from it count together.
std::string addressKey(const std::string &address)
{
    unsigned char raw[16];
    if (address.find(':') == std::string::npos || inet_pton(AF_INET6, address.c_str(), raw) != 1)
        return address;
    char text[40];
    std::snprintf(text, sizeof text, "%02x%02x:%02x%02x:%02x%02x:%02x%02x::/64", raw[0], raw[1],
                  raw[2], raw[3], raw[4], raw[5], raw[6], raw[7]);
    return text;
}

} // namespace

GuessGuard::Options GuessGuard::defaults()
{
    Options o;
    o.perAddress.failuresBeforeWait = 20;
    return o;
}

GuessGuard::GuessGuard(Options options)
    : targets(std::move(options.perTarget)), addresses(std::move(options.perAddress))
{
}

GuessGuard::Attempt GuessGuard::begin(const std::string &target, const std::string &address)
{
    std::string key = addressKey(address);
    int64_t wait = targets.begin(target);
    if (wait <= 0) {
        wait = addresses.begin(key);
        if (wait > 0)
            targets.end(target, false);
    }
    if (wait <= 0)
        return Attempt(*this, target, key);
    int64_t seconds = (wait + 999) / 1000;
    std::string when = seconds < 60 ? std::to_string(seconds) + " 秒"
                                    : std::to_string((seconds + 59) / 60) + " 分钟";
    throw ServiceError(CodeTooMany, "尝试次数过多，请 " + when + "后再试");
}

GuessGuard::Attempt::Attempt(GuessGuard &guard, std::string target, std::string address)
    : guard(guard), target(std::move(target)), address(std::move(address))
{
}

GuessGuard::Attempt::~Attempt()
{
    if (!ended)
        end(false);
}

void GuessGuard::Attempt::end(bool failed)
{
    ended = true;
    guard.targets.end(target, failed);
    guard.addresses.end(address, failed);
}

void GuessGuard::Attempt::failed()
{
    if (!ended)
        end(true);
}

void GuessGuard::Attempt::succeeded()
{
    if (ended)
        return;
    end(false);
    guard.targets.reset(target);
}
