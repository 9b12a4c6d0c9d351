#include "service/helpers.h"

#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace helpers {

int64_t nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string randomHex(size_t bytes)
{
    std::string raw(bytes, '\0');
    randombytes_buf(raw.data(), raw.size());
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : raw) {
        out += hex[c >> 4];
        out += hex[c & 15];
    }
    return out;
}

std::string newId()
{
    return randomHex(8);
}

std::string sizeText(int64_t bytes)
{
    if (bytes < 1024)
        return std::to_string(bytes < 0 ? 0 : bytes) + "&nbsp;B";
    const char *units[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 3) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    std::string number = text;
    while (number.back() == '0')
        number.pop_back();
    if (number.back() == '.')
        number.pop_back();
    return number + "&nbsp;" + units[unit];
}

std::string trim(const std::string &text)
{
    static const std::string ideographicSpace = "\xe3\x80\x80";
    size_t begin = 0, end = text.size();
    for (;;) {
        if (begin < end && (text[begin] == ' ' || text[begin] == '\t' || text[begin] == '\r' ||
                            text[begin] == '\n'))
            ++begin;
        else if (text.compare(begin, 3, ideographicSpace) == 0 && begin + 3 <= end)
            begin += 3;
        else
            break;
    }
    for (;;) {
        if (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' ||
                            text[end - 1] == '\r' || text[end - 1] == '\n'))
            --end;
        else if (end >= begin + 3 && text.compare(end - 3, 3, ideographicSpace) == 0)
            end -= 3;
        else
            break;
    }
    return text.substr(begin, end - begin);
}

namespace {

// Decodes one UTF-8 sequence; returns its length, or 0 when it is invalid.
size_t decodeUtf8(const std::string &s, size_t i, uint32_t &cp)
{
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if ((c & 0xe0) == 0xc0) {
        n = 2;
        cp = c & 0x1f;
    } else if ((c & 0xf0) == 0xe0) {
        n = 3;
        cp = c & 0x0f;
    } else if ((c & 0xf8) == 0xf0) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        unsigned char cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xc0) != 0x80)
            return 0;
        cp = (cp << 6) | (cc & 0x3f);
    }
    static const uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < minimum[n] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
        return 0;
    return n;
}

} // namespace

size_t utf8Length(const std::string &text)
{
    size_t count = 0;
    for (size_t i = 0; i < text.size();) {
        uint32_t cp;
        size_t n = decodeUtf8(text, i, cp);
        i += n ? n : 1;
        ++count;
    }
    return count;
}

bool hiddenCharacter(uint32_t cp)
{
    return cp < 0x20 || (cp >= 0x7f && cp < 0xa0) || cp == 0x61c ||
           (cp >= 0x200b && cp <= 0x200f) || (cp >= 0x202a && cp <= 0x202e) ||
           (cp >= 0x2060 && cp <= 0x2064) || (cp >= 0x2066 && cp <= 0x206f) || cp == 0xfeff;
}

bool hasHiddenCharacter(const std::string &text)
{
    for (size_t i = 0; i < text.size();) {
        uint32_t cp;
        size_t n = decodeUtf8(text, i, cp);
        if (n > 0 && hiddenCharacter(cp))
            return true;
        i += n ? n : 1;
    }
    return false;
}

bool validName(const std::string &name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    size_t count = 0;
    for (size_t i = 0; i < name.size();) {
        uint32_t cp;
        size_t n = decodeUtf8(name, i, cp);
        if (n == 0)
            return false;
        if (hiddenCharacter(cp))
            return false;
        switch (cp) {
        case '/':
        case '\\':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            return false;
        default:
            break;
        }
        i += n;
        ++count;
    }
    // Windows drops trailing dots and blanks, which would make two names equal.
    char last = name.back();
    return count <= 255 && last != '.' && last != ' ';
}

std::string extensionOf(const std::string &name)
{
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return std::string();
    std::string ext = name.substr(dot + 1);
    for (char &c : ext)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

std::string baseOf(const std::string &name)
{
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return name;
    return name.substr(0, dot);
}

std::string numberedName(const std::string &name, int n)
{
    size_t dot = name.rfind('.');
    std::string suffix = "(" + std::to_string(n) + ")";
    if (dot == std::string::npos || dot == 0)
        return name + suffix;
    return name.substr(0, dot) + suffix + name.substr(dot);
}

int64_t parseLocalTime(const std::string &text)
{
    std::tm tm{};
    char tail = 0;
    int matched = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &tm.tm_year, &tm.tm_mon,
                              &tm.tm_mday, &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &tail);
    if (matched != 6 || tm.tm_year < 1971 || tm.tm_year > 9999 || tm.tm_mon < 1 || tm.tm_mon > 12 ||
        tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 60)
        return 0;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    if (t <= 0)
        return 0;
    return static_cast<int64_t>(t) * 1000;
}

bool validUtf8(const std::string &text)
{
    for (size_t i = 0; i < text.size();) {
        uint32_t cp;
        size_t n = decodeUtf8(text, i, cp);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

size_t utf8Step(const std::string &text, size_t at)
{
    uint32_t cp;
    size_t n = decodeUtf8(text, at, cp);
    return n ? n : 1;
}

std::vector<std::string> splitList(const std::string &text)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        std::string part = trim(text.substr(start, comma - start));
        if (!part.empty() && std::find(out.begin(), out.end(), part) == out.end())
            out.push_back(part);
        start = comma + 1;
    }
    return out;
}

void appendJson(std::string &out, const std::string &text)
{
    static const char hex[] = "0123456789abcdef";
    out += '"';
    size_t plain = 0; // start of the run of bytes copied as they are
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
            ++i;
            continue;
        }
        if (c >= 0x80) {
            uint32_t cp;
            size_t n = decodeUtf8(text, i, cp);
            if (n > 0) {
                i += n;
                continue;
            }
        }
        out.append(text, plain, i - plain);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += "\xef\xbf\xbd"; // a byte that is no UTF-8
            }
        }
        ++i;
        plain = i;
    }
    out.append(text, plain, std::string::npos);
    out += '"';
}

void appendJson(std::string &out, int64_t number)
{
    char text[24];
    int n = std::snprintf(text, sizeof text, "%lld", static_cast<long long>(number));
    out.append(text, static_cast<size_t>(n));
}

int64_t parseLocalDate(const std::string &text)
{
    std::string trimmed = trim(text);
    if (trimmed.size() != 10)
        return 0;
    return parseLocalTime(trimmed + " 00:00:00");
}

int64_t endOfLocalDay(int64_t dayStart)
{
    std::time_t t = static_cast<std::time_t>(dayStart / 1000);
    std::tm tm{};
    localtime_r(&t, &tm);
    tm.tm_mday += 1;
    tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    tm.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&tm)) * 1000;
}

bool isId(const std::string &text)
{
    if (text.size() != 16)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

std::string escapeMarkup(const std::string &text, bool keepAmpersand)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += keepAmpersand ? "&" : "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += keepAmpersand ? "'" : "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace helpers
