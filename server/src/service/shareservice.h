#pragma once

#include "service/session.h"
#include "store/records.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

class FileService;
class Rights;
class Store;

// The form of a publication's period: "dayCountType" 1 a week, 2 a month,
// 3 "dayCount" days, 4 "startTime" to "endTime" (dates, both days included).
struct PublishPeriod
{
    std::string dayCountType;
    std::string dayCount;
    std::string startTime;
    std::string endTime;
};

// Everything that hands rights to colleagues: shares of library items and of
// net disk items, publications for a period, and permissions. Recipients are
// "U<id>" and "G<id>"; a group reaches its members and those of its
// subgroups. Each request is one transaction: a bad item or recipient stores
// nothing. Rights granted here are grants like any other, so every listing
// and check of the file rules follows them at once and drops them at expiry.
// Also the lists of what was shared or published by and to the caller.
class ShareService
{
public:
    ShareService(Store &store, FileService &files);

    void share(const Session &s, const std::string &fileIds, const std::string &userList,
               const std::string &authList, const std::string &memo);
    void netDiskShare(const Session &s, const std::string &fileIds, const std::string &userList,
                      const std::string &shareAuth, const std::string &invalidate,
                      const std::string &memo);
    void publish(const Session &s, const std::string &fileIds, const std::string &userList,
                 const std::string &authList, const PublishPeriod &period);
    void auth(const Session &s, const std::string &fileIds, const std::string &userList,
              const std::string &authList, const std::string &appRange);

    // The library's "-8" (items the caller shared) and "-9" (items shared
    // with the caller) folders, as listing entries.
    nlohmann::json sharedFolder(const Session &s, const std::string &folderId);
    // "我分享的", "我发布的", "我共享的": the caller's shares of a kind in force.
    nlohmann::json sentList(const Session &s, const std::string &kind);
    // "分享给我的", "发布给我的", "共享给我的".
    nlohmann::json receivedList(const Session &s, const std::string &kind);

private:
    std::vector<Recipient> recipients(const std::string &userList);
    std::vector<Item> items(const Session &s, Rights &rights, const std::string &fileIds,
                            bool netDisk, const char *required);
    void save(const Session &s, const std::string &kind, const std::vector<Item> &items,
              const std::vector<Recipient> &to, const std::string &letters, const std::string &memo,
              int64_t startsAt, int64_t expiresAt);
    nlohmann::json record(const Session &s, Rights &rights, const Share &share);
    nlohmann::json shareList(const Session &s, const std::string &kind, bool sent);

    Store &store;
    FileService &files;
};
