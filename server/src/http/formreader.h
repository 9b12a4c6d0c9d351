#pragma once

#include <httplib.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

class BlobStore;
class BlobWriter;

using Fields = std::map<std::string, std::string>;

// Reads a request body, form-encoded or multipart, through cpp-httplib's
// content reader, so that a file part streams into a BlobWriter and never sits
// in memory. Field values are capped; an oversized or malformed body is
// reported as unusable instead of being stored.
class FormReader
{
public:
    static const size_t maxFieldsBytes = 1 << 20;

    // Called when a file part begins, with the fields read so far; returning
    // false stops reading (for example when the token is already known bad).
    using FileGate = std::function<bool(const Fields &)>;

    FormReader(const httplib::Request &request, const httplib::ContentReader &reader);

    // Reads the whole body. With `blobs`, the first file part is stored;
    // other file parts are read and dropped.
    bool read(const BlobStore *blobs, const FileGate &gate);

    Fields fields;
    std::unique_ptr<BlobWriter> file; // finished, when a file part was stored
    std::string fileName;
    bool stoppedByGate = false;

private:
    bool readMultipart(const BlobStore *blobs, const FileGate &gate);
    bool readUrlEncoded();

    const httplib::Request &request;
    const httplib::ContentReader &reader;
};

// Decodes application/x-www-form-urlencoded text into `out`.
void parseUrlEncoded(const std::string &body, Fields &out);
