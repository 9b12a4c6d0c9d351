#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

class BlobStore;
class Store;

// The demo data set of `--seed demo`: an administrator and users in nested
// groups, a library tree three levels deep with files of many types (some
// with several versions, one locked, some folders hidden or read-only for
// most users), Chinese text documents for the search, a net disk per user,
// announcements, favourite categories and favourites, subscriptions, use
// counts, and shares, net disk shares and publications between the users in
// both directions. It runs only on an empty data folder.
class DemoSeed
{
public:
    DemoSeed(Store &store, BlobStore &blobs);

    // Builds the data set unless the store already has users; prints the
    // demo accounts to `out`. Returns false when it was skipped.
    bool run(std::ostream &out);

private:
    std::string user(const std::string &account, const std::string &nickname,
                     const std::string &password, bool admin, const std::string &groupId);
    std::string group(const std::string &name, const std::string &parentId, int sort);
    std::string folder(const std::string &space, const std::string &parentId,
                       const std::string &name, const std::string &creator, int daysAgo);
    struct Revision
    {
        std::string content;
        std::string memo;
    };
    std::string file(const std::string &space, const std::string &parentId, const std::string &name,
                     const std::string &creator, int daysAgo,
                     const std::vector<Revision> &revisions);
    void notice(const std::string &title, const std::string &content, int daysAgo);
    std::string category(const std::string &userId, const std::string &name, int sort);
    void favourite(const std::string &userId, const std::string &itemId,
                   const std::string &categoryId, int daysAgo);
    // A share, net disk share or publication sent `daysAgo`, ending in
    // `daysLeft` days (0: never), with its grants.
    void share(const std::string &kind, const std::string &sender,
               const std::vector<std::string> &items,
               const std::vector<std::pair<std::string, std::string>> &recipients,
               const std::string &letters, const std::string &memo, int daysAgo, int daysLeft);
    void grant(const std::string &itemId, const std::string &kind, const std::string &principal,
               const std::string &letters, int range);

    Store &store;
    BlobStore &blobs;
    int64_t now;
};
