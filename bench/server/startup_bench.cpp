// The sweep of stored contents that no version refers to, in a generated
// library of 20,000 items whose files each have content of their own, beside
// the start of the server on the same data folder until it listens (the
// server sweeps on a thread of its own while it already serves). Runs
// alternate; each figure is min / median / max.
// Usage: startup_bench PATH/TO/folvane-server [runs]

#include "generatedlibrary.h"
#include "serverlauncher.h"
#include "serverprocess.h"
#include "store/blobstore.h"
#include "store/store.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void print(const char *what, std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    std::printf("%-44s %8.1f / %8.1f / %8.1f ms\n", what, v.front(), v[v.size() / 2], v.back());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup_bench PATH/TO/folvane-server [runs]\n");
        return 2;
    }
    const std::string server = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    TempDir dir;
    GeneratedLibrary::Options options;
    options.distinctContents = true;
    GeneratedLibrary::create(dir.path(), options);
    size_t files = 0;
    for (const auto &e : std::filesystem::recursive_directory_iterator(dir.path() + "/blobs"))
        files += e.is_regular_file() ? 1 : 0;
    std::printf("library: 20,000 generated items plus the demo data, %zu stored contents\n", files);

    // A first start builds the search index; the runs measure later starts.
    {
        ServerLauncher first;
        if (!first.start(server, dir.path(), ""))
            return std::fprintf(stderr, "%s\n", first.error().c_str()), 1;
        first.stop();
    }
    std::vector<double> sweep, start;
    for (int i = 0; i < runs; ++i) {
        {
            Store store(dir.path() + "/folvane.db");
            BlobStore blobs(dir.path() + "/blobs");
            std::atomic<bool> stop{false};
            auto t = Clock::now();
            size_t found = blobs.unreferenced(store.blobsInUse(), stop).size();
            sweep.push_back(msSince(t));
            if (found != 0)
                return std::fprintf(stderr, "%zu contents unreferenced\n", found), 1;
        }
        ServerLauncher launcher;
        auto t = Clock::now();
        if (!launcher.start(server, dir.path(), ""))
            return std::fprintf(stderr, "%s\n", launcher.error().c_str()), 1;
        start.push_back(msSince(t));
        launcher.stop();
    }
    print("sweep (read versions, walk the blob folders)", sweep);
    print("server start until it listens", start);
    return 0;
}
