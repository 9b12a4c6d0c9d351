#pragma once

#include "http/formparser.h"
#include "http/httpserver.h"

#include <functional>

// The exchange of a route that takes a form: the body streams into a
// FormParser as it arrives, then `answer` fills the response with the fields
// (and the stored file of an upload). `ok` is false when the body was cut,
// malformed or too large, or the gate stopped it.
class FormExchange : public HttpExchange
{
public:
    using Answer = std::function<void(const HttpRequest &, FormParser &, bool ok, HttpResponse &)>;
    // Called when a file part begins; false stops reading the body.
    using Gate = std::function<bool(const HttpRequest &, const Fields &)>;

    FormExchange(const HttpRequest &request, const BlobStore *blobs, const Gate &gate,
                 const Answer &answer);

    bool body(const char *data, size_t length) override;
    char *bodySpace(size_t &length) override;
    void respond(HttpResponse &res, bool complete) override;

    // A route of such exchanges; file parts are stored in `blobs` when given.
    static HttpServer::Route route(Answer answer, const BlobStore *blobs = nullptr,
                                   Gate gate = nullptr);

private:
    HttpRequest request;
    FormParser form;
    const Answer &answer;
};
