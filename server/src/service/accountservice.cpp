#include "service/accountservice.h"

#include "service/avatar.h"
#include "service/helpers.h"
#include "service/serviceerror.h"
#include "store/sessionstore.h"
#include "store/store.h"

#include <sodium.h>

#include <mutex>

using nlohmann::json;

const char *const AccountService::organisationId = "9d27ffe38ca78490";

namespace {

const char *const badLogin = "用户名或密码错误";
const char *const expired = "登录已失效，请重新登录";

std::string tokenHash(const std::string &token)
{
    unsigned char out[32];
    crypto_generichash(out, sizeof out, reinterpret_cast<const unsigned char *>(token.data()),
                       token.size(), nullptr, 0);
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned char c : out) {
        text += hex[c >> 4];
        text += hex[c & 15];
    }
    return text;
}

json userRecord(const User &u)
{
    return json{{"id", u.id},
                {"userId", u.id},
                {"username", u.account},
                {"realname", u.nickname},
                {"nickname", u.nickname},
                {"thumb", "/api/user/user-thumb.jf?userId=" + u.id}};
}

} // namespace

AccountService::AccountService(Store &store, SessionStore &sessions, GuessGuard::Options guesses,
                               int hashesAtOnce)
    : store(store), sessions(sessions), hasher(hashesAtOnce), guesses(std::move(guesses))
{
}

std::string AccountService::hashPassword(const std::string &password)
{
    return PasswordHasher(1).hash(password);
}

json AccountService::login(const std::string &account, const std::string &password,
                           const std::string &mac, const std::string &ip,
                           const std::string &address)
{
    std::string name = helpers::trim(account);
    if (name.empty() || password.empty())
        throw ServiceError(CodeBadLogin, badLogin);
    // Account names are compared without regard to ASCII case.
    std::string target = name;
    for (char &c : target)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    GuessGuard::Attempt attempt = guesses.begin(target, address);
    std::optional<User> user = store.userByAccount(name);
    // The hash check runs outside the lock: it takes tens of milliseconds. A
    // name that is no account is checked against a hash as well, so that the
    // answer takes as long.
    bool right = false;
    if (user)
        right = hasher.verify(user->passwordHash, password);
    else
        hasher.verifyNone(password);
    if (!right) {
        attempt.failed();
        throw ServiceError(CodeBadLogin, badLogin);
    }
    attempt.succeeded();

    std::string token = helpers::randomHex(32);
    int64_t now = helpers::nowMs();
    {
        // Tokens have a database of their own: a sign-in never waits for a
        // long write to the documents.
        std::lock_guard<std::recursive_mutex> guard(sessions.mutex());
        sessions.deleteTokensIdleSince(now - tokenIdleMs);
        sessions.insertToken(
            Token{tokenHash(token), user->id, now, now, mac.substr(0, 64), ip.substr(0, 64)});
    }
    json data = userRecord(*user);
    data["token"] = token;
    data["maxUploadNum"] = user->maxUploadNum;
    data["isAdmin"] = user->isAdmin ? 1 : 0;
    return data;
}

Session AccountService::sessionOf(const std::string &userId)
{
    auto user = store.userById(userId);
    if (!user)
        throw ServiceError(CodeNotFound, "用户不存在");
    Session session;
    session.user = *user;
    session.groups = store.groupsOf(user->id);
    return session;
}

Session AccountService::authenticate(const std::string &token)
{
    if (token.empty() || token.size() > 128)
        throw ServiceError(CodeTokenInvalid, expired);
    std::string hash = tokenHash(token);
    int64_t now = helpers::nowMs();
    auto found = sessions.token(hash);
    if (!found || found->second < now - tokenIdleMs) {
        if (found) {
            std::lock_guard<std::recursive_mutex> guard(sessions.mutex());
            sessions.deleteToken(hash);
        }
        throw ServiceError(CodeTokenInvalid, expired);
    }
    // Writing the time of every request would cost a write per call; a minute
    // of precision is plenty for a seven-day limit.
    if (now - found->second > 60 * 1000) {
        std::lock_guard<std::recursive_mutex> guard(sessions.mutex());
        sessions.touchToken(hash, now);
    }
    auto user = store.userById(found->first);
    if (!user)
        throw ServiceError(CodeTokenInvalid, expired);
    Session session;
    session.user = *user;
    session.groups = store.groupsOf(user->id);
    return session;
}

json AccountService::listAllGroup()
{
    json list = json::array();
    for (const Group &g : store.allGroups())
        list.push_back(json{{"id", g.id},
                            {"name", g.name},
                            {"parentId", g.parentId.empty() ? std::string("-1") : g.parentId}});
    return list;
}

json AccountService::userList(const std::string &groupId)
{
    if (!store.groupById(groupId))
        throw ServiceError(CodeNotFound, "部门不存在");
    // The organisation itself lists everybody; a department its own members.
    std::vector<User> users =
        groupId == organisationId ? store.allUsers() : store.membersOf(groupId);
    json list = json::array();
    for (const User &u : users)
        list.push_back(userRecord(u));
    return list;
}

std::string AccountService::thumb(const std::string &userId, const std::string &size)
{
    auto user = store.userById(userId);
    if (!user)
        return std::string();
    std::string stored = store.avatar(userId);
    if (!stored.empty())
        return stored;
    return avatar::generate(user->id, user->account, avatar::sizeFrom(size));
}
