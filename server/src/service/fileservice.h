#pragma once

#include "service/session.h"
#include "store/records.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

class BlobStore;
class BlobWriter;
class Rights;
class SearchService;
class Store;

// The two file areas: the company library, governed by rights letters, and
// each user's private net disk.
enum class Area { Library, NetDisk };

// A stored file body ready to be streamed.
struct FileRef
{
    std::string path;
    int64_t size = 0;
    std::string name;
};

// The rules of folders, files, versions and locks in both areas. Every call
// checks the caller's rights; a call that writes runs as one unit under the
// store's writer lock (reads never wait), and changes that touch several rows
// are transactions.
class FileService
{
public:
    static const int64_t lockLifetimeMs = 24LL * 3600 * 1000;

    FileService(Store &store, BlobStore &blobs, SearchService &search);

    // Folder list of an area. For the library a usable date asks for the
    // folders changed since then, and those whose rights changed for the
    // caller since then: newly visible ones (or with other letters) come in
    // the list, removed and newly hidden ones go into `removes`.
    nlohmann::json listDir(const Session &s, Area area, const std::string &date,
                           nlohmann::json &removes);
    // The listing entries of a folder, as the text of a JSON array.
    std::string listFile(const Session &s, Area area, const std::string &parentId);
    // Renames an item of either area (the client uses one path for both).
    void rename(const Session &s, const std::string &fileId, const std::string &name);
    void remove(const Session &s, Area area, const std::string &fileIds);
    std::string md5(const Session &s, Area area, const std::string &fileId);
    // `countUse` adds the download to the caller's most used files.
    FileRef download(const Session &s, Area area, const std::string &fileIds, bool countUse = true);
    // Stores an uploaded body (already written to `body`) as a new file, or as
    // a new version of the file it replaces. Returns the file's listing entry.
    nlohmann::json upload(const Session &s, Area area, const std::string &parentId,
                          const std::string &uploadType, const std::string &fileId,
                          const std::string &fileName, BlobWriter &body);
    // Stores an uploaded body as a new file under a free name (never a new
    // version of an existing file).
    nlohmann::json uploadNew(const Session &s, Area area, const std::string &parentId,
                             const std::string &fileName, BlobWriter &body);
    nlohmann::json saveUpdate(const Session &s, Area area, const std::string &fileId,
                              const std::string &memo, bool newVersion, BlobWriter &body);
    void lock(const Session &s, const std::string &fileId, const std::string &type);
    nlohmann::json versionList(const Session &s, const std::string &fileId);
    FileRef versionDownload(const Session &s, const std::string &versionId);
    // Deep copy into a library folder; sources are library items or items of
    // the caller's own net disk.
    void copy(const Session &s, const std::string &targetId, const std::string &sourceIds,
              bool netDiskSourcesOnly);
    void move(const Session &s, Area area, const std::string &targetId,
              const std::string &sourceIds);
    std::string saveFold(const Session &s, Area area, const std::string &parentId,
                         const std::string &name);

    // Removes stored contents that no version refers to (the database is the
    // truth): what a stop in the middle of a delete's clean-up or of an
    // upload left behind. Runs beside serving: each removal checks again under
    // the writer lock, under which uploads place their contents and commit.
    // Ends early when `stop` is set. Returns how many went.
    size_t sweepContents(const std::atomic<bool> &stop);

    // Builds a listing entry; public for the demo seed and for later lists.
    nlohmann::json entry(const Item &item, const std::string &letters);
    // The same entry appended to `out` as JSON text (the one place that says
    // what an entry holds).
    static void appendEntry(std::string &out, const Item &item, const std::string &letters,
                            const Lock *lock = nullptr);

private:
    struct Folder
    {
        std::string id; // "0" for the top
        std::string space;
        std::string letters;
        std::vector<std::string> chain; // the folder and its ancestors, nearest first
    };

    std::string spaceOf(const Session &s, Area area) const;
    // An item of the area; with `sharedToo` also an item of another user's
    // net disk that a net disk share lets the caller see.
    Item load(const Session &s, Area area, const std::string &id, bool sharedToo = false);
    Folder folder(const Session &s, Area area, Rights &rights, const std::string &id,
                  bool sharedToo = false);
    std::string lettersOn(Area area, Rights &rights, const Item &item);
    std::optional<Lock> activeLock(const std::string &itemId, int64_t now);
    void refuseIfLockedByOther(const Session &s, const Item &item, int64_t now, const char *what);
    std::string freeName(const std::string &space, const std::string &parentId,
                         const std::string &name);
    std::string checkedName(const std::string &raw);
    nlohmann::json storeNewVersion(const Session &s, Area area, const Item &item,
                                   const std::string &memo, bool newVersion, BlobWriter &body,
                                   int64_t now);
    // Copies `source` (whose ancestors, nearest first, are `above`) as `name`
    // into `parentId` of `space`, and everything below it that the user sees.
    void copyTree(const Session &s, Rights &rights, const Item &source,
                  const std::vector<std::string> &above, const std::string &space,
                  const std::string &parentId, const std::string &name, int64_t now);
    std::vector<std::string> ancestorIds(const std::string &id);
    void collectGarbage(const std::vector<std::string> &md5s);
    std::vector<std::string> splitIds(const std::string &ids);

    Store &store;
    BlobStore &blobs;
    SearchService &search;
};
