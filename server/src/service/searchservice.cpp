#include "service/searchservice.h"

#include "service/helpers.h"
#include "service/rights.h"
#include "service/serviceerror.h"
#include "store/blobstore.h"
#include "store/store.h"
#include "store/transaction.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>

using nlohmann::json;

namespace {

const char *const markOpen = "<font color=\"#e4393c\">";
const char *const markClose = "</font>";
const char *const lib = "lib";
const char *const indexedKey = "search_indexed";

bool isTextExtension(const std::string &ext)
{
    static const std::set<std::string> text = {
        "txt", "md", "csv",  "log", "sql", "json", "xml",  "html", "htm", "c",  "cpp", "h",
        "hpp", "py", "java", "js",  "ts",  "ini",  "conf", "yaml", "yml", "sh", "css", "svg"};
    return text.count(ext) != 0;
}

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The next occurrence of `word` in `text` from `from`, ASCII letters in any case.
size_t findFolded(const std::string &text, const std::string &word, size_t from)
{
    if (word.empty() || text.size() < word.size())
        return std::string::npos;
    for (size_t i = from; i + word.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < word.size() && lowerAscii(text[i + k]) == lowerAscii(word[k]))
            ++k;
        if (k == word.size())
            return i;
    }
    return std::string::npos;
}

std::string lowerText(std::string text)
{
    for (char &c : text)
        c = lowerAscii(c);
    return text;
}

} // namespace

SearchService::SearchService(Store &store, BlobStore &blobs) : store(store), blobs(blobs) {}

std::string SearchService::textOf(const Item &item)
{
    if (!isTextExtension(item.ext) || item.size > maxTextBytes || item.md5.empty() ||
        !blobs.exists(item.md5))
        return std::string();
    std::ifstream in(blobs.path(item.md5), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Only UTF-8 text is indexed; anything else is found by its name.
    if (!helpers::validUtf8(text))
        return std::string();
    return text;
}

void SearchService::indexFile(const Item &item)
{
    if (item.space != lib || item.isFolder())
        return;
    store.indexDoc(SearchDoc{item.id, item.name, textOf(item)});
}

void SearchService::copyFile(const Item &source, const Item &copy)
{
    if (copy.space != lib || copy.isFolder())
        return;
    if (source.space != lib || !store.copyDoc(source.id, copy.id, copy.name))
        indexFile(copy);
}

void SearchService::renameFile(const Item &item)
{
    if (item.space == lib)
        store.renameDoc(item.id, item.name);
}

void SearchService::dropFile(const std::string &itemId)
{
    store.dropDoc(itemId);
}

void SearchService::ensureIndexed()
{
    std::lock_guard<std::recursive_mutex> guard(store.database().mutex());
    if (!store.state(indexedKey).empty())
        return;
    Transaction tx(store.database());
    for (const Item &item : store.allFiles(lib))
        indexFile(item);
    store.setState(indexedKey, "1");
    tx.commit();
}

// File names cannot hold < > or ", and the client shows a name with the tags
// stripped as plain text, so an ampersand of a name stays as it is there.
std::string SearchService::highlight(const std::string &text, const std::string &word, bool isName)
{
    std::string out;
    size_t at = 0;
    for (;;) {
        size_t hit = findFolded(text, word, at);
        if (hit == std::string::npos)
            break;
        out += helpers::escapeMarkup(text.substr(at, hit - at), isName) + markOpen +
               helpers::escapeMarkup(text.substr(hit, word.size()), isName) + markClose;
        at = hit + word.size();
    }
    return out + helpers::escapeMarkup(text.substr(at), isName);
}

std::string SearchService::summary(const std::string &text, const std::string &word)
{
    const size_t before = 30, after = 90; // characters around the first hit
    size_t hit = findFolded(text, word, 0);
    size_t start = 0;
    if (hit != std::string::npos) {
        // Walk back `before` characters from the hit on character boundaries.
        std::vector<size_t> starts;
        for (size_t i = 0; i < hit; i += helpers::utf8Step(text, i))
            starts.push_back(i);
        start = starts.size() > before ? starts[starts.size() - before] : 0;
    }
    size_t end = start;
    size_t count = 0;
    size_t limit = before + after;
    while (end < text.size() && count < limit) {
        end += helpers::utf8Step(text, end);
        ++count;
    }
    std::string excerpt = text.substr(start, end - start);
    for (char &c : excerpt)
        if (c == '\r' || c == '\t')
            c = ' ';
    std::string out = highlight(excerpt, word, false);
    if (start > 0)
        out = "..." + out;
    if (end < text.size())
        out += "...";
    return out;
}

json SearchService::search(const Session &s, const SearchQuery &query)
{
    std::string word = helpers::trim(query.keyword);
    if (word.empty())
        throw ServiceError(CodeBadInput, "请输入关键词");
    if (helpers::utf8Length(word) > 100)
        throw ServiceError(CodeBadInput, "关键词太长");

    int64_t from = 0, to = 0;
    if (!query.startDate.empty() || !query.endDate.empty()) {
        from = helpers::parseLocalDate(query.startDate);
        int64_t last = helpers::parseLocalDate(query.endDate);
        if ((!query.startDate.empty() && from == 0) || (!query.endDate.empty() && last == 0))
            throw ServiceError(CodeBadInput, "日期格式错误");
        to = last > 0 ? helpers::endOfLocalDay(last) : 0;
    }
    std::set<std::string> extensions;
    for (const std::string &e : helpers::splitList(query.extensions)) {
        std::string ext = lowerText(e);
        if (!ext.empty() && ext[0] == '.')
            ext.erase(0, 1);
        extensions.insert(ext);
    }
    std::string directory = query.directoryId == "0" ? std::string() : query.directoryId;

    // The trigram index needs three characters; shorter words are scanned.
    const int candidates = 2000;
    std::vector<SearchDoc> docs = helpers::utf8Length(word) >= 3 ? store.matchDocs(word, candidates)
                                                                 : store.scanDocs(word, candidates);
    Rights rights(store, s, helpers::nowMs());
    json hits = json::array();
    for (const SearchDoc &doc : docs) {
        if (static_cast<int>(hits.size()) >= maxHits)
            break;
        auto item = store.item(doc.itemId);
        if (!item || item->space != lib)
            continue;
        if (!extensions.empty() && !extensions.count(item->ext))
            continue;
        if (!query.creatorId.empty() && item->creatorId != query.creatorId)
            continue;
        if (from > 0 && item->modifiedAt < from)
            continue;
        if (to > 0 && item->modifiedAt >= to)
            continue;
        std::vector<std::string> chain;
        for (const Item &a : store.ancestors(item->id))
            chain.push_back(a.id);
        if (!directory.empty() && std::find(chain.begin(), chain.end(), directory) == chain.end())
            continue;
        std::string letters = rights.letters(*item, chain);
        if (!Rights::has(letters, 'A') && !Rights::has(letters, 'V'))
            continue;
        // A user who may only see that the file exists learns nothing of its
        // text: no excerpt, and no hit that only the text could have given.
        bool reads = Rights::has(letters, 'V') || Rights::has(letters, 'D');
        if (!reads && findFolded(item->name, word, 0) == std::string::npos)
            continue;
        hits.push_back(json{{"fileId", item->id},
                            {"parentId", item->parentId},
                            {"fileName", highlight(item->name, word, true)},
                            {"summary", reads ? summary(doc.body, word) : std::string()},
                            {"fileExt", item->ext},
                            {"fileLength", item->size},
                            {"lastModifyTime", item->modifiedAt},
                            {"createTime", item->createdAt},
                            {"user", item->creatorName},
                            {"creatorId", item->creatorId},
                            {"version", item->currentVersion},
                            {"version_desc", item->memo},
                            {"md5", item->md5},
                            {"authList", Rights::joined(letters)}});
    }
    return hits;
}
