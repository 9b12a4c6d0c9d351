#include "apiclient.h"

ApiClient::ApiClient(int port) : http("127.0.0.1", port)
{
    http.set_read_timeout(120);
    http.set_write_timeout(120);
}

ApiClient::ApiClient(const std::string &schemeHostPort, const std::string &caFile)
    : http(schemeHostPort)
{
    http.set_read_timeout(120);
    http.set_write_timeout(120);
    http.set_ca_cert_path(caFile.c_str());
    http.enable_server_certificate_verification(true);
}

nlohmann::json ApiClient::post(const std::string &path, const Form &form)
{
    httplib::Params params;
    for (const auto &f : form)
        params.emplace(f.first, f.second);
    auto res = http.Post(path.c_str(), params);
    if (!res)
        return nlohmann::json();
    return nlohmann::json::parse(res->body, nullptr, false);
}

nlohmann::json ApiClient::login(const std::string &account, const std::string &password)
{
    nlohmann::json reply =
        post("/api/user/login.jf",
             {{"username", account}, {"password", password}, {"mac", ""}, {"ip", ""}});
    if (reply.is_object() && reply.value("code", -1) == 0) {
        token = reply["data"]["token"].get<std::string>();
        userId = reply["data"]["userId"].get<std::string>();
    }
    return reply;
}

nlohmann::json ApiClient::call(const std::string &path, Form form)
{
    form["token"] = token;
    return post(path, form);
}

httplib::Result ApiClient::download(const std::string &path, Form form)
{
    form["token"] = token;
    httplib::Params params;
    for (const auto &f : form)
        params.emplace(f.first, f.second);
    return http.Post(path.c_str(), params);
}

nlohmann::json ApiClient::upload(const std::string &path, Form form, const std::string &fileName,
                                 const std::string &content)
{
    form["token"] = token;
    httplib::MultipartFormDataItems items;
    for (const auto &f : form)
        items.push_back({f.first, f.second, "", ""});
    items.push_back({"file", content, fileName, "application/octet-stream"});
    auto res = http.Post(path.c_str(), items);
    if (!res)
        return nlohmann::json();
    return nlohmann::json::parse(res->body, nullptr, false);
}

nlohmann::json ApiClient::list(const std::string &parentId, bool netDisk)
{
    if (netDisk)
        return call("/api/netdisk/list.jf", {{"parentId", parentId}, {"pageSize", "1000"}});
    return call("/api/file/list-file.jf", {{"parentId", parentId}});
}

std::string ApiClient::idOf(const std::string &parentId, const std::string &name, bool netDisk)
{
    nlohmann::json e = find(parentId, name, netDisk);
    return e.is_object() ? e["fileId"].get<std::string>() : std::string();
}

nlohmann::json ApiClient::find(const std::string &parentId, const std::string &name, bool netDisk)
{
    nlohmann::json reply = list(parentId, netDisk);
    if (reply.is_object() && reply["data"].is_array())
        for (const auto &e : reply["data"])
            if (e.value("fileName", "") == name)
                return e;
    return nlohmann::json();
}
