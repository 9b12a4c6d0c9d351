#include "http/multipartparser.h"

#include <algorithm>
#include <cstring>

namespace {

bool equalsNoCase(const std::string &a, const char *b)
{
    size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != b[i])
            return false;
    return true;
}

std::string trimmed(const std::string &text)
{
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return std::string();
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

// Splits `a=b; c="d"` style parameters.
template <typename F> void eachParameter(const std::string &text, size_t from, F &&take)
{
    size_t i = from;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ';' || text[i] == ' ' || text[i] == '\t'))
            ++i;
        size_t eq = text.find_first_of("=;", i);
        if (eq == std::string::npos || text[eq] == ';') {
            i = eq;
            continue;
        }
        std::string key = trimmed(text.substr(i, eq - i));
        for (char &c : key)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        i = eq + 1;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        std::string value;
        if (i < text.size() && text[i] == '"') {
            // Browsers send names as they are (a quote as %22), so a
            // backslash is part of the name, not an escape.
            size_t close = text.find('"', i + 1);
            if (close == std::string::npos)
                close = text.size();
            value = text.substr(i + 1, close - i - 1);
            i = close + 1;
        } else {
            size_t end = text.find(';', i);
            if (end == std::string::npos)
                end = text.size();
            value = trimmed(text.substr(i, end - i));
            i = end;
        }
        take(key, value);
    }
}

} // namespace

MultipartParser::MultipartParser(const std::string &boundary, Receiver &receiver)
    : delimiter("\r\n--" + boundary), receiver(receiver)
{
    // The body opens with "--boundary" and no line break before it: the
    // carried line break lets the first delimiter be found like the others.
    carry = "\r\n";
}

std::string MultipartParser::boundaryOf(const std::string &contentType)
{
    size_t semicolon = contentType.find(';');
    if (semicolon == std::string::npos)
        return std::string();
    std::string boundary;
    eachParameter(contentType, semicolon, [&](const std::string &key, const std::string &value) {
        if (key == "boundary")
            boundary = value;
    });
    if (boundary.empty() || boundary.size() > 70)
        return std::string();
    return boundary;
}

bool MultipartParser::fail()
{
    state = State::Failed;
    carry.clear();
    headers.clear();
    return false;
}

bool MultipartParser::emit(const char *data, size_t length)
{
    if (!inPart || length == 0)
        return true;
    return receiver.partData(data, length);
}

bool MultipartParser::feed(const char *data, size_t length)
{
    while (length > 0) {
        size_t used = 0;
        switch (state) {
        case State::Failed:
            return false;
        case State::Done:
            return true; // the epilogue is ignored
        case State::Body:
            used = scanBody(data, length);
            break;
        case State::Headers:
            used = scanHeaders(data, length);
            break;
        default:
            if (!step(*data))
                return fail();
            used = 1;
            break;
        }
        if (state == State::Failed)
            return false;
        data += used;
        length -= used;
    }
    return state != State::Failed;
}

size_t MultipartParser::scanBody(const char *data, size_t length)
{
    const size_t d = delimiter.size();
    if (!carry.empty()) {
        // A delimiter that began in the carried bytes ends within the next
        // d - 1 bytes.
        size_t take = std::min(length, d - 1);
        std::string window = carry;
        window.append(data, take);
        size_t at = window.find(delimiter);
        if (at != std::string::npos) {
            if (!emit(window.data(), at))
                return fail(), 0;
            size_t used = at + d - carry.size();
            carry.clear();
            state = State::Delimiter;
            return used;
        }
        if (take < d - 1) {
            // Too few bytes to decide: keep only what may still begin one.
            carry.append(data, take);
            if (carry.size() > d - 1) {
                size_t free = carry.size() - (d - 1);
                if (!emit(carry.data(), free))
                    return fail(), 0;
                carry.erase(0, free);
            }
            return length;
        }
        if (!emit(carry.data(), carry.size()))
            return fail(), 0;
        carry.clear();
    }
    const void *hit = memmem(data, length, delimiter.data(), d);
    if (hit) {
        size_t at = static_cast<size_t>(static_cast<const char *>(hit) - data);
        if (!emit(data, at))
            return fail(), 0;
        state = State::Delimiter;
        return at + d;
    }
    // A delimiter cut by the end of the piece begins at a CR in its last
    // d - 1 bytes.
    size_t tail = std::min(length, d - 1);
    const void *cr = std::memchr(data + length - tail, '\r', tail);
    size_t keep = cr ? static_cast<size_t>(data + length - static_cast<const char *>(cr)) : 0;
    if (!emit(data, length - keep))
        return fail(), 0;
    carry.assign(data + length - keep, keep);
    return length;
}

// After a delimiter: "--" closes the body; otherwise optional blanks and a
// line break open the next part's headers.
bool MultipartParser::step(char c)
{
    switch (state) {
    case State::Delimiter:
        if (c == '-') {
            state = State::Dash;
            return true;
        }
        state = State::Padding;
        return step(c);
    case State::Dash:
        if (c != '-')
            return false;
        if (inPart && !receiver.partEnd())
            return false;
        inPart = false;
        state = State::Done;
        return true;
    case State::Padding:
        if (c == ' ' || c == '\t')
            return true;
        if (c != '\r')
            return false;
        state = State::LineFeed;
        return true;
    case State::LineFeed:
        if (c != '\n')
            return false;
        if (inPart && !receiver.partEnd())
            return false;
        inPart = false;
        // A part without headers ends them at once: the leading line break
        // lets "\r\n\r\n" be found in that case too.
        headers = "\r\n";
        state = State::Headers;
        return true;
    default:
        return false;
    }
}

size_t MultipartParser::scanHeaders(const char *data, size_t length)
{
    size_t before = headers.size();
    size_t take = std::min(length, maxHeaderBytes + 4 - std::min(before, maxHeaderBytes + 4));
    headers.append(data, take);
    size_t from = before >= 3 ? before - 3 : 0;
    size_t end = headers.find("\r\n\r\n", from);
    if (end == std::string::npos) {
        if (headers.size() > maxHeaderBytes + 2)
            return fail(), 0;
        return take;
    }
    size_t used = end + 4 - before;
    headers.resize(end + 2); // keep the last line's break for the line split
    Part part;
    bool ok = parseHeaders(part);
    headers.clear();
    if (!ok || !receiver.partBegin(part))
        return fail(), 0;
    inPart = true;
    state = State::Body;
    return used;
}

bool MultipartParser::parseHeaders(Part &part) const
{
    bool disposition = false;
    size_t at = 2; // after the leading line break
    while (at < headers.size()) {
        size_t eol = headers.find("\r\n", at);
        if (eol == std::string::npos)
            eol = headers.size();
        std::string line = headers.substr(at, eol - at);
        at = eol + 2;
        size_t colon = line.find(':');
        if (colon == std::string::npos)
            return false;
        std::string name = trimmed(line.substr(0, colon));
        std::string value = trimmed(line.substr(colon + 1));
        if (equalsNoCase(name, "content-disposition")) {
            size_t semicolon = value.find(';');
            if (!equalsNoCase(trimmed(value.substr(0, semicolon)), "form-data"))
                return false;
            disposition = true;
            if (semicolon != std::string::npos)
                eachParameter(value, semicolon, [&](const std::string &key, const std::string &v) {
                    if (key == "name")
                        part.name = v;
                    else if (key == "filename")
                        part.fileName = v;
                });
        } else if (equalsNoCase(name, "content-type")) {
            part.contentType = value;
        }
    }
    return disposition;
}
