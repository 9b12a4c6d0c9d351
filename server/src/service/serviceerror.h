#pragma once

#include <stdexcept>
#include <string>

// Reply codes other than 0. The client only tells 0 from the rest, but
// distinct codes keep the replies readable and testable.
enum ReplyCode {
    CodeOk = 0,
    CodeBadLogin = 1,
    CodeTokenInvalid = 2,
    CodeBadInput = 3,
    CodeNotFound = 4,
    CodeForbidden = 5,
    CodeConflict = 6,
    CodeTooMany = 7, // too many wrong passwords: wait before the next attempt
    CodeServerError = 9,
};

// A refusal of the rules: the HTTP layer answers it as {"code", "msg"} with the
// Chinese message that the client shows to the user.
class ServiceError : public std::runtime_error
{
public:
    ServiceError(int code, const std::string &message) : std::runtime_error(message), code(code) {}
    const int code;
};
