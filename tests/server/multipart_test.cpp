// The streaming multipart parser on its own: bodies cut at every size,
// boundary-like bytes inside a file, a missing closing delimiter, oversized
// part headers and a receiver that stops.

#include "http/multipartparser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string boundary = "----folvaneBoundary7MA4YWxk";

struct Recorded : MultipartParser::Receiver
{
    struct Part
    {
        std::string name, fileName, type, data;
        bool ended = false;
    };
    std::vector<Part> parts;
    size_t stopAfterBytes = std::string::npos;
    size_t bytes = 0;

    bool partBegin(const MultipartParser::Part &p) override
    {
        parts.push_back(Part{p.name, p.fileName, p.contentType, std::string()});
        return true;
    }
    bool partData(const char *data, size_t length) override
    {
        parts.back().data.append(data, length);
        bytes += length;
        return bytes <= stopAfterBytes;
    }
    bool partEnd() override
    {
        parts.back().ended = true;
        return true;
    }
};

std::string part(const std::string &name, const std::string &value,
                 const std::string &fileName = std::string())
{
    std::string head =
        "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"";
    if (!fileName.empty())
        head += "; filename=\"" + fileName + "\"\r\nContent-Type: application/octet-stream";
    return head + "\r\n\r\n" + value + "\r\n";
}

// Feeds `body` in pieces of `piece` bytes; true when every piece was taken.
bool feedInPieces(MultipartParser &parser, const std::string &body, size_t piece)
{
    for (size_t at = 0; at < body.size(); at += piece)
        if (!parser.feed(body.data() + at, std::min(piece, body.size() - at)))
            return false;
    return true;
}

} // namespace

TEST(Multipart, AnyCutOfTheBodyGivesTheSameParts)
{
    // File bytes that look like the delimiter without being it.
    std::string file = "start\r\n--" + boundary.substr(0, boundary.size() - 1) + "\r\nx--" +
                       boundary + " not after a line break\r\n-" + boundary + "\r\n\r\n--" +
                       "----FOLVANEBOUNDARY7MA4YWXK\r\r\n\r\n-- end\r\n";
    std::string body = "a preamble that is ignored\r\n" + part("token", "abc") + part("pid", "") +
                       part("file", file, "名单 a\\b.txt") + "--" + boundary + "--\r\nan epilogue";
    for (size_t piece = 1; piece <= body.size(); ++piece) {
        Recorded r;
        MultipartParser parser(boundary, r);
        ASSERT_TRUE(feedInPieces(parser, body, piece)) << piece;
        ASSERT_TRUE(parser.finished()) << piece;
        ASSERT_EQ(r.parts.size(), 3u) << piece;
        EXPECT_EQ(r.parts[0].name, "token");
        EXPECT_EQ(r.parts[0].data, "abc");
        EXPECT_EQ(r.parts[1].data, "");
        EXPECT_EQ(r.parts[2].fileName, "名单 a\\b.txt");
        EXPECT_EQ(r.parts[2].type, "application/octet-stream");
        ASSERT_EQ(r.parts[2].data, file) << piece;
        for (const auto &p : r.parts)
            EXPECT_TRUE(p.ended);
    }
}

TEST(Multipart, BrokenBodiesAreRefused)
{
    // The closing delimiter never comes: every part may be read, but the
    // body is not finished.
    {
        Recorded r;
        MultipartParser parser(boundary, r);
        std::string body = part("token", "abc") + part("file", "cut short", "a.txt");
        body.resize(body.size() - 5);
        EXPECT_TRUE(feedInPieces(parser, body, 7));
        EXPECT_FALSE(parser.finished());
    }
    // Part headers without end are refused once they pass the limit, long
    // before the body would end.
    {
        Recorded r;
        MultipartParser parser(boundary, r);
        std::string body = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"x\"\r\n" +
                           "X-Long: " + std::string(1 << 20, 'h');
        EXPECT_FALSE(feedInPieces(parser, body, 4096));
        EXPECT_TRUE(r.parts.empty());
    }
    const std::string broken[] = {
        // a part without headers
        "--" + boundary + "\r\n\r\nvalue\r\n--" + boundary + "--\r\n",
        // a header line without a colon, and one that is not form-data
        "--" + boundary + "\r\nnot a header\r\n\r\nx\r\n--" + boundary + "--\r\n",
        "--" + boundary + "\r\nContent-Disposition: attachment; name=\"a\"\r\n\r\nx\r\n--" +
            boundary + "--\r\n",
        // the delimiter followed by something other than a line break or "--"
        part("a", "x") + "--" + boundary + "junk\r\n",
    };
    for (const std::string &body : broken) {
        Recorded r;
        MultipartParser parser(boundary, r);
        EXPECT_FALSE(feedInPieces(parser, body, 3) && parser.finished()) << body;
    }
    // A receiver that stops ends the parse.
    Recorded r;
    r.stopAfterBytes = 10;
    MultipartParser parser(boundary, r);
    EXPECT_FALSE(parser.feed(part("file", std::string(100, 'z'), "z.bin").data(), 200));
}

TEST(Multipart, BoundaryComesFromTheContentType)
{
    EXPECT_EQ(MultipartParser::boundaryOf("multipart/form-data; boundary=abc"), "abc");
    EXPECT_EQ(MultipartParser::boundaryOf("multipart/form-data; charset=utf-8; BOUNDARY=\"a b\""),
              "a b");
    EXPECT_EQ(MultipartParser::boundaryOf("multipart/form-data"), "");
    EXPECT_EQ(MultipartParser::boundaryOf("multipart/form-data; boundary="), "");
    EXPECT_EQ(MultipartParser::boundaryOf("multipart/form-data; boundary=" + std::string(71, 'b')),
              "");
}
