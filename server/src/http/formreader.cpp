#include "http/formreader.h"

#include "store/blobstore.h"

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

std::string decode(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

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
            std::string key = decode(pair.substr(0, eq));
            std::string value = eq == std::string::npos ? std::string() : decode(pair.substr(eq + 1));
            out[key] = value;
        }
        start = amp + 1;
    }
}

FormReader::FormReader(const httplib::Request &request, const httplib::ContentReader &reader)
    : request(request), reader(reader)
{
    // Fields in the query string count too; the body wins on a clash.
    for (const auto &p : request.params)
        fields[p.first] = p.second;
}

bool FormReader::read(const BlobStore *blobs, const FileGate &gate)
{
    if (request.is_multipart_form_data())
        return readMultipart(blobs, gate);
    return readUrlEncoded();
}

bool FormReader::readUrlEncoded()
{
    std::string body;
    bool tooLarge = false;
    bool ok = reader([&](const char *data, size_t length) {
        if (body.size() + length > maxFieldsBytes) {
            tooLarge = true;
            return false;
        }
        body.append(data, length);
        return true;
    });
    if (!ok || tooLarge)
        return false;
    parseUrlEncoded(body, fields);
    return true;
}

bool FormReader::readMultipart(const BlobStore *blobs, const FileGate &gate)
{
    enum class Part { None, Field, File, Dropped };
    Part part = Part::None;
    std::string name, value;
    size_t fieldBytes = 0;
    bool failed = false;
    std::unique_ptr<BlobWriter> writer;
    std::string writerName;

    auto endPart = [&]() {
        if (part == Part::Field)
            fields[name] = value;
        part = Part::None;
        value.clear();
    };

    bool ok = reader(
        [&](const httplib::MultipartFormData &header) {
            endPart();
            if (header.filename.empty()) {
                part = Part::Field;
                name = header.name;
                return true;
            }
            if (!blobs || writer || file) {
                part = Part::Dropped;
                return true;
            }
            if (gate && !gate(fields)) {
                stoppedByGate = true;
                return false;
            }
            writer = blobs->newWriter();
            writerName = header.filename;
            part = Part::File;
            return true;
        },
        [&](const char *data, size_t length) {
            switch (part) {
            case Part::Field:
                fieldBytes += length;
                if (fieldBytes > maxFieldsBytes) {
                    failed = true;
                    return false;
                }
                value.append(data, length);
                return true;
            case Part::File:
                if (!writer->write(data, length)) {
                    failed = true;
                    return false;
                }
                return true;
            default:
                return true;
            }
        });
    endPart();
    if (!ok || failed)
        return false;
    if (writer) {
        if (!writer->finish())
            return false;
        file = std::move(writer);
        fileName = writerName;
    }
    return true;
}
