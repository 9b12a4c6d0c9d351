#include "service/fileservice.h"

#include "service/helpers.h"
#include "service/rights.h"
#include "service/searchservice.h"
#include "service/serviceerror.h"
#include "store/blobstore.h"
#include "store/store.h"
#include "store/storeerror.h"
#include "store/transaction.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <set>

using nlohmann::json;

namespace {

const char *const noSuchFile = "文件不存在";
const char *const noRight = "没有权限执行该操作";
const char *const badName = "文件名不合法";
const char *const lib = "lib";

using Guard = std::lock_guard<std::recursive_mutex>;

// An uploaded body placed in the blob store for a transaction that has not
// committed yet: if the transaction rolls back, a blob that no row refers to
// must not stay behind. Writers are serialised, so no other row can have
// come to use a blob this upload placed.
class PendingBlob
{
public:
    PendingBlob(const BlobStore &blobs, BlobWriter &body)
        : blobs(blobs), md5(body.md5()), placed(blobs.adopt(body))
    {
    }
    ~PendingBlob()
    {
        if (placed)
            blobs.remove(md5);
    }
    PendingBlob(const PendingBlob &) = delete;
    PendingBlob &operator=(const PendingBlob &) = delete;
    // The transaction committed: the blob stays.
    void keep() { placed = false; }

private:
    const BlobStore &blobs;
    std::string md5;
    bool placed;
};

void need(const std::string &letters, const char *anyOf, const char *message = noRight)
{
    for (const char *p = anyOf; *p; ++p)
        if (Rights::has(letters, *p))
            return;
    throw ServiceError(CodeForbidden, message);
}

std::string lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace

FileService::FileService(Store &store, BlobStore &blobs, SearchService &search)
    : store(store), blobs(blobs), search(search)
{
}

std::string FileService::spaceOf(const Session &s, Area area) const
{
    return area == Area::Library ? std::string(lib) : s.userId();
}

Item FileService::load(const Session &s, Area area, const std::string &id, bool sharedToo)
{
    if (!helpers::isId(id))
        throw ServiceError(CodeNotFound, noSuchFile);
    auto item = store.item(id);
    if (item && item->space != spaceOf(s, area) && sharedToo && item->space != lib &&
        item->space != s.userId()) {
        // Another user's net disk item, reachable only through a share.
        Rights rights(store, s, helpers::nowMs());
        if (Rights::has(rights.letters(*item), 'A'))
            return *item;
    }
    // Another user's net disk answers exactly like a missing id.
    if (!item || item->space != spaceOf(s, area))
        throw ServiceError(CodeNotFound, noSuchFile);
    return *item;
}

std::string FileService::lettersOn(Area area, Rights &rights, const Item &item)
{
    return area == Area::Library || item.space != lib ? rights.letters(item)
                                                      : std::string(Rights::allLetters);
}

FileService::Folder FileService::folder(const Session &s, Area area, Rights &rights,
                                        const std::string &id, bool sharedToo)
{
    Folder f;
    if (id.empty() || id == "0") {
        f.id = "0";
        f.space = spaceOf(s, area);
        f.letters = area == Area::Library ? rights.topLetters() : std::string(Rights::allLetters);
        return f;
    }
    Item item = load(s, area, id, sharedToo);
    if (!item.isFolder())
        throw ServiceError(CodeBadInput, "目标不是文件夹");
    f.id = item.id;
    f.chain.push_back(item.id);
    for (const Item &a : store.ancestors(item.id))
        f.chain.push_back(a.id);
    std::vector<std::string> above(f.chain.begin() + 1, f.chain.end());
    f.letters = area == Area::Library || item.space != s.userId() ? rights.letters(item, above)
                                                                  : std::string(Rights::allLetters);
    f.space = item.space;
    return f;
}

std::optional<Lock> FileService::activeLock(const std::string &itemId, int64_t now)
{
    auto lock = store.lockOf(itemId);
    if (lock && lock->lockedAt < now - lockLifetimeMs) {
        store.clearLock(itemId);
        return std::nullopt;
    }
    return lock;
}

void FileService::refuseIfLockedByOther(const Session &s, const Item &item, int64_t now,
                                        const char *what)
{
    auto lock = activeLock(item.id, now);
    if (lock && lock->userId != s.userId())
        throw ServiceError(CodeConflict,
                           "文件“" + item.name + "”已被" + lock->holderName + "锁定，" + what);
}

std::string FileService::freeName(const std::string &space, const std::string &parentId,
                                  const std::string &name)
{
    if (!store.idByName(space, parentId, name))
        return name;
    for (int n = 2;; ++n) {
        std::string candidate = helpers::numberedName(name, n);
        if (!store.idByName(space, parentId, candidate))
            return candidate;
    }
}

std::string FileService::checkedName(const std::string &raw)
{
    std::string name = helpers::trim(raw);
    if (name.empty())
        throw ServiceError(CodeBadInput, "名称不能为空");
    if (helpers::hasHiddenCharacter(name))
        throw ServiceError(CodeBadInput, "名称不能包含不可见字符或文字方向控制字符");
    if (!helpers::validName(name))
        throw ServiceError(CodeBadInput, badName);
    return name;
}

std::vector<std::string> FileService::ancestorIds(const std::string &id)
{
    std::vector<std::string> ids;
    for (const Item &a : store.ancestors(id))
        ids.push_back(a.id);
    return ids;
}

std::vector<std::string> FileService::splitIds(const std::string &ids)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= ids.size()) {
        size_t comma = ids.find(',', start);
        if (comma == std::string::npos)
            comma = ids.size();
        std::string id = helpers::trim(ids.substr(start, comma - start));
        if (!id.empty() && std::find(out.begin(), out.end(), id) == out.end())
            out.push_back(id);
        start = comma + 1;
    }
    if (out.empty())
        throw ServiceError(CodeBadInput, "请选择文件");
    if (out.size() > 10000)
        throw ServiceError(CodeBadInput, "选择的文件太多");
    return out;
}

void FileService::appendEntry(std::string &out, const Item &item, const std::string &letters,
                              const Lock *lock)
{
    using helpers::appendJson;
    bool folder = item.isFolder();
    out += "{\"fileId\":";
    appendJson(out, item.id);
    out += ",\"parentId\":";
    appendJson(out, item.parentId);
    out += ",\"fileName\":";
    appendJson(out, item.name);
    out += ",\"fileType\":";
    appendJson(out, static_cast<int64_t>(item.kind));
    out += ",\"fileExtend\":";
    appendJson(out, folder ? std::string() : item.ext);
    out += ",\"lastModifyTime\":";
    appendJson(out, item.modifiedAt);
    out += ",\"createTime\":";
    appendJson(out, item.createdAt);
    out += ",\"user\":";
    appendJson(out, item.creatorName);
    out += ",\"creatorId\":";
    appendJson(out, item.creatorId);
    out += ",\"fileLength\":";
    appendJson(out, folder ? std::string() : helpers::sizeText(item.size));
    out += ",\"length\":";
    appendJson(out, item.size);
    out += ",\"version\":";
    appendJson(out, static_cast<int64_t>(item.currentVersion));
    out += ",\"version_desc\":";
    appendJson(out, item.memo);
    out += ",\"md5\":";
    appendJson(out, item.md5);
    out += ",\"authList\":";
    appendJson(out, Rights::joined(letters));
    // A file being edited under a lock names its holder and when the lock
    // runs out; an expired lock is not shown (the next lock call clears it).
    if (lock && !folder && lock->lockedAt >= helpers::nowMs() - lockLifetimeMs) {
        out += ",\"lockUser\":";
        appendJson(out, lock->holderName);
        out += ",\"lockUserId\":";
        appendJson(out, lock->userId);
        out += ",\"lockEndTime\":";
        appendJson(out, lock->lockedAt + lockLifetimeMs);
    }
    out += '}';
}

json FileService::entry(const Item &item, const std::string &letters)
{
    std::optional<Lock> lock;
    if (!item.isFolder())
        lock = store.lockOf(item.id);
    std::string text;
    appendEntry(text, item, letters, lock ? &*lock : nullptr);
    return json::parse(text);
}

json FileService::listDir(const Session &s, Area area, const std::string &date, json &removes)
{
    int64_t now = helpers::nowMs();
    removes = json::array();
    json list = json::array();
    std::string space = spaceOf(s, area);
    // A second of slack: the client takes its own clock after our answer.
    int64_t since = area == Area::Library ? helpers::parseLocalTime(date) : 0;
    if (since > 0)
        since -= 1000;

    std::vector<Item> all = store.folders(space, 0);
    std::map<std::string, const Item *> byId;
    for (const Item &f : all)
        byId[f.id] = &f;
    Rights rights(store, s, now);
    // The rights the caller held at the given moment: folders whose letters
    // differ were granted, changed or withdrawn since (share, publication,
    // permission or the expiry of one of them).
    std::unique_ptr<Rights> before;
    if (area == Area::Library && since > 0)
        before = std::make_unique<Rights>(store, s, since);
    for (const Item &f : all) {
        std::string letters = Rights::allLetters;
        bool changed = f.modifiedAt >= since;
        if (area == Area::Library) {
            std::vector<std::string> chain;
            std::string p = f.parentId;
            while (p != "0" && chain.size() < 1000) {
                auto it = byId.find(p);
                if (it == byId.end())
                    break;
                chain.push_back(p);
                p = it->second->parentId;
            }
            letters = rights.letters(f, chain);
            if (before) {
                std::string earlier =
                    f.createdAt < since ? before->letters(f, chain) : std::string();
                bool visible = Rights::has(letters, 'A');
                if (Rights::has(earlier, 'A') && !visible)
                    removes.push_back(json{{"fileId", f.id}});
                if (earlier != letters)
                    changed = true;
            }
            if (!Rights::has(letters, 'A'))
                continue;
        }
        if (!changed)
            continue;
        list.push_back(json{{"fileId", f.id},
                            {"parentId", f.parentId},
                            {"fileName", f.name},
                            {"lastModifyTime", f.modifiedAt},
                            {"authList", Rights::joined(letters)}});
    }
    if (area == Area::Library) {
        if (since > 0) {
            for (const Tombstone &t : store.tombstonesSince(space, since))
                removes.push_back(json{{"fileId", t.itemId}});
        } else {
            list.push_back(json{{"fileId", "-9"},
                                {"parentId", "-1"},
                                {"fileName", "分享给我的"},
                                {"lastModifyTime", 0}});
            list.push_back(json{{"fileId", "-8"},
                                {"parentId", "-1"},
                                {"fileName", "我分享的"},
                                {"lastModifyTime", 0}});
        }
    }
    return list;
}

std::string FileService::listFile(const Session &s, Area area, const std::string &parentId)
{
    Rights rights(store, s, helpers::nowMs());
    // Folders of a colleague's net disk shared with the caller open from the
    // library's "-9" folder.
    Folder f = folder(s, area, rights, parentId, area == Area::Library);
    if (f.id != "0")
        need(f.letters, "A", "没有权限访问该文件夹");
    bool ownNetDisk = f.space == s.userId();
    // The entries are written as they are read: a large folder costs its
    // answer's text and no more.
    std::string list = "[";
    const std::string all = Rights::allLetters;
    // The folder's few locks in one query, not one query a file.
    std::map<std::string, Lock> locks;
    for (Lock &lock : store.locksIn(f.space, f.id))
        locks.emplace(lock.itemId, std::move(lock));
    store.eachChild(f.space, f.id, [&](const Item &child) {
        std::string letters = ownNetDisk ? all : rights.letters(child, f.chain);
        if (!ownNetDisk && !Rights::has(letters, 'A'))
            return;
        if (list.size() > 1)
            list += ',';
        auto lock = locks.find(child.id);
        appendEntry(list, child, area == Area::Library ? letters : std::string(),
                    lock == locks.end() ? nullptr : &lock->second);
    });
    list += ']';
    return list;
}

void FileService::rename(const Session &s, const std::string &fileId, const std::string &rawName)
{
    Guard guard(store.database().mutex());
    if (!helpers::isId(fileId))
        throw ServiceError(CodeNotFound, noSuchFile);
    auto found = store.item(fileId);
    if (!found || (found->space != lib && found->space != s.userId()))
        throw ServiceError(CodeNotFound, noSuchFile);
    Item item = *found;
    Area area = item.space == lib ? Area::Library : Area::NetDisk;
    Rights rights(store, s, helpers::nowMs());
    if (area == Area::Library)
        need(rights.letters(item), "RE");

    std::string name = checkedName(rawName);
    if (!item.isFolder() && !item.ext.empty()) {
        // The client sends the name without its extension; the file keeps it.
        std::string suffix = item.name.substr(item.name.rfind('.') + 1);
        if (lower(name).size() <= item.ext.size() + 1 ||
            lower(name).compare(name.size() - item.ext.size() - 1, std::string::npos,
                                "." + item.ext) != 0)
            name += "." + suffix;
        name = checkedName(name);
    }
    if (name == item.name)
        return;
    auto clash = store.idByName(item.space, item.parentId, name);
    if (clash && *clash != item.id)
        throw ServiceError(CodeConflict, "已存在同名的文件或文件夹");
    Transaction tx(store.database());
    try {
        store.renameItem(item.id, name,
                         item.isFolder() ? std::string() : helpers::extensionOf(name),
                         helpers::nowMs());
    } catch (const ConstraintError &) {
        throw ServiceError(CodeConflict, "已存在同名的文件或文件夹");
    }
    if (!item.isFolder()) {
        item.name = name;
        search.renameFile(item);
    }
    tx.commit();
}

void FileService::remove(const Session &s, Area area, const std::string &fileIds)
{
    Guard guard(store.database().mutex());
    int64_t now = helpers::nowMs();
    Rights rights(store, s, now);
    std::vector<Item> roots;
    for (const std::string &id : splitIds(fileIds)) {
        Item item = load(s, area, id);
        if (area == Area::Library)
            need(rights.letters(item), "R", "没有删除权限");
        for (const Item &inner : store.subtree(item.id))
            if (!inner.isFolder())
                refuseIfLockedByOther(s, inner, now, "无法删除");
        roots.push_back(item);
    }
    std::vector<std::string> ids;
    for (const Item &root : roots)
        ids.push_back(root.id);
    // The subtrees go in a few statements over all their rows (tombstones for
    // the folders, the files' search documents, grants, then the items), so
    // the writer lock is held briefly even for a large folder.
    Transaction tx(store.database());
    std::vector<std::string> md5s = store.deleteTrees(ids, now);
    tx.commit();
    collectGarbage(md5s);
}

void FileService::collectGarbage(const std::vector<std::string> &md5s)
{
    std::set<std::string> unique(md5s.begin(), md5s.end());
    for (const std::string &md5 : unique)
        if (store.blobReferences(md5) == 0)
            blobs.remove(md5);
}

size_t FileService::sweepContents(const std::atomic<bool> &stop)
{
    size_t removed = 0;
    for (const std::string &md5 : blobs.unreferenced(store.blobsInUse(), stop)) {
        if (stop)
            break;
        Guard guard(store.database().mutex());
        if (store.blobReferences(md5) == 0) {
            blobs.remove(md5);
            ++removed;
        }
    }
    return removed;
}

std::string FileService::md5(const Session &s, Area area, const std::string &fileId)
{
    Item item = load(s, area, fileId, true);
    if (item.isFolder())
        throw ServiceError(CodeBadInput, "文件夹没有内容");
    Rights rights(store, s, helpers::nowMs());
    need(rights.letters(item), "VD", "没有预览或下载权限");
    return item.md5;
}

FileRef FileService::download(const Session &s, Area area, const std::string &fileIds,
                              bool countUse)
{
    std::vector<std::string> ids = splitIds(fileIds);
    Item item = load(s, area, ids.front(), true);
    if (item.isFolder())
        throw ServiceError(CodeBadInput, "不能下载文件夹");
    int64_t now = helpers::nowMs();
    Rights rights(store, s, now);
    need(rights.letters(item), "VD", "没有预览或下载权限");
    if (!blobs.exists(item.md5))
        throw ServiceError(CodeServerError, "文件内容丢失");
    // Opening a file downloads it: the count behind "常用文件".
    if (countUse) {
        Guard guard(store.database().mutex());
        store.countUse(s.userId(), item.id, now);
    }
    return FileRef{blobs.path(item.md5), item.size, item.name};
}

json FileService::storeNewVersion(const Session &s, Area area, const Item &item,
                                  const std::string &memo, bool newVersion, BlobWriter &body,
                                  int64_t now)
{
    std::vector<std::string> released;
    Transaction tx(store.database());
    if (newVersion && area == Area::Library) {
        Version v;
        v.id = helpers::newId();
        v.itemId = item.id;
        v.number = item.currentVersion + 1;
        v.md5 = body.md5();
        v.size = body.size();
        v.memo = memo;
        v.creatorId = s.userId();
        v.createdAt = now;
        store.insertVersion(v);
        store.touchItem(item.id, v.number, now);
    } else {
        // Overwrites the current version (the net disk keeps only one).
        auto current = store.versionOf(item.id, item.currentVersion);
        if (!current)
            throw ServiceError(CodeServerError, "文件版本丢失");
        released.push_back(current->md5);
        store.replaceVersionContent(current->id, body.md5(), body.size(),
                                    memo.empty() ? current->memo : memo, now, s.userId());
        store.touchItem(item.id, item.currentVersion, now);
    }
    PendingBlob blob(blobs, body);
    Item fresh = *store.item(item.id);
    search.indexFile(fresh);
    tx.commit();
    blob.keep();
    collectGarbage(released);
    return entry(fresh, area == Area::Library || fresh.space != s.userId()
                            ? Rights(store, s, now).letters(fresh)
                            : "");
}

json FileService::upload(const Session &s, Area area, const std::string &parentId,
                         const std::string &uploadType, const std::string &fileId,
                         const std::string &fileName, BlobWriter &body)
{
    Guard guard(store.database().mutex());
    int64_t now = helpers::nowMs();
    Rights rights(store, s, now);
    if (uploadType == "1") {
        Item item = load(s, area, fileId);
        if (item.isFolder())
            throw ServiceError(CodeBadInput, "不能用文件替换文件夹");
        if (area == Area::Library) {
            need(rights.letters(item), "E", "没有修改权限");
            refuseIfLockedByOther(s, item, now, "无法更新");
        }
        return storeNewVersion(s, area, item, std::string(), true, body, now);
    }
    if (uploadType != "2" && !uploadType.empty())
        throw ServiceError(CodeBadInput, "上传类型错误");

    Folder target = folder(s, area, rights, parentId);
    std::string name = checkedName(fileName);
    std::string space = spaceOf(s, area);
    auto existing = store.idByName(space, target.id, name);
    std::optional<Item> same = existing ? store.item(*existing) : std::nullopt;
    // Names are unique whatever their letter case, but only the very same
    // name replaces a file: "report.txt" beside "Report.txt" is another file
    // and gets a name of its own.
    if (same && same->name != name) {
        name = freeName(space, target.id, name);
        same.reset();
    }
    if (same) {
        // The same name again is a new version of that file.
        Item item = *same;
        if (item.isFolder())
            throw ServiceError(CodeConflict, "已存在同名文件夹");
        if (area == Area::Library) {
            need(rights.letters(item), "E", "同名文件已存在，且没有修改权限");
            refuseIfLockedByOther(s, item, now, "无法更新");
        }
        return storeNewVersion(s, area, item, std::string(), true, body, now);
    }
    if (area == Area::Library)
        need(target.letters, "C", "没有上传权限");

    Item item;
    item.id = helpers::newId();
    item.space = space;
    item.parentId = target.id;
    item.kind = 2;
    item.name = name;
    item.ext = helpers::extensionOf(name);
    item.creatorId = s.userId();
    item.createdAt = item.modifiedAt = now;
    item.currentVersion = 1;
    Version v;
    v.id = helpers::newId();
    v.itemId = item.id;
    v.number = 1;
    v.md5 = body.md5();
    v.size = body.size();
    v.creatorId = s.userId();
    v.createdAt = now;
    Transaction tx(store.database());
    store.insertItem(item);
    store.insertVersion(v);
    PendingBlob blob(blobs, body);
    Item fresh = *store.item(item.id);
    search.indexFile(fresh);
    tx.commit();
    blob.keep();
    return entry(fresh, area == Area::Library ? std::string(Rights::allLetters) : "");
}

json FileService::uploadNew(const Session &s, Area area, const std::string &parentId,
                            const std::string &fileName, BlobWriter &body)
{
    Guard guard(store.database().mutex());
    Rights rights(store, s, helpers::nowMs());
    Folder target = folder(s, area, rights, parentId);
    need(target.letters, "C", "没有上传权限");
    std::string name = freeName(spaceOf(s, area), target.id, checkedName(fileName));
    return upload(s, area, target.id, "2", std::string(), name, body);
}

json FileService::saveUpdate(const Session &s, Area area, const std::string &fileId,
                             const std::string &memo, bool newVersion, BlobWriter &body)
{
    Guard guard(store.database().mutex());
    int64_t now = helpers::nowMs();
    Item item = load(s, area, fileId, true);
    if (item.isFolder())
        throw ServiceError(CodeBadInput, "不能用文件替换文件夹");
    if (item.space != s.userId()) {
        Rights rights(store, s, now);
        need(rights.letters(item), "E", "没有修改权限");
        refuseIfLockedByOther(s, item, now, "无法更新");
    }
    std::string text = helpers::trim(memo);
    if (helpers::utf8Length(text) > 1000)
        throw ServiceError(CodeBadInput, "版本描述太长");
    // A shared net disk file keeps the net disk's rule of one version.
    Area itemArea = item.space == lib ? Area::Library : Area::NetDisk;
    return storeNewVersion(s, itemArea, item, text, newVersion, body, now);
}

void FileService::lock(const Session &s, const std::string &fileId, const std::string &type)
{
    Guard guard(store.database().mutex());
    int64_t now = helpers::nowMs();
    Item item = load(s, Area::Library, fileId);
    if (item.isFolder())
        throw ServiceError(CodeBadInput, "不能锁定文件夹");
    Rights rights(store, s, now);
    auto current = activeLock(item.id, now);
    if (type == "1") {
        need(rights.letters(item), "E", "没有修改权限");
        if (current && current->userId != s.userId())
            throw ServiceError(CodeConflict, "文件已被" + current->holderName + "锁定");
        store.setLock(item.id, s.userId(), now);
    } else if (type == "0") {
        if (!current)
            return;
        if (current->userId != s.userId() && !s.isAdmin())
            throw ServiceError(CodeForbidden, "文件已被" + current->holderName +
                                                  "锁定，只有锁定者或管理员可以解锁");
        store.clearLock(item.id);
    } else {
        throw ServiceError(CodeBadInput, "锁定类型错误");
    }
}

json FileService::versionList(const Session &s, const std::string &fileId)
{
    Item item = load(s, Area::Library, fileId);
    Rights rights(store, s, helpers::nowMs());
    need(rights.letters(item), "VD", "没有预览或下载权限");
    json list = json::array();
    for (const Version &v : store.versionsOf(item.id))
        list.push_back(json{{"id", v.id},
                            {"version", v.number},
                            {"length", v.size},
                            {"fileLength", helpers::sizeText(v.size)},
                            {"memo", v.memo},
                            {"md5", v.md5},
                            {"createTime", v.createdAt},
                            {"user", v.creatorName}});
    return list;
}

FileRef FileService::versionDownload(const Session &s, const std::string &versionId)
{
    if (!helpers::isId(versionId))
        throw ServiceError(CodeNotFound, "版本不存在");
    auto v = store.version(versionId);
    if (!v)
        throw ServiceError(CodeNotFound, "版本不存在");
    Item item = load(s, Area::Library, v->itemId);
    Rights rights(store, s, helpers::nowMs());
    need(rights.letters(item), "VD", "没有预览或下载权限");
    if (!blobs.exists(v->md5))
        throw ServiceError(CodeServerError, "文件内容丢失");
    {
        Guard guard(store.database().mutex());
        store.countUse(s.userId(), item.id, helpers::nowMs());
    }
    return FileRef{blobs.path(v->md5), v->size, item.name};
}

void FileService::copyTree(const Session &s, Rights &rights, const Item &source,
                           const std::vector<std::string> &above, const std::string &space,
                           const std::string &parentId, const std::string &name, int64_t now)
{
    Item copy = source;
    copy.id = helpers::newId();
    copy.space = space;
    copy.parentId = parentId;
    copy.name = name;
    copy.creatorId = s.userId();
    copy.createdAt = copy.modifiedAt = now;
    copy.currentVersion = source.isFolder() ? 0 : 1;
    store.insertItem(copy);
    if (!source.isFolder()) {
        auto current = store.versionOf(source.id, source.currentVersion);
        if (!current)
            throw ServiceError(CodeServerError, "文件版本丢失");
        Version v = *current;
        v.id = helpers::newId();
        v.itemId = copy.id;
        v.number = 1;
        v.creatorId = s.userId();
        v.createdAt = now;
        store.insertVersion(v);
        copy.size = v.size;
        copy.md5 = v.md5;
        search.copyFile(source, copy);
        return;
    }
    // The children's ancestors are known here: no lookup per child.
    std::vector<std::string> chain;
    chain.reserve(above.size() + 1);
    chain.push_back(source.id);
    chain.insert(chain.end(), above.begin(), above.end());
    for (const Item &child : store.children(source.space, source.id)) {
        // Only what the user can see travels with a library folder.
        if (source.space == lib && !Rights::has(rights.letters(child, chain), 'A'))
            continue;
        copyTree(s, rights, child, chain, space, copy.id, child.name, now);
    }
}

void FileService::copy(const Session &s, const std::string &targetId, const std::string &sourceIds,
                       bool netDiskSourcesOnly)
{
    Guard guard(store.database().mutex());
    int64_t now = helpers::nowMs();
    Rights rights(store, s, now);
    Folder target = folder(s, Area::Library, rights, targetId);
    std::vector<Item> sources;
    for (const std::string &id : splitIds(sourceIds)) {
        if (!helpers::isId(id))
            throw ServiceError(CodeNotFound, noSuchFile);
        auto item = store.item(id);
        bool own = item && item->space == s.userId();
        bool library = item && item->space == lib && !netDiskSourcesOnly;
        if (!own && !library)
            throw ServiceError(CodeNotFound, noSuchFile);
        if (library) {
            need(rights.letters(*item), "RED", "没有复制权限");
            if (std::find(target.chain.begin(), target.chain.end(), item->id) != target.chain.end())
                throw ServiceError(CodeConflict, "不能复制到自身或子文件夹");
        }
        need(target.letters, item->isFolder() ? "M" : "C", "没有在目标文件夹中创建的权限");
        sources.push_back(*item);
    }
    Transaction tx(store.database());
    for (const Item &source : sources)
        copyTree(s, rights, source, ancestorIds(source.id), lib, target.id,
                 freeName(lib, target.id, source.name), now);
    tx.commit();
}

void FileService::move(const Session &s, Area area, const std::string &targetId,
                       const std::string &sourceIds)
{
    Guard guard(store.database().mutex());
    int64_t now = helpers::nowMs();
    Rights rights(store, s, now);
    Folder target = folder(s, area, rights, targetId);
    std::vector<Item> sources;
    for (const std::string &id : splitIds(sourceIds)) {
        Item item = load(s, area, id);
        if (area == Area::Library) {
            need(rights.letters(item), "R", "没有移动权限");
            need(target.letters, item.isFolder() ? "M" : "C", "没有在目标文件夹中创建的权限");
        }
        if (std::find(target.chain.begin(), target.chain.end(), item.id) != target.chain.end())
            throw ServiceError(CodeConflict, "不能移动到自身或子文件夹");
        sources.push_back(item);
    }
    std::string space = spaceOf(s, area);
    Transaction tx(store.database());
    for (const Item &item : sources) {
        if (item.parentId == target.id)
            continue;
        store.moveItem(item.id, target.id, freeName(space, target.id, item.name), now);
    }
    tx.commit();
}

std::string FileService::saveFold(const Session &s, Area area, const std::string &parentId,
                                  const std::string &rawName)
{
    Guard guard(store.database().mutex());
    int64_t now = helpers::nowMs();
    Rights rights(store, s, now);
    Folder parent = folder(s, area, rights, parentId);
    if (area == Area::Library)
        need(parent.letters, "M", "没有新建文件夹的权限");
    std::string name = checkedName(rawName);
    std::string space = spaceOf(s, area);
    if (store.idByName(space, parent.id, name))
        throw ServiceError(CodeConflict, "文件夹“" + name + "”已存在");
    Item item;
    item.id = helpers::newId();
    item.space = space;
    item.parentId = parent.id;
    item.kind = 1;
    item.name = name;
    item.creatorId = s.userId();
    item.createdAt = item.modifiedAt = now;
    try {
        store.insertItem(item);
    } catch (const ConstraintError &) {
        throw ServiceError(CodeConflict, "文件夹“" + name + "”已存在");
    }
    return item.id;
}
