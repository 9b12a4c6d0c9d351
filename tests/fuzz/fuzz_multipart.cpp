// The server's multipart/form-data parser. The input is a Content-Type line
// and a body; the body is parsed once whole and once in pieces of the sizes
// the input's first byte chooses. Where a delimiter falls in the pieces must
// not change what is read: both runs give the same parts, bytes and outcome
// (of a body cut short, the bytes read so far agree).

#include "serverfuzz.h"

#include "http/multipartparser.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Recorder : MultipartParser::Receiver
{
    std::vector<MultipartParser::Part> parts;
    std::vector<std::string> bodies;
    int ends = 0;

    bool partBegin(const MultipartParser::Part &part) override
    {
        parts.push_back(part);
        bodies.emplace_back();
        return true;
    }
    bool partData(const char *data, size_t length) override
    {
        if (bodies.empty())
            std::abort(); // bytes outside any part
        bodies.back().append(data, length);
        return true;
    }
    bool partEnd() override
    {
        ++ends;
        return true;
    }
};

struct Run
{
    Recorder recorder;
    bool ok = true;
    bool finished = false;
};

void parse(const std::string &boundary, const std::string &body, size_t piece, Run &run)
{
    MultipartParser parser(boundary, run.recorder);
    for (size_t at = 0; at < body.size() && run.ok; at += piece)
        run.ok = parser.feed(body.data() + at, std::min(piece, body.size() - at));
    run.finished = parser.finished();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t piece = 1 + data[0] % 64;
    const std::string input(reinterpret_cast<const char *>(data) + 1, size - 1);
    const size_t eol = input.find('\n');
    const std::string type = input.substr(0, eol);
    const std::string body = eol == std::string::npos ? std::string() : input.substr(eol + 1);
    const std::string boundary = MultipartParser::boundaryOf(type);
    if (boundary.empty())
        return 0;
    check(boundary.size() <= 70, "boundary of 70 characters at most");

    Run whole, pieces;
    parse(boundary, body, body.size() + 1, whole);
    parse(boundary, body, piece, pieces);
    check(whole.ok == pieces.ok, "same outcome");
    check(whole.finished == pieces.finished, "same end");
    if (!whole.ok)
        return 0;
    check(whole.recorder.parts.size() == pieces.recorder.parts.size(), "same number of parts");
    for (size_t i = 0; i < whole.recorder.parts.size(); ++i) {
        const MultipartParser::Part &a = whole.recorder.parts[i];
        const MultipartParser::Part &b = pieces.recorder.parts[i];
        check(a.name == b.name && a.fileName == b.fileName && a.contentType == b.contentType,
              "same part headers");
        // Until the body is complete, the last part's bytes that may still
        // begin a delimiter are held back, more or fewer depending on the
        // pieces; everything else is the same.
        const std::string &x = whole.recorder.bodies[i];
        const std::string &y = pieces.recorder.bodies[i];
        if (whole.finished || i + 1 < whole.recorder.parts.size())
            check(x == y, "same part bytes");
        else
            check(x.compare(0, y.size(), y) == 0 || y.compare(0, x.size(), x) == 0,
                  "the same bytes so far");
        // A part's bytes never hold the delimiter that ends it.
        check(whole.recorder.bodies[i].find("\r\n--" + boundary) == std::string::npos,
              "no delimiter inside a part");
    }
    check(whole.recorder.ends == pieces.recorder.ends, "same number of part ends");
    if (whole.finished)
        check(size_t(whole.recorder.ends) == whole.recorder.parts.size(), "every part ended");
    return 0;
}
