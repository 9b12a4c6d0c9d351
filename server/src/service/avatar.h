#pragma once

#include <string>

// The picture of a user who never uploaded one: the initial of the account
// name, white on a colour chosen from the user id, as a 64 x 64 PNG.
namespace avatar {

std::string generate(const std::string &userId, const std::string &account);

} // namespace avatar
