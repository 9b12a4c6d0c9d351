#include "service/shareservice.h"

#include "service/fileservice.h"
#include "service/helpers.h"
#include "service/rights.h"
#include "service/serviceerror.h"
#include "store/store.h"
#include "store/transaction.h"

#include <mutex>
#include <set>

using nlohmann::json;

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

const int64_t dayMs = 24LL * 3600 * 1000;
const size_t maxRecipients = 1000;
const size_t maxMemo = 1000;

// "A,V,D" to "AVD" in the fixed order; unknown letters are refused.
std::string parseLetters(const std::string &list)
{
    std::string letters;
    for (const std::string &part : helpers::splitList(list)) {
        if (part.size() != 1 || std::string(Rights::allLetters).find(part[0]) == std::string::npos)
            throw ServiceError(CodeBadInput, "权限设置不正确");
        letters += part[0];
    }
    std::string ordered;
    for (const char *p = Rights::allLetters; *p; ++p)
        if (letters.find(*p) != std::string::npos)
            ordered += *p;
    return ordered;
}

std::string withVisible(std::string letters)
{
    if (letters.find('A') == std::string::npos)
        letters.insert(letters.begin(), 'A');
    return letters;
}

std::string checkedMemo(const std::string &memo)
{
    std::string text = helpers::trim(memo);
    if (!helpers::validUtf8(text))
        throw ServiceError(CodeBadInput, "描述不是有效的文字");
    if (helpers::utf8Length(text) > maxMemo)
        throw ServiceError(CodeBadInput, "描述太长");
    return text;
}

} // namespace

ShareService::ShareService(Store &store, FileService &files) : store(store), files(files) {}

std::vector<Recipient> ShareService::recipients(const std::string &userList)
{
    std::vector<std::string> parts = helpers::splitList(userList);
    if (parts.empty())
        throw ServiceError(CodeBadInput, "请选择接收人");
    if (parts.size() > maxRecipients)
        throw ServiceError(CodeBadInput, "接收人太多");
    std::vector<Recipient> out;
    for (const std::string &part : parts) {
        std::string kind = part.substr(0, 1);
        std::string id = part.substr(1);
        bool known = false;
        if (kind == "U" && helpers::isId(id)) {
            auto user = store.userById(id);
            known = user.has_value();
            if (known)
                out.push_back(Recipient{kind, id, user->nickname});
        } else if (kind == "G" && helpers::isId(id)) {
            auto group = store.groupById(id);
            known = group.has_value();
            if (known)
                out.push_back(Recipient{kind, id, group->name});
        }
        if (!known)
            throw ServiceError(CodeBadInput, "接收人“" + part + "”不存在");
    }
    return out;
}

std::vector<Item> ShareService::items(const Session &s, Rights &rights, const std::string &fileIds,
                                      bool netDisk, const char *required)
{
    std::vector<std::string> ids = helpers::splitList(fileIds);
    if (ids.empty())
        throw ServiceError(CodeBadInput, "请选择文件");
    if (ids.size() > 10000)
        throw ServiceError(CodeBadInput, "选择的文件太多");
    std::vector<Item> out;
    for (const std::string &id : ids) {
        auto item = helpers::isId(id) ? store.item(id) : std::nullopt;
        std::string space = netDisk ? s.userId() : std::string("lib");
        if (!item || item->space != space)
            throw ServiceError(CodeNotFound, "文件不存在");
        std::string letters = rights.letters(*item);
        if (!Rights::has(letters, 'A'))
            throw ServiceError(CodeNotFound, "文件不存在");
        for (const char *p = required; *p; ++p)
            if (!Rights::has(letters, *p))
                throw ServiceError(CodeForbidden, "没有权限操作“" + item->name + "”");
        out.push_back(*item);
    }
    return out;
}

void ShareService::save(const Session &s, const std::string &kind, const std::vector<Item> &items,
                        const std::vector<Recipient> &to, const std::string &letters,
                        const std::string &memo, int64_t startsAt, int64_t expiresAt)
{
    int64_t now = helpers::nowMs();
    Share share;
    share.id = helpers::newId();
    share.kind = kind;
    share.senderId = s.userId();
    share.letters = letters;
    share.memo = memo;
    share.createdAt = now;
    share.startsAt = startsAt;
    share.expiresAt = expiresAt;
    Transaction tx(store.database());
    store.insertShare(share);
    int position = 0;
    for (const Item &item : items)
        store.addShareItem(share.id, item.id, position++);
    position = 0;
    for (const Recipient &r : to) {
        store.addShareRecipient(share.id, r.kind, r.id, position++);
        for (const Item &item : items) {
            Grant g;
            g.id = helpers::newId();
            g.itemId = item.id;
            g.principalKind = r.kind;
            g.principalId = r.id;
            g.letters = letters;
            g.appRange = 1;
            g.source = kind;
            g.expiresAt = expiresAt;
            g.createdBy = s.userId();
            g.createdAt = startsAt;
            g.shareId = share.id;
            store.insertGrant(g);
        }
    }
    tx.commit();
}

void ShareService::share(const Session &s, const std::string &fileIds, const std::string &userList,
                         const std::string &authList, const std::string &memo)
{
    Guard guard(store.database().mutex());
    int64_t now = helpers::nowMs();
    std::string letters = withVisible(parseLetters(authList));
    std::string text = checkedMemo(memo);
    std::vector<Recipient> to = recipients(userList);
    Rights rights(store, s, now);
    // Nobody hands on a right he does not hold himself.
    std::vector<Item> shared = items(s, rights, fileIds, false, letters.c_str());
    save(s, "share", shared, to, letters, text, now, 0);
}

void ShareService::netDiskShare(const Session &s, const std::string &fileIds,
                                const std::string &userList, const std::string &shareAuth,
                                const std::string &invalidate, const std::string &memo)
{
    Guard guard(store.database().mutex());
    int64_t now = helpers::nowMs();
    std::string letters = parseLetters(shareAuth);
    if (letters.find_first_not_of("AVDE") != std::string::npos)
        throw ServiceError(CodeBadInput, "共享权限只能是预览、下载或修改");
    if (letters.empty())
        throw ServiceError(CodeBadInput, "请选择至少一个权限类型");
    letters = withVisible(letters);
    int64_t expiresAt = 0;
    if (!helpers::trim(invalidate).empty()) {
        int64_t day = helpers::parseLocalDate(invalidate);
        if (day == 0)
            throw ServiceError(CodeBadInput, "共享过期日格式错误");
        expiresAt = helpers::endOfLocalDay(day);
        if (expiresAt <= now)
            throw ServiceError(CodeBadInput, "共享过期日不能早于今天");
    }
    std::string text = checkedMemo(memo);
    std::vector<Recipient> to = recipients(userList);
    Rights rights(store, s, now);
    std::vector<Item> shared = items(s, rights, fileIds, true, "");
    save(s, "netshare", shared, to, letters, text, now, expiresAt);
}

void ShareService::publish(const Session &s, const std::string &fileIds,
                           const std::string &userList, const std::string &authList,
                           const PublishPeriod &period)
{
    Guard guard(store.database().mutex());
    int64_t now = helpers::nowMs();
    std::string letters = parseLetters(authList);
    if (letters.empty())
        throw ServiceError(CodeBadInput, "请授予至少一个权限");
    int64_t startsAt = now, expiresAt = 0;
    const std::string &type = period.dayCountType;
    if (type == "1") {
        expiresAt = now + 7 * dayMs;
    } else if (type == "2") {
        expiresAt = now + 30 * dayMs;
    } else if (type == "3") {
        std::string text = helpers::trim(period.dayCount);
        int days = 0;
        if (text.empty() || text.size() > 5 ||
            text.find_first_not_of("0123456789") != std::string::npos ||
            (days = std::stoi(text)) < 1)
            throw ServiceError(CodeBadInput, "自定义天数要大于0");
        expiresAt = now + days * dayMs;
    } else if (type == "4") {
        int64_t first = helpers::parseLocalDate(period.startTime);
        int64_t last = helpers::parseLocalDate(period.endTime);
        if (first == 0 || last == 0)
            throw ServiceError(CodeBadInput, "日期格式错误");
        if (last <= first)
            throw ServiceError(CodeBadInput, "结束时间要大于开始时间");
        startsAt = std::max(first, now);
        expiresAt = helpers::endOfLocalDay(last);
        if (expiresAt <= now)
            throw ServiceError(CodeBadInput, "结束时间不能早于今天");
    } else {
        throw ServiceError(CodeBadInput, "有效天数类型错误");
    }
    std::vector<Recipient> to = recipients(userList);
    Rights rights(store, s, now);
    std::vector<Item> published = items(s, rights, fileIds, false, "L");
    save(s, "publish", published, to, letters, std::string(), startsAt, expiresAt);
}

void ShareService::auth(const Session &s, const std::string &fileIds, const std::string &userList,
                        const std::string &authList, const std::string &appRange)
{
    Guard guard(store.database().mutex());
    int64_t now = helpers::nowMs();
    std::string letters = parseLetters(authList);
    if (letters.empty())
        throw ServiceError(CodeBadInput, "请授予至少一个权限");
    if (appRange.size() != 1 || appRange[0] < '1' || appRange[0] > '7')
        throw ServiceError(CodeBadInput, "适用范围不正确");
    int range = appRange[0] - '0';
    std::vector<Recipient> to = recipients(userList);
    Rights rights(store, s, now);
    std::vector<Item> targets = items(s, rights, fileIds, false, "L");
    Transaction tx(store.database());
    for (const Item &item : targets) {
        for (const Recipient &r : to) {
            // A new permission replaces the earlier one of the same user or
            // group on the item; the old one stays on record as ended.
            store.revokeGrants(item.id, r.kind, r.id, "auth", now);
            Grant g;
            g.id = helpers::newId();
            g.itemId = item.id;
            g.principalKind = r.kind;
            g.principalId = r.id;
            g.letters = letters;
            g.appRange = range;
            g.source = "auth";
            g.createdBy = s.userId();
            g.createdAt = now;
            store.insertGrant(g);
        }
    }
    tx.commit();
}

json ShareService::sharedFolder(const Session &s, const std::string &folderId)
{
    int64_t now = helpers::nowMs();
    Rights rights(store, s, now);
    json list = json::array();
    std::set<std::string> seen;
    for (const char *kind : {"share", "netshare"}) {
        std::vector<Share> shares = folderId == "-8" ? store.sharesFrom(s.userId(), kind, now)
                                                     : store.sharesTo(s.userId(), kind, now);
        for (const Share &share : shares) {
            for (const Item &item : store.shareItems(share.id)) {
                if (!seen.insert(item.id).second)
                    continue;
                std::string letters = rights.letters(item);
                if (!Rights::has(letters, 'A'))
                    continue;
                list.push_back(files.entry(item, letters));
            }
        }
    }
    return list;
}

json ShareService::record(const Session &, Rights &rights, const Share &share)
{
    json entries = json::array();
    for (const Item &item : store.shareItems(share.id)) {
        std::string letters = rights.letters(item);
        if (Rights::has(letters, 'A'))
            entries.push_back(files.entry(item, letters));
    }
    json recs = json::array();
    for (const Recipient &r : store.shareRecipients(share.id))
        recs.push_back(json{{"id", r.kind + r.id}, {"type", r.kind}, {"name", r.name}});
    return json{{"id", share.id},
                {"userId", share.senderId},
                {"userName", share.senderName},
                {"creatorId", share.senderId},
                {"creatorName", share.senderName},
                {"time", share.createdAt},
                {"startTime", share.startsAt},
                {"expireTime", share.expiresAt},
                {"memo", share.memo},
                {"authList", Rights::joined(share.letters)},
                {"files", entries},
                {"recs", recs}};
}

json ShareService::sentList(const Session &s, const std::string &kind)
{
    return shareList(s, kind, true);
}

json ShareService::receivedList(const Session &s, const std::string &kind)
{
    return shareList(s, kind, false);
}

// The records of the shares in force from or to the caller; a share whose
// items the caller can no longer see is left out.
json ShareService::shareList(const Session &s, const std::string &kind, bool sent)
{
    int64_t now = helpers::nowMs();
    Rights rights(store, s, now);
    json list = json::array();
    const std::vector<Share> shares =
        sent ? store.sharesFrom(s.userId(), kind, now) : store.sharesTo(s.userId(), kind, now);
    for (const Share &share : shares) {
        json rec = record(s, rights, share);
        if (!rec["files"].empty())
            list.push_back(rec);
    }
    return list;
}
