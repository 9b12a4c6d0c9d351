#pragma once

#include "service/guessguard.h"
#include "service/passwordhasher.h"
#include "service/session.h"

#include <nlohmann/json.hpp>

#include <string>

class SessionStore;
class Store;

// Accounts, sign-in tokens, the group tree and avatars.
class AccountService
{
public:
    // Tokens unused for this long stop working.
    static const int64_t tokenIdleMs = 7LL * 24 * 3600 * 1000;
    // The organisation's top group; the client shows it as "组织架构".
    static const char *const organisationId;

    AccountService(Store &store, SessionStore &sessions,
                   GuessGuard::Options guesses = GuessGuard::defaults(), int hashesAtOnce = 2);

    // A hash of a password outside serving (the demo seed).
    static std::string hashPassword(const std::string &password);
    // Password hashes and checks while serving, a few at a time.
    PasswordHasher &passwords() { return hasher; }

    // The "data" of a successful sign-in; CodeBadLogin otherwise, and
    // CodeTooMany while the account or the `address` the attempt comes from
    // must wait after failures. `ip` is what the client says of itself.
    nlohmann::json login(const std::string &account, const std::string &password,
                         const std::string &mac, const std::string &ip,
                         const std::string &address = std::string());
    // The session of a token; CodeTokenInvalid when it is unknown or expired.
    Session authenticate(const std::string &token);
    // The session of a user acting without a token (the creator of an
    // external link); CodeNotFound when the user is gone.
    Session sessionOf(const std::string &userId);

    nlohmann::json listAllGroup();
    nlohmann::json userList(const std::string &groupId);
    // The user's picture as PNG; empty when there is no such user.
    // The user's picture; a generated one is drawn `size` pixels square
    // ("46"; the default size when empty or not a number).
    std::string thumb(const std::string &userId, const std::string &size = std::string());

private:
    Store &store;
    SessionStore &sessions;
    PasswordHasher hasher;
    GuessGuard guesses;
};
