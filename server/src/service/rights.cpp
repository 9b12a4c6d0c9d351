#include "service/rights.h"

#include "store/store.h"

const char *const Rights::allLetters = "ACMVPDERL";

Rights::Rights(Store &store, const Session &session, int64_t now)
    : store(store), session(session), at(now)
{
}

void Rights::load()
{
    // Only the grants naming this user or the user's groups are read, so the
    // cost follows the user's grants, not all the grants of the system.
    loaded = true;
    for (Grant &g : store.grantsFor(session.userId(), session.groups, at))
        mine[g.itemId].push_back(std::move(g));
}

namespace {

// Whether a grant with this range on a folder `depth` levels above the item
// (0: on the item itself) reaches the item.
bool reaches(int range, int depth, bool itemIsFolder)
{
    if (depth == 0)
        return !itemIsFolder || range <= 4;
    if (itemIsFolder)
        return range == 1 || range == 2 || range == 5 || range == 6;
    if (depth == 1)
        return range == 1 || range == 3 || range == 5 || range == 7;
    return range == 1 || range == 5;
}

void merge(std::string &out, const std::string &letters)
{
    for (char c : letters)
        if (std::string(Rights::allLetters).find(c) != std::string::npos &&
            out.find(c) == std::string::npos)
            out += c;
}

} // namespace

void Rights::addFrom(const std::string &holder, int depth, bool isFolder, std::string &out)
{
    if (!loaded)
        load();
    auto it = mine.find(holder);
    if (it == mine.end())
        return;
    for (const Grant &g : it->second)
        if (reaches(g.appRange, depth, isFolder))
            merge(out, g.letters);
}

std::string Rights::letters(const Item &item, const std::vector<std::string> &ancestorIds)
{
    // Net disk items belong to their owner; other users (administrators
    // included) reach them only through grants of a net disk share.
    bool library = item.space == "lib";
    if (item.creatorId == session.userId() || item.space == session.userId() ||
        (library && session.isAdmin()))
        return allLetters;
    std::string out;
    addFrom(item.id, 0, item.isFolder(), out);
    int depth = 1;
    for (const std::string &id : ancestorIds)
        addFrom(id, depth++, item.isFolder(), out);
    if (library)
        addFrom("0", depth, item.isFolder(), out);
    if (out.find('L') != std::string::npos)
        return allLetters;
    return out;
}

std::string Rights::letters(const Item &item)
{
    std::vector<std::string> ids;
    for (const Item &a : store.ancestors(item.id))
        ids.push_back(a.id);
    return letters(item, ids);
}

std::string Rights::topLetters()
{
    if (session.isAdmin())
        return allLetters;
    std::string out;
    addFrom("0", 0, true, out);
    if (out.find('L') != std::string::npos)
        return allLetters;
    return out;
}

bool Rights::has(const std::string &letters, char letter)
{
    return letters.find(letter) != std::string::npos || letters.find('L') != std::string::npos;
}

std::string Rights::joined(const std::string &letters)
{
    std::string out;
    for (const char *p = allLetters; *p; ++p) {
        if (letters.find(*p) == std::string::npos)
            continue;
        if (!out.empty())
            out += ',';
        out += *p;
    }
    return out;
}
