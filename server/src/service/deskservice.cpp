#include "service/deskservice.h"

#include "service/fileservice.h"
#include "service/helpers.h"
#include "service/rights.h"
#include "service/serviceerror.h"
#include "store/store.h"

#include <algorithm>
#include <mutex>

using nlohmann::json;

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

const int subscriptionFiles = 50;
const int latestScan = 5000;

} // namespace

DeskService::DeskService(Store &store, FileService &files) : store(store), files(files) {}

json DeskService::favouriteCategories(const Session &s)
{
    json list = json::array();
    for (const FavCategory &c : store.categoriesOf(s.userId()))
        list.push_back(json{{"catid", c.id}, {"name", c.name}});
    return list;
}

void DeskService::addFavourite(const Session &s, const std::string &fileId,
                               const std::string &categoryId)
{
    Guard guard(store.database().mutex());
    auto category = helpers::isId(categoryId) ? store.category(categoryId) : std::nullopt;
    if (!category || category->userId != s.userId())
        throw ServiceError(CodeBadInput, "请选择分类");
    auto item = helpers::isId(fileId) ? store.item(fileId) : std::nullopt;
    Rights rights(store, s, helpers::nowMs());
    if (!item || !Rights::has(rights.letters(*item), 'A'))
        throw ServiceError(CodeNotFound, "文件不存在");
    if (!store.insertFavourite(s.userId(), item->id, category->id, helpers::nowMs()))
        throw ServiceError(CodeConflict, "该文件已收藏");
}

json DeskService::favourites(const Session &s)
{
    Rights rights(store, s, helpers::nowMs());
    json list = json::array();
    for (const Favourite &f : store.favouritesOf(s.userId())) {
        std::string letters = rights.letters(f.item);
        if (!Rights::has(letters, 'A'))
            continue;
        json rec = files.entry(f.item, letters);
        rec["createTime"] = f.createdAt;
        rec["time"] = f.createdAt;
        rec["creatorName"] = f.item.creatorName;
        rec["catid"] = f.categoryId;
        rec["catName"] = f.categoryName;
        list.push_back(rec);
    }
    return list;
}

json DeskService::subscriptions(const Session &s)
{
    Rights rights(store, s, helpers::nowMs());
    std::vector<std::pair<Item, std::string>> found;
    for (const std::string &folderId : store.subscribedFolders(s.userId())) {
        std::vector<Item> below = store.subtree(folderId);
        if (below.empty() || !Rights::has(rights.letters(below.front()), 'A'))
            continue;
        for (const Item &item : below) {
            if (item.isFolder())
                continue;
            std::string letters = rights.letters(item);
            if (Rights::has(letters, 'A'))
                found.emplace_back(item, letters);
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const auto &a, const auto &b) {
        return a.first.modifiedAt > b.first.modifiedAt;
    });
    json list = json::array();
    for (const auto &[item, letters] : found) {
        if (static_cast<int>(list.size()) >= subscriptionFiles)
            break;
        json rec = files.entry(item, letters);
        rec["time"] = item.modifiedAt;
        rec["creatorName"] = item.creatorName;
        list.push_back(rec);
    }
    return list;
}

json DeskService::myFiles(const Session &s, const std::string &type, const std::string &limitText)
{
    int limit = 20;
    std::string text = helpers::trim(limitText);
    if (!text.empty()) {
        if (text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
            throw ServiceError(CodeBadInput, "数量不正确");
        limit = std::clamp(std::stoi(text), 1, maxLimit);
    }
    if (type != "1" && type != "2")
        throw ServiceError(CodeBadInput, "类型不正确");
    Rights rights(store, s, helpers::nowMs());
    json list = json::array();
    auto take = [&](const Item &item) {
        if (item.space != "lib")
            return;
        std::string letters = rights.letters(item);
        if (Rights::has(letters, 'A'))
            list.push_back(files.entry(item, letters));
    };
    if (type == "1") {
        for (const Item &item : store.mostUsed(s.userId(), maxLimit * 5)) {
            if (static_cast<int>(list.size()) >= limit)
                break;
            take(item);
        }
        return list;
    }
    const int batch = 200;
    for (int offset = 0; offset < latestScan && static_cast<int>(list.size()) < limit;
         offset += batch) {
        std::vector<Item> page = store.latestFiles("lib", batch, offset);
        for (const Item &item : page) {
            if (static_cast<int>(list.size()) >= limit)
                break;
            take(item);
        }
        if (static_cast<int>(page.size()) < batch)
            break;
    }
    return list;
}

json DeskService::notices()
{
    json list = json::array();
    for (const Notice &n : store.notices(100))
        list.push_back(json{{"id", n.id},
                            {"title", n.title},
                            {"noticeTime", n.noticeTime},
                            {"content", n.content}});
    return list;
}

json DeskService::notice(const std::string &id)
{
    auto n = helpers::isId(id) ? store.notice(id) : std::nullopt;
    if (!n)
        throw ServiceError(CodeNotFound, "公告不存在");
    return json{
        {"id", n->id}, {"title", n->title}, {"noticeTime", n->noticeTime}, {"content", n->content}};
}
