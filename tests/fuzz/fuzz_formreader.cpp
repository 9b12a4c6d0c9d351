// The server's form reader: the query string, then a form-encoded or
// multipart body, as a route reads it. The input is the Content-Type line, the
// request target and the body, fed in pieces of the size its first byte
// chooses. A file part goes to a blob store in a temporary folder and only
// when the fields before it name the token; a form-encoded body must read the
// same whole or in pieces.

#include "serverfuzz.h"

#include "http/formparser.h"
#include "store/blobstore.h"
#include "store/blobwriter.h"

#include <cstdint>
#include <string>

namespace {

struct Read
{
    Fields fields;
    bool ok = false;
    bool file = false;
};

Read read(const HttpRequest &request, const BlobStore &blobs, const std::string &body, size_t piece)
{
    FormParser form(request, &blobs, [](const Fields &fields) {
        auto token = fields.find("token");
        return token != fields.end() && token->second == "t0k3n";
    });
    bool going = true;
    for (size_t at = 0; at < body.size() && going; at += piece)
        going = form.feed(body.data() + at, std::min(piece, body.size() - at));
    Read out;
    out.ok = form.finish(going);
    out.fields = form.fields;
    if (form.file) {
        check(out.ok, "a stored file only from a usable form");
        check(form.file->md5().size() == 32, "a stored file has its MD5");
        out.file = true;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static FuzzFolder folder("folvane-fuzz-blobs");
    static BlobStore blobs(folder.path());
    if (size < 1)
        return 0;
    const size_t piece = 1 + data[0] % 64;
    const std::string input(reinterpret_cast<const char *>(data) + 1, size - 1);
    size_t at = 0;
    HttpRequest request;
    request.method = "POST";
    request.headers.emplace_back("Content-Type", inputLine(input, at));
    request.target = inputLine(input, at);
    splitTarget(request.target, request.path, request.query);
    const std::string body = input.substr(at);

    const Read whole = read(request, blobs, body, body.size() + 1);
    const Read pieces = read(request, blobs, body, piece);
    check(whole.ok == pieces.ok, "same outcome");
    if (whole.ok)
        check(whole.fields == pieces.fields && whole.file == pieces.file, "same form");
    return 0;
}
