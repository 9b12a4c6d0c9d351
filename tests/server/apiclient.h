#pragma once

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <map>
#include <string>

// A small client of the server's interface for the tests, over cpp-httplib:
// form posts answered with JSON, downloads and multipart uploads.
class ApiClient
{
public:
    using Form = std::map<std::string, std::string>;

    explicit ApiClient(int port);
    // A client of "https://host:port" that trusts the CA certificates of the
    // PEM file `caFile` (and verifies the server's name against them).
    ApiClient(const std::string &schemeHostPort, const std::string &caFile);

    // Posts a form; the reply parsed as JSON (a null value when it is not).
    nlohmann::json post(const std::string &path, const Form &form);
    // Signs in and keeps the token for later calls; returns the reply.
    nlohmann::json login(const std::string &account, const std::string &password);
    // Like post() with the kept token added.
    nlohmann::json call(const std::string &path, Form form = Form());
    // Raw reply of a download (body and status).
    httplib::Result download(const std::string &path, Form form);
    // Multipart upload of `content` as part "file" named `fileName`.
    nlohmann::json upload(const std::string &path, Form form, const std::string &fileName,
                          const std::string &content);

    // The listing of a library or net disk folder, and one entry of it by name.
    nlohmann::json list(const std::string &parentId, bool netDisk = false);
    nlohmann::json find(const std::string &parentId, const std::string &name, bool netDisk = false);

    // The id of an entry of a folder by name; empty when it is not listed.
    std::string idOf(const std::string &parentId, const std::string &name, bool netDisk = false);

    std::string token;
    std::string userId;
    httplib::Client http;
};
