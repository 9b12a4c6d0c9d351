#pragma once

#include <string>

// The picture of a user who never uploaded one: the initial of the account
// name, white on a colour chosen from the user id, drawn with smooth
// (anti-aliased) strokes at the size it is shown, as a square PNG.
namespace avatar {

constexpr int defaultSize = 64;
constexpr int minSize = 16;
constexpr int maxSize = 256;

// The side asked for in a request ("46"), within the limits; the default when
// it is missing or not a number.
int sizeFrom(const std::string &requested);

std::string generate(const std::string &userId, const std::string &account, int size = defaultSize);

} // namespace avatar
