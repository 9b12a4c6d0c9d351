#pragma once

#include "service/session.h"

#include <nlohmann/json.hpp>

#include <string>

class FileService;
class Store;

// The personal desktop's own lists: favourite categories and favourites,
// subscribed folders, the caller's most used and latest files, and the
// announcements. Every file listed is one the caller may see.
class DeskService
{
public:
    static constexpr int maxLimit = 200;

    DeskService(Store &store, FileService &files);

    nlohmann::json favouriteCategories(const Session &s);
    void addFavourite(const Session &s, const std::string &fileId, const std::string &categoryId);
    nlohmann::json favourites(const Session &s);
    // Recent files in the folders the caller subscribed to, newest first.
    nlohmann::json subscriptions(const Session &s);
    // type "1": the files the caller opened most; "2": the latest files.
    nlohmann::json myFiles(const Session &s, const std::string &type, const std::string &limit);

    // Announcements, newest first; one announcement by id.
    nlohmann::json notices();
    nlohmann::json notice(const std::string &id);

private:
    Store &store;
    FileService &files;
};
