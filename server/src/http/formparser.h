#pragma once

#include "http/httpmessage.h"
#include "http/multipartparser.h"

#include <functional>
#include <memory>
#include <string>

class BlobStore;
class BlobWriter;

// Reads a request body, form-encoded or multipart, piece by piece as it
// arrives, so that a file part streams into a BlobWriter and never sits in
// memory. Field values are capped; an oversized or malformed body is
// reported as unusable instead of being stored.
class FormParser : private MultipartParser::Receiver
{
public:
    static const size_t maxFieldsBytes = 1 << 20;

    // Called when a file part begins, with the fields read so far; returning
    // false stops reading (for example when the token is already known bad).
    using FileGate = std::function<bool(const Fields &)>;

    // Fields of the query string count too, except `token`; the body wins
    // on a clash. With
    // `blobs`, the first file part is stored; other file parts are dropped.
    FormParser(const HttpRequest &request, const BlobStore *blobs, FileGate gate);
    ~FormParser() override;

    // The next piece of the body; false stops reading.
    bool feed(const char *data, size_t length);
    // While a file part streams in: room in the file's buffer where the next
    // piece may be read (see HttpExchange::bodySpace); null otherwise.
    char *space(size_t &length);
    // After the last piece (`complete` false when the body was cut): true when
    // the whole form was read and is usable.
    bool finish(bool complete);

    Fields fields;
    std::unique_ptr<BlobWriter> file; // finished, when a file part was stored
    std::string fileName;
    bool stoppedByGate = false;
    // The file did not fit on the disk (beside the space kept for the
    // database), whether its announced length told so or its bytes did.
    bool diskFull() const;

private:
    enum class Part { None, Field, File, Dropped };

    bool partBegin(const MultipartParser::Part &part) override;
    bool partData(const char *data, size_t length) override;
    bool partEnd() override;

    const BlobStore *blobs;
    FileGate gate;
    std::unique_ptr<MultipartParser> multipart; // null for a form-encoded body
    std::string text;                           // the form-encoded body
    Part part = Part::None;
    std::string name, value;
    size_t fieldBytes = 0;
    bool broken = false;
    bool tooLarge = false;
    int64_t declaredLength = 0; // the body's Content-Length, 0 when not given
    std::unique_ptr<BlobWriter> writer;
    std::string writerName;
};

// Splits a request target into its decoded path and the fields of its query.
void splitTarget(const std::string &target, std::string &path, Fields &query);
// Decodes application/x-www-form-urlencoded text into `out`.
void parseUrlEncoded(const std::string &body, Fields &out);
// Decodes %XX escapes (and '+' as a blank when `plusIsBlank`).
std::string percentDecode(const std::string &text, bool plusIsBlank);
