#include "http/formparser.h"

#include "store/blobstore.h"

#include <cstdlib>

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isMultipart(const std::string &contentType)
{
    static const std::string prefix = "multipart/form-data";
    if (contentType.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(contentType[i])) != prefix[i])
            return false;
    return true;
}

} // namespace

std::string percentDecode(const std::string &text, bool plusIsBlank)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+' && plusIsBlank) {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

void parseUrlEncoded(const std::string &body, Fields &out)
{
    size_t start = 0;
    while (start < body.size()) {
        size_t amp = body.find('&', start);
        if (amp == std::string::npos)
            amp = body.size();
        std::string pair = body.substr(start, amp - start);
        if (!pair.empty()) {
            size_t eq = pair.find('=');
            std::string key = percentDecode(pair.substr(0, eq), true);
            std::string value =
                eq == std::string::npos ? std::string() : percentDecode(pair.substr(eq + 1), true);
            out[key] = value;
        }
        start = amp + 1;
    }
}

void splitTarget(const std::string &target, std::string &path, Fields &query)
{
    size_t question = target.find('?');
    path = percentDecode(target.substr(0, question), false);
    if (question != std::string::npos)
        parseUrlEncoded(target.substr(question + 1), query);
}

FormParser::FormParser(const HttpRequest &request, const BlobStore *blobs, FileGate gate)
    : fields(request.query), blobs(blobs), gate(std::move(gate))
{
    // A token belongs in the body: a URL ends up in logs and histories.
    fields.erase("token");
    declaredLength = std::strtoll(request.header("Content-Length").c_str(), nullptr, 10);
    std::string type = request.header("Content-Type");
    if (isMultipart(type)) {
        std::string boundary = MultipartParser::boundaryOf(type);
        if (boundary.empty())
            broken = true;
        else
            multipart = std::make_unique<MultipartParser>(
                boundary, static_cast<MultipartParser::Receiver &>(*this));
    }
}

FormParser::~FormParser() = default;

bool FormParser::feed(const char *data, size_t length)
{
    if (broken)
        return false;
    if (!multipart) {
        if (text.size() + length > maxFieldsBytes) {
            broken = true;
            return false;
        }
        text.append(data, length);
        return true;
    }
    if (!multipart->feed(data, length)) {
        broken = true;
        return false;
    }
    return true;
}

char *FormParser::space(size_t &length)
{
    length = 0;
    if (part != Part::File || !writer || !multipart || broken)
        return nullptr;
    // The bytes the parser holds back come first when they turn out to be
    // file data: the next piece goes right after their place.
    return writer->space(multipart->heldBack(), length);
}

bool FormParser::finish(bool complete)
{
    if (!complete || broken)
        return false;
    if (!multipart) {
        parseUrlEncoded(text, fields);
        text.clear();
        return true;
    }
    if (!multipart->finished())
        return false;
    if (writer) {
        if (!writer->finish())
            return false;
        file = std::move(writer);
        fileName = writerName;
    }
    return true;
}

bool FormParser::partBegin(const MultipartParser::Part &header)
{
    if (header.fileName.empty()) {
        part = Part::Field;
        name = header.name;
        value.clear();
        return true;
    }
    if (!blobs || writer) {
        part = Part::Dropped;
        return true;
    }
    if (gate && !gate(fields)) {
        stoppedByGate = true;
        return false;
    }
    if (declaredLength > blobs->room()) {
        tooLarge = true;
        return false;
    }
    writer = blobs->newWriter();
    writerName = header.fileName;
    part = Part::File;
    return true;
}

bool FormParser::diskFull() const
{
    return tooLarge || (writer && writer->diskFull());
}

bool FormParser::partData(const char *data, size_t length)
{
    switch (part) {
    case Part::Field:
        fieldBytes += length;
        if (fieldBytes > maxFieldsBytes)
            return false;
        value.append(data, length);
        return true;
    case Part::File:
        return writer->write(data, length);
    default:
        return true;
    }
}

bool FormParser::partEnd()
{
    if (part == Part::Field)
        fields[name] = value;
    part = Part::None;
    value.clear();
    return true;
}
