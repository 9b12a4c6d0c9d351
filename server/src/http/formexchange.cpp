#include "http/formexchange.h"

FormExchange::FormExchange(const HttpRequest &request, const BlobStore *blobs, const Gate &gate,
                           const Answer &answer)
    : request(request), form(this->request, blobs,
                             gate ? FormParser::FileGate([this, &gate](const Fields &fields) {
                                 return gate(this->request, fields);
                             })
                                  : FormParser::FileGate()),
      answer(answer)
{
}

bool FormExchange::body(const char *data, size_t length)
{
    return form.feed(data, length);
}

char *FormExchange::bodySpace(size_t &length)
{
    return form.space(length);
}

void FormExchange::respond(HttpResponse &res, bool complete)
{
    bool ok = form.finish(complete);
    answer(request, form, ok, res);
}

HttpServer::Route FormExchange::route(Answer answer, const BlobStore *blobs, Gate gate)
{
    // The route outlives every exchange it makes, so they refer to its copies.
    auto shared =
        std::make_shared<const std::pair<Answer, Gate>>(std::move(answer), std::move(gate));
    return [shared, blobs](const HttpRequest &request) -> std::unique_ptr<HttpExchange> {
        return std::make_unique<FormExchange>(request, blobs, shared->second, shared->first);
    };
}
