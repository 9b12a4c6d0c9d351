#pragma once

#include "service/session.h"
#include "store/records.h"

#include <nlohmann/json.hpp>

#include <string>

class BlobStore;
class Store;

// What the full-text search filters by; empty fields do not filter.
struct SearchQuery
{
    std::string keyword;
    std::string directoryId;
    std::string extensions; // comma list
    std::string creatorId;
    std::string startDate; // "yyyy-MM-dd", modification dates, both days included
    std::string endDate;
};

// The full-text index of the library: the names of its files and the text of
// its text files, kept in an FTS5 table with the trigram tokenizer so that
// Chinese words match without a word list. The file rules call it whenever a
// file appears, changes, is renamed or goes away. Words shorter than three
// characters (most Chinese words) are looked up by a substring scan instead.
class SearchService
{
public:
    // Largest file whose text is indexed; bigger ones are found by name only.
    static constexpr int64_t maxTextBytes = 2 << 20;
    static constexpr int maxHits = 200;

    SearchService(Store &store, BlobStore &blobs);

    // Indexes a library file (anything else is ignored). The caller holds
    // the store's lock and may be inside a transaction.
    void indexFile(const Item &item);
    // Indexes `copy` as a copy of `source`: the text indexed for a library
    // file is taken over instead of being read again.
    void copyFile(const Item &source, const Item &copy);
    void renameFile(const Item &item);
    void dropFile(const std::string &itemId);
    // Indexes every library file once, for data folders written before the
    // index existed (and after the demo seed).
    void ensureIndexed();

    // Hits the user may see ("A" or "V"), best first, with the matched words
    // marked in "fileName" and an excerpt in "summary". Files the user may
    // neither preview nor download ("V", "D") are found by their names only,
    // and their "summary" is empty.
    nlohmann::json search(const Session &s, const SearchQuery &query);

    // The text HTML-escaped (a name keeps its ampersands), with every
    // occurrence of `word` (ASCII letters in any case) in the marking tag.
    static std::string highlight(const std::string &text, const std::string &word, bool isName);
    // A short excerpt of `text` around the first occurrence of `word`,
    // highlighted the same way.
    static std::string summary(const std::string &text, const std::string &word);

private:
    std::string textOf(const Item &item);

    Store &store;
    BlobStore &blobs;
};
