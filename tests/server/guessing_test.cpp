// Guessing passwords: the wait after repeated failures per account and per
// address, on a clock the test moves, and the bound on hashes run at once.

#include "serverprocess.h"
#include "service/accountservice.h"
#include "service/attemptlimiter.h"
#include "service/serviceerror.h"
#include "store/sessionstore.h"
#include "store/store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// The code of a sign-in's refusal; 0 when it succeeds.
int attempt(AccountService &accounts, const std::string &name, const std::string &password,
            const std::string &address)
{
    try {
        accounts.login(name, password, "", "", address);
        return 0;
    } catch (const ServiceError &e) {
        return e.code;
    }
}

} // namespace

TEST(Guessing, WaitsDoubleFromTheFifthFailureUpToTheCapAndAreForgotten)
{
    int64_t now = 1000;
    AttemptLimiter::Options o;
    o.longestWaitMs = 8000;
    o.clock = [&] { return now; };
    AttemptLimiter limiter(o);
    auto fail = [&](const char *key) {
        EXPECT_EQ(limiter.begin(key), 0);
        limiter.end(key, true);
    };
    for (int i = 0; i < 4; ++i)
        fail("k");
    EXPECT_EQ(limiter.waitMs("k"), 0);
    fail("k");
    EXPECT_EQ(limiter.waitMs("k"), 1000);
    EXPECT_EQ(limiter.waitMs("other"), 0);
    now += 400;
    EXPECT_EQ(limiter.waitMs("k"), 600);
    now += 600;
    EXPECT_EQ(limiter.waitMs("k"), 0);
    for (int64_t expected : {2000, 4000, 8000, 8000}) {
        fail("k");
        EXPECT_EQ(limiter.waitMs("k"), expected);
        EXPECT_EQ(limiter.begin("k"), expected); // refused meanwhile
        now += expected;
    }
    // An hour without a failure: the count starts again.
    now += o.forgetAfterMs + 1;
    fail("k");
    EXPECT_EQ(limiter.waitMs("k"), 0);
    for (int i = 0; i < 4; ++i)
        fail("k");
    limiter.reset("k");
    EXPECT_EQ(limiter.waitMs("k"), 0);

    // Attempts under way count as failures to come: five at once, then no
    // more until they end; the five failures then close the key.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(limiter.begin("p"), 0);
    EXPECT_GT(limiter.begin("p"), 0);
    for (int i = 0; i < 5; ++i)
        limiter.end("p", true);
    EXPECT_EQ(limiter.waitMs("p"), 1000);
}

TEST(Guessing, SignInWaitsPerAccountAndPerAddress)
{
    TempDir dir;
    Store store(dir.path() + "/folvane.db");
    SessionStore sessions(dir.path() + "/sessions.db", store);
    User u;
    u.id = "0123456789abcdef";
    u.account = "someone";
    u.nickname = "某人";
    u.passwordHash = AccountService::hashPassword("right");
    store.insertUser(u);
    int64_t now = 0;
    GuessGuard::Options o;
    o.perTarget.failuresBeforeWait = 2;
    o.perAddress.failuresBeforeWait = 4;
    o.perTarget.clock = o.perAddress.clock = [&] { return now; };
    AccountService accounts(store, sessions, o);

    // Two wrong passwords: the account waits, from every address, whatever
    // the case of its name, and the right password waits too.
    EXPECT_EQ(attempt(accounts, "someone", "wrong", "192.0.2.1"), CodeBadLogin);
    EXPECT_EQ(attempt(accounts, "SOMEONE", "wrong", "192.0.2.2"), CodeBadLogin);
    EXPECT_EQ(attempt(accounts, "someone", "right", "192.0.2.3"), CodeTooMany);
    now += 1000;
    EXPECT_EQ(attempt(accounts, "someone", "right", "192.0.2.3"), 0);
    // The success forgot the account's failures.
    EXPECT_EQ(attempt(accounts, "someone", "wrong", "192.0.2.4"), CodeBadLogin);
    EXPECT_EQ(attempt(accounts, "someone", "right", "192.0.2.4"), 0);

    // A few guesses at many names from one address: the address waits, for
    // every account, while other addresses go on. Names that are no account
    // count like the others.
    for (const char *name : {"a1", "a2", "a3", "a4"})
        EXPECT_EQ(attempt(accounts, name, "x", "198.51.100.7"), CodeBadLogin);
    EXPECT_EQ(attempt(accounts, "someone", "right", "198.51.100.7"), CodeTooMany);
    EXPECT_EQ(attempt(accounts, "someone", "right", "198.51.100.8"), 0);
    // An IPv6 network counts as one address.
    int n = 0;
    for (const char *address :
         {"2001:db8:1:2::1", "2001:db8:1:2::2", "2001:db8:1:2:ffff::3", "2001:db8:1:2:aaaa::4"})
        EXPECT_EQ(attempt(accounts, "b" + std::to_string(++n), "x", address), CodeBadLogin)
            << address;
    EXPECT_EQ(attempt(accounts, "someone", "right", "2001:db8:1:2::99"), CodeTooMany);
    EXPECT_EQ(attempt(accounts, "someone", "right", "2001:db8:1:3::1"), 0);
}

TEST(Guessing, GuessesAtOnceGetNoMoreTriesThanOneAfterAnother)
{
    TempDir dir;
    Store store(dir.path() + "/folvane.db");
    SessionStore sessions(dir.path() + "/sessions.db", store);
    GuessGuard::Options o;
    o.perTarget.failuresBeforeWait = 2;
    AccountService accounts(store, sessions, o, 8);
    std::vector<std::thread> threads;
    std::atomic<int> checked{0}, refused{0};
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&, i] {
            int code = attempt(accounts, "nobody", "guess", "192.0.2." + std::to_string(i));
            (code == CodeTooMany ? refused : checked) += 1;
        });
    for (std::thread &t : threads)
        t.join();
    EXPECT_LE(checked, 2);
    EXPECT_EQ(checked + refused, 8);
}

TEST(Guessing, OnlyAFewPasswordHashesRunAtOnce)
{
    PasswordHasher hasher(2);
    std::string hash = hasher.hash("secret");
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] { EXPECT_FALSE(hasher.verify(hash, "guess")); });
    for (std::thread &t : threads)
        t.join();
    EXPECT_LE(hasher.mostAtOnce(), 2);
}
