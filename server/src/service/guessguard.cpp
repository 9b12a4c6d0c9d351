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

void GuessGuard::check(const std::string &target, const std::string &address)
{
    int64_t wait = std::max(targets.waitMs(target), addresses.waitMs(addressKey(address)));
    if (wait <= 0)
        return;
    int64_t seconds = (wait + 999) / 1000;
    std::string when = seconds < 60 ? std::to_string(seconds) + " 秒"
                                    : std::to_string((seconds + 59) / 60) + " 分钟";
    throw ServiceError(CodeTooMany, "尝试次数过多，请 " + when + "后再试");
}

void GuessGuard::failed(const std::string &target, const std::string &address)
{
    targets.failed(target);
    addresses.failed(addressKey(address));
}

void GuessGuard::succeeded(const std::string &target)
{
    targets.reset(target);
}
