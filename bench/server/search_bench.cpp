// Full-text search of folvane-server: the trigram index against the plain
// substring scan over the same documents, in the same run. Builds an index of
// generated Chinese documents in a temporary data folder, then times queries
// of a four-character word found in one document, in 10 % and in 50 % of
// them, through the index and through the scan (the path that words of one or
// two characters take), alternating, and prints min / median / max of each
// and the ratio of the medians.

#include "store/store.h"
#include "store/transaction.h"

#include <algorithm>
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
        std::string rare;
        const std::string inTenth = "甲乙丙丁", inHalf = "戊己庚辛";
        auto start = std::chrono::steady_clock::now();
        {
            Transaction tx(store.database());
            for (int i = 0; i < documents; ++i) {
                std::string body;
                for (int c = 0; c < 700; ++c)
                    body += c % 40 == 39 ? std::string("\n") : character();
                if (i == documents / 2)
                    rare = body.substr(30, 12); // four characters of one document
                if (i % 10 == 3)
                    body += inTenth;
                if (i % 2 == 1)
                    body += inHalf;
                char id[17];
                std::snprintf(id, sizeof id, "%016x", i);
                store.indexDoc(SearchDoc{id, "文档" + std::to_string(i) + ".txt", body});
            }
            tx.commit();
        }
        double indexing = secondsSince(start);
        std::printf("indexed %d documents of about 2 KB in %.2f s (%.0f documents/s)\n", documents,
                    indexing, documents / indexing);
        std::printf("each figure: min / median / max of 5 alternating runs of %d queries\n",
                    queries);

        auto stats = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            char text[96];
            std::snprintf(text, sizeof text, "%7.2f / %7.2f / %7.2f ms", v.front() * 1000,
                          v[v.size() / 2] * 1000, v.back() * 1000);
            return std::make_pair(std::string(text), v[v.size() / 2]);
        };
        const std::pair<const char *, std::string> words[] = {
            {"in one document", rare}, {"in 10 % of them", inTenth}, {"in 50 % of them", inHalf}};
        for (const auto &[what, word] : words) {
            std::vector<double> viaIndex, viaScan;
            size_t indexed = 0, scanned = 0;
            for (int round = 0; round < 5; ++round) {
                start = std::chrono::steady_clock::now();
                for (int q = 0; q < queries; ++q)
                    indexed = store.matchDocs(word, 2000).size();
                viaIndex.push_back(secondsSince(start) / queries);
                start = std::chrono::steady_clock::now();
                for (int q = 0; q < queries; ++q)
                    scanned = store.scanDocs(word, 2000).size();
                viaScan.push_back(secondsSince(start) / queries);
            }
            auto [indexText, indexMedian] = stats(viaIndex);
            auto [scanText, scanMedian] = stats(viaScan);
            std::printf("word %s (hits %zu, %zu):\n  index %s\n  scan  %s\n  scan / index = "
                        "%.1f\n",
                        what, indexed, scanned, indexText.c_str(), scanText.c_str(),
                        scanMedian / indexMedian);
        }
    }
    std::filesystem::remove_all(dir);
    return 0;
}
