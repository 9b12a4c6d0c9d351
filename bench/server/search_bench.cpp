// Full-text search of folvane-server: the trigram index against the plain
// substring scan over the same documents, in the same run. Builds an index of
// generated Chinese documents in a temporary data folder, then times queries
// of a four-character word through the index and through the scan (the path
// that words of one or two characters take), and prints both and their ratio.

#include "store/store.h"
#include "store/transaction.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv)
{
    int documents = argc > 1 ? std::atoi(argv[1]) : 20000;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int queries = 50;
    char pattern[] = "/tmp/folvane-search-bench-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    std::string dir = pattern;
    {
        Store store(dir + "/folvane.db");
        // Text drawn from the 3500 most common characters' range of the CJK
        // block, so that trigrams are about as selective as in real text.
        std::mt19937 random(42);
        std::uniform_int_distribution<unsigned> pick(0x4e00, 0x4e00 + 3500);
        auto character = [&] {
            unsigned cp = pick(random);
            std::string out;
            out += static_cast<char>(0xe0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (cp & 0x3f));
            return out;
        };
        std::string word;
        auto start = std::chrono::steady_clock::now();
        {
            Transaction tx(store.database());
            for (int i = 0; i < documents; ++i) {
                std::string body;
                for (int c = 0; c < 700; ++c)
                    body += c % 40 == 39 ? std::string("\n") : character();
                if (i == documents / 2)
                    word = body.substr(30, 12); // four characters of one document
                char id[17];
                std::snprintf(id, sizeof id, "%016x", i);
                store.indexDoc(SearchDoc{id, "文档" + std::to_string(i) + ".txt", body});
            }
            tx.commit();
        }
        double indexing = secondsSince(start);
        std::printf("indexed %d documents of about 2 KB in %.2f s (%.0f documents/s)\n", documents,
                    indexing, documents / indexing);

        start = std::chrono::steady_clock::now();
        size_t indexed = 0;
        for (int q = 0; q < queries; ++q)
            indexed += store.matchDocs(word, 2000).size();
        double viaIndex = secondsSince(start) / queries;
        start = std::chrono::steady_clock::now();
        size_t scanned = 0;
        for (int q = 0; q < queries; ++q)
            scanned += store.scanDocs(word, 2000).size();
        double viaScan = secondsSince(start) / queries;
        std::printf(
            "query \"%s\": index %.2f ms, scan %.2f ms, scan / index = %.1f (hits %zu, %zu)\n",
            word.c_str(), viaIndex * 1000, viaScan * 1000, viaScan / viaIndex, indexed / queries,
            scanned / queries);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
