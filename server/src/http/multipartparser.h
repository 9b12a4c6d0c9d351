#pragma once

#include <cstddef>
#include <string>

// A streaming parser of multipart/form-data bodies: it takes the body in
// pieces of any size, as they arrive, and hands each part's headers and bytes
// to a receiver without holding the part in memory. The delimiter is found
// with memmem over each piece; only the few bytes that may begin a delimiter
// at the end of a piece are carried over to the next one.
class MultipartParser
{
public:
    struct Part
    {
        std::string name;
        std::string fileName; // empty for a plain field
        std::string contentType;
    };

    // Receives the parts in order. Returning false from any call stops the
    // parse (feed() then answers false).
    class Receiver
    {
    public:
        virtual ~Receiver() = default;
        virtual bool partBegin(const Part &part) = 0;
        virtual bool partData(const char *data, size_t length) = 0;
        virtual bool partEnd() = 0;
    };

    // The headers of one part may not be longer than this.
    static const size_t maxHeaderBytes = 16 * 1024;

    MultipartParser(const std::string &boundary, Receiver &receiver);

    // The next piece of the body. False when the body is malformed or the
    // receiver stopped; the parser then takes nothing more.
    bool feed(const char *data, size_t length);
    // True once the closing delimiter ("--boundary--") was read.
    bool finished() const { return state == State::Done; }
    // Bytes at the end of the last piece that may begin a delimiter: not
    // handed on yet, they go before the next piece's bytes if they do not.
    size_t heldBack() const { return carry.size(); }

    // The boundary parameter of a Content-Type; empty when there is none or it
    // is not a usable boundary (1 to 70 characters).
    static std::string boundaryOf(const std::string &contentType);

private:
    enum class State { Body, Delimiter, Dash, Padding, LineFeed, Headers, Done, Failed };

    size_t scanBody(const char *data, size_t length);
    size_t scanHeaders(const char *data, size_t length);
    bool step(char c);
    bool emit(const char *data, size_t length);
    bool parseHeaders(Part &part) const;
    bool fail();

    const std::string delimiter; // CRLF "--" boundary
    Receiver &receiver;
    State state = State::Body;
    bool inPart = false; // false before the first delimiter: the preamble is dropped
    std::string carry;   // bytes at the end of the last piece that may begin a delimiter
    std::string headers;
};
