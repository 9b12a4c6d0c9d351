#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

// What the server's fuzz programs share: a check that stops the program (and
// makes libFuzzer keep the input), the line reader of their inputs, and a
// temporary folder for a store.

inline void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

// The line of `input` that starts at `at`, without its LF or CRLF; `at` moves
// past it.
inline std::string inputLine(const std::string &input, size_t &at)
{
    size_t eol = input.find('\n', at);
    std::string text = input.substr(at, eol == std::string::npos ? std::string::npos : eol - at);
    at = eol == std::string::npos ? input.size() : eol + 1;
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    return text;
}

// A fresh folder under /tmp, removed with all it holds when the object goes.
class FuzzFolder
{
public:
    explicit FuzzFolder(const std::string &prefix)
    {
        std::string pattern = "/tmp/" + prefix + "-XXXXXX";
        check(mkdtemp(pattern.data()) != nullptr, "a temporary folder");
        dir = pattern;
    }
    ~FuzzFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    FuzzFolder(const FuzzFolder &) = delete;
    FuzzFolder &operator=(const FuzzFolder &) = delete;

    const std::string &path() const { return dir; }

private:
    std::string dir;
};
