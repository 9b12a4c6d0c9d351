#pragma once

#include "service/session.h"
#include "store/records.h"

#include <map>
#include <string>
#include <vector>

class Store;

// The rights letters of one user on library items. Letters come from grants to
// the user or to any of the user's groups, on the item itself or on a folder
// above it; a folder grant reaches down according to its appRange:
//   1 the folder, its subfolders and files   2 the folder and its subfolders
//   3 the folder and its own files           4 only the folder
//   5 everything below, not the folder       6 only the subfolders
//   7 only the folder's own files
// Administrators hold "L" everywhere in the library, creators on what they
// created, owners on their net disk; "L" means every letter. Rights are those
// in force at the moment given to the constructor, so the rights of an
// earlier moment can be compared with today's.
class Rights
{
public:
    static const char *const allLetters; // "ACMVPDERL"

    Rights(Store &store, const Session &session, int64_t now);

    // Letters on an item whose ancestors (nearest first, without the top "0")
    // are given; the store is asked for them when they are not.
    std::string letters(const Item &item, const std::vector<std::string> &ancestorIds);
    std::string letters(const Item &item);
    // Letters on the top of the library (grants on "0" for the folder itself).
    std::string topLetters();

    static bool has(const std::string &letters, char letter);
    // "A,C,M": the letters joined with "," in their fixed order.
    static std::string joined(const std::string &letters);

private:
    void addFrom(const std::string &holder, int depth, bool isFolder, std::string &out);

    // Reads the grants that name the user or the user's groups, on first need.
    void load();

    Store &store;
    const Session &session;
    int64_t at;
    bool loaded = false;
    std::map<std::string, std::vector<Grant>> mine; // grants that name this user, by item
};
