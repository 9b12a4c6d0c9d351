#pragma once

#include "store/database.h"
#include "store/records.h"

#include <mutex>
#include <optional>
#include <string>

class Store;

// Sign-in tokens, in a small SQLite file of their own beside the documents'
// database. SQLite lets one writer at a time into a file, and a long copy or
// delete holds the documents' file for its whole transaction; a sign-in,
// which writes a token, must not wait for it. Here tokens have their own
// writer. Tokens are kept as hashes.
class SessionStore
{
public:
    // Opens (or creates) the file at `path`, moving in the tokens that
    // `documents` still keeps from before.
    SessionStore(const std::string &path, Store &documents);

    void insertToken(const Token &token);
    // The user and the last use of a token, if it exists.
    std::optional<std::pair<std::string, int64_t>> token(const std::string &hash);
    void touchToken(const std::string &hash, int64_t now);
    void deleteToken(const std::string &hash);
    void deleteTokensIdleSince(int64_t before);

    // Held around a unit of work that writes tokens.
    std::recursive_mutex &mutex() { return db.mutex(); }

private:
    Database db;
};
