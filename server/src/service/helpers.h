#pragma once

// Small shared rules of the server: ids, times, names and size texts.

#include <cstdint>
#include <string>

namespace helpers {

int64_t nowMs();
// An opaque id: 16 lower-case hex digits from the system's random source.
std::string newId();
std::string randomHex(size_t bytes);

// The size text of listings: number and unit joined by "&nbsp;" ("1.5&nbsp;KB").
std::string sizeText(int64_t bytes);

// Trims blanks (ASCII and the ideographic space) at both ends.
std::string trim(const std::string &text);
// A name that can be one path component everywhere: valid UTF-8, 1 to 255
// characters, no control characters, none of / \ : * ? " < > |, not "." or "..",
// not ending in a dot or blank.
bool validName(const std::string &name);
size_t utf8Length(const std::string &text);

// The extension of a file name in lower case (text after the last dot, empty
// when the dot is the first character or missing).
std::string extensionOf(const std::string &name);
// The name without its extension and the dot.
std::string baseOf(const std::string &name);
// "name(2).ext", "name(3).ext", ...: the n-th alternative of a name.
std::string numberedName(const std::string &name, int n);

// Parses "yyyy-MM-dd HH:mm:ss" as local time; 0 when it is no usable date.
int64_t parseLocalTime(const std::string &text);

bool isId(const std::string &text);

} // namespace helpers
