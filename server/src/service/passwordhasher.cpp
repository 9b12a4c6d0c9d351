#include "service/passwordhasher.h"

#include "service/helpers.h"
#include "service/serviceerror.h"

#include <sodium.h>

#include <algorithm>

// Holds one of the few places for a hash while it runs.
class PasswordHasher::Turn
{
public:
    explicit Turn(PasswordHasher &owner) : owner(owner)
    {
        std::unique_lock<std::mutex> lock(owner.mutex);
        owner.freed.wait(lock, [&] { return owner.running < owner.limit; });
        owner.running += 1;
        owner.most = std::max(owner.most, owner.running);
    }
    ~Turn()
    {
        {
            std::lock_guard<std::mutex> lock(owner.mutex);
            owner.running -= 1;
        }
        owner.freed.notify_one();
    }
    Turn(const Turn &) = delete;
    Turn &operator=(const Turn &) = delete;

private:
    PasswordHasher &owner;
};

PasswordHasher::PasswordHasher(int atOnce) : limit(std::max(1, atOnce)) {}

std::string PasswordHasher::hash(const std::string &password)
{
    Turn turn(*this);
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw ServiceError(CodeServerError, "服务器内存不足");
    return out;
}

bool PasswordHasher::verify(const std::string &hash, const std::string &password)
{
    Turn turn(*this);
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

void PasswordHasher::verifyNone(const std::string &password)
{
    // A hash of a random password made with the same settings as the
    // accounts' hashes, so that checking against it costs the same.
    std::call_once(dummyMade, [this] { dummy = hash(helpers::randomHex(16)); });
    verify(dummy, password);
}

int PasswordHasher::mostAtOnce()
{
    std::lock_guard<std::mutex> lock(mutex);
    return most;
}
