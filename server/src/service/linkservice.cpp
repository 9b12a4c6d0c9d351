#include "service/linkservice.h"

#include "service/accountservice.h"
#include "service/helpers.h"
#include "service/rights.h"
#include "service/serviceerror.h"
#include "store/store.h"
#include "store/transaction.h"

#include <sodium.h>

#include <mutex>

using nlohmann::json;

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

const size_t maxPassword = 64;
const size_t maxDescription = 1000;

} // namespace

LinkService::LinkService(Store &store, FileService &files, AccountService &accounts,
                         GuessGuard::Options guesses)
    : store(store), fileRules(files), accounts(accounts), guesses(std::move(guesses))
{
}

bool LinkService::allows(const Link &link, char right)
{
    for (const std::string &r : helpers::splitList(link.rights))
        if (r.size() == 1 && r[0] == right)
            return true;
    return false;
}

std::string LinkService::add(const Session &s, const LinkRequest &request)
{
    int64_t now = helpers::nowMs();
    Link link;
    link.id = helpers::newId();
    link.code = helpers::randomHex(16);
    link.creatorId = s.userId();
    link.createdAt = now;

    if (request.linkType != "1" && request.linkType != "2")
        throw ServiceError(CodeBadInput, "链接发布方式不正确");
    link.type = request.linkType[0] - '0';
    std::string password = helpers::trim(request.pwd);
    if (link.type == 2) {
        if (password.empty())
            throw ServiceError(CodeBadInput, "请填写授权密码");
        if (password.size() > maxPassword)
            throw ServiceError(CodeBadInput, "密码太长");
    }
    std::string visits = helpers::trim(request.maxVisit);
    if (visits.empty())
        visits = "0";
    if (visits.size() > 6 || visits.find_first_not_of("0123456789") != std::string::npos)
        throw ServiceError(CodeBadInput, "最大访问次数不正确");
    link.maxVisit = std::stoll(visits);

    std::string rights;
    for (const char *r : {"1", "2", "3"})
        for (const std::string &given : helpers::splitList(request.linkAuth))
            if (given == r && rights.find(r) == std::string::npos)
                rights += rights.empty() ? std::string(r) : std::string(",") + r;
    for (const std::string &given : helpers::splitList(request.linkAuth))
        if (given != "1" && given != "2" && given != "3")
            throw ServiceError(CodeBadInput, "链接授权不正确");
    if (rights.empty())
        throw ServiceError(CodeBadInput, "请设定链接授权");
    link.rights = rights;

    int64_t day = helpers::parseLocalDate(request.linkExpiry);
    if (day == 0)
        throw ServiceError(CodeBadInput, "链接过期日格式错误");
    link.expiresAt = helpers::endOfLocalDay(day);
    if (link.expiresAt <= now)
        throw ServiceError(CodeBadInput, "链接过期日不能早于今天");
    link.description = helpers::trim(request.desp);
    if (!helpers::validUtf8(link.description) ||
        helpers::utf8Length(link.description) > maxDescription)
        throw ServiceError(CodeBadInput, "描述太长或不是有效的文字");

    std::vector<std::string> ids = helpers::splitList(request.fileIds);
    if (ids.empty())
        throw ServiceError(CodeBadInput, "请选择文件");
    if (ids.size() > 1000)
        throw ServiceError(CodeBadInput, "选择的文件太多");
    // The hash is slow on purpose; it runs before the store is locked.
    if (link.type == 2)
        link.passwordHash = accounts.passwords().hash(password);

    Guard guard(store.database().mutex());
    Rights letters(store, s, now);
    std::vector<Item> items;
    bool hasFolder = false;
    for (const std::string &id : ids) {
        auto item = helpers::isId(id) ? store.item(id) : std::nullopt;
        if (!item || (item->space != "lib" && item->space != s.userId()))
            throw ServiceError(CodeNotFound, "文件不存在");
        std::string held = letters.letters(*item);
        if (!Rights::has(held, 'A'))
            throw ServiceError(CodeNotFound, "文件不存在");
        // The link hands on only what the creator may do himself.
        bool ok = (!allows(link, '1') || Rights::has(held, 'V') || Rights::has(held, 'D')) &&
                  (!allows(link, '2') || Rights::has(held, 'D')) &&
                  (!allows(link, '3') || !item->isFolder() || Rights::has(held, 'C'));
        if (!ok)
            throw ServiceError(CodeForbidden, "没有权限为“" + item->name + "”生成外部链接");
        hasFolder = hasFolder || item->isFolder();
        items.push_back(*item);
    }
    if (allows(link, '3') && !hasFolder)
        throw ServiceError(CodeBadInput, "上传文件只能授权给文件夹");
    Transaction tx(store.database());
    store.insertLink(link);
    int position = 0;
    for (const Item &item : items)
        store.addLinkItem(link.id, item.id, position++);
    tx.commit();
    return "/link/" + link.code;
}

Link LinkService::open(const std::string &code)
{
    auto link = code.size() == 32 ? store.linkByCode(code) : std::nullopt;
    if (!link)
        throw ServiceError(CodeNotFound, "链接不存在");
    if (link->expiresAt <= helpers::nowMs())
        throw ServiceError(CodeForbidden, "链接已过期");
    return *link;
}

bool LinkService::passwordMatches(const Link &link, const std::string &password,
                                  const std::string &address)
{
    if (link.type != 2)
        return true;
    GuessGuard::Attempt attempt = guesses.begin(link.id, address);
    std::string given = helpers::trim(password);
    if (!given.empty() && given.size() <= maxPassword &&
        accounts.passwords().verify(link.passwordHash, given)) {
        attempt.succeeded();
        return true;
    }
    attempt.failed();
    return false;
}

std::string LinkService::accessKey(const Link &link) const
{
    unsigned char digest[32];
    std::string input = link.code + "\n" + link.passwordHash;
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char *>(input.data()),
                       input.size(), nullptr, 0);
    char hex[sizeof digest * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return hex;
}

bool LinkService::unlocked(const Link &link, const std::string &cookieKey) const
{
    if (link.type != 2)
        return true;
    std::string key = accessKey(link);
    return cookieKey.size() == key.size() &&
           sodium_memcmp(cookieKey.data(), key.data(), key.size()) == 0;
}

void LinkService::visit(const Link &link)
{
    Guard guard(store.database().mutex());
    if (!store.countVisit(link.id))
        throw ServiceError(CodeForbidden, "链接的访问次数已用完");
}

std::vector<Item> LinkService::files(const Link &link)
{
    // The link shows what its creator may see today, nothing more.
    Session creator = accounts.sessionOf(link.creatorId);
    Rights rights(store, creator, helpers::nowMs());
    std::vector<Item> out;
    for (const Item &item : store.linkItems(link.id)) {
        if (!item.isFolder()) {
            if (Rights::has(rights.letters(item), 'A'))
                out.push_back(item);
            continue;
        }
        for (const Item &child : store.children(item.space, item.id))
            if (!child.isFolder() && Rights::has(rights.letters(child), 'A'))
                out.push_back(child);
    }
    return out;
}

std::optional<Item> LinkService::uploadFolder(const Link &link)
{
    for (const Item &item : store.linkItems(link.id))
        if (item.isFolder())
            return item;
    return std::nullopt;
}

FileRef LinkService::download(const Link &link, const std::string &fileId)
{
    if (!allows(link, '1') && !allows(link, '2'))
        throw ServiceError(CodeForbidden, "链接不允许下载");
    for (const Item &item : files(link)) {
        if (item.id != fileId)
            continue;
        Session creator = accounts.sessionOf(link.creatorId);
        visit(link);
        return fileRules.download(creator, item.space == "lib" ? Area::Library : Area::NetDisk,
                                  item.id, false);
    }
    throw ServiceError(CodeNotFound, "文件不存在");
}

std::string LinkService::upload(const Link &link, const std::string &fileName, BlobWriter &body)
{
    if (!allows(link, '3'))
        throw ServiceError(CodeForbidden, "链接不允许上传");
    auto folder = uploadFolder(link);
    if (!folder)
        throw ServiceError(CodeForbidden, "链接不允许上传");
    Session creator = accounts.sessionOf(link.creatorId);
    visit(link);
    json entry =
        fileRules.uploadNew(creator, folder->space == "lib" ? Area::Library : Area::NetDisk,
                            folder->id, fileName, body);
    return entry.value("fileName", std::string());
}
