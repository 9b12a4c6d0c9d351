#pragma once

// Small shared rules of the server: ids, times, names and size texts.

#include <cstdint>
#include <string>
#include <vector>

namespace helpers {

int64_t nowMs();
// An opaque id: 16 lower-case hex digits from the system's random source.
std::string newId();
std::string randomHex(size_t bytes);

// The size text of listings: number and unit joined by "&nbsp;" ("1.5&nbsp;KB").
std::string sizeText(int64_t bytes);

// Trims blanks (ASCII and the ideographic space) at both ends.
std::string trim(const std::string &text);
// Characters that do not show or that turn the text's direction around, so
// that a name holding them can pass for another ("invoice\u202Efdp.exe"
// shows as "invoiceexe.pdf"): C0 and C1 controls and DEL, the bidirectional
// marks, embeddings, overrides and isolates (U+061C, U+200E, U+200F,
// U+202A-U+202E, U+2066-U+2069), the zero-width space, joiners and word
// joiner (U+200B-U+200D, U+2060), the invisible operators and deprecated
// format characters (U+2061-U+2064, U+206A-U+206F) and the byte order mark
// (U+FEFF). No name the server stores may hold one.
bool hiddenCharacter(uint32_t codePoint);
// Whether valid UTF-8 `text` holds a hidden character.
bool hasHiddenCharacter(const std::string &text);
// A name that can be one path component everywhere: valid UTF-8, 1 to 255
// characters, no hidden characters, none of / \ : * ? " < > |, not "." or "..",
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

bool validUtf8(const std::string &text);
// Escapes text for HTML or XML: & < > " and '. With `keepAmpersand` the reader
// strips tags and shows the rest as plain text (search hits), so "&" and "'"
// stay as they are and only what could form a tag or attribute is replaced.
std::string escapeMarkup(const std::string &text, bool keepAmpersand = false);
// The byte length of the UTF-8 character at `at` (1 for a broken one).
size_t utf8Step(const std::string &text, size_t at);
// The trimmed, non-empty, distinct parts of a comma-separated list.
std::vector<std::string> splitList(const std::string &text);
// Appends `text` as a JSON string (quoted and escaped); broken UTF-8 becomes
// U+FFFD, as the JSON library's dump does.
void appendJson(std::string &out, const std::string &text);
void appendJson(std::string &out, int64_t number);
// Parses "yyyy-MM-dd" as the start of that local day; 0 when unusable.
int64_t parseLocalDate(const std::string &text);
// The start of the local day after the one that begins at `dayStart`.
int64_t endOfLocalDay(int64_t dayStart);

} // namespace helpers
