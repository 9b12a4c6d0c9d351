#pragma once

#include <string>

// A large library generated straight into a data folder (with the demo data
// first), for listings that must stay right and fast however large the
// library is. Under the top folder "生成的库" (visible to zhangsan, only the
// folder itself):
// - "大文件夹": `wideEntries` children, half folders "目录NNNNNN" and half files
//   "文件NNNNNN.txt"; zhangsan may see every `visibleEvery`-th of them;
// - "百项": 100 files, visible to zhangsan;
// - "其余": folders of 100 files each, until the library holds `totalItems`
//   generated items; each of their files carries a grant to lisi, so the
//   system has that many grants that are not zhangsan's.
struct GeneratedLibrary
{
    struct Options
    {
        int totalItems = 20000;
        int wideEntries = 5000;
        int visibleEvery = 3;
        // Each file with content of its own (a blob per file) instead of one
        // content shared by all.
        bool distinctContents = false;
    };

    // Seeds `dataDir` with the demo data (when empty) and adds the library.
    static GeneratedLibrary create(const std::string &dataDir, const Options &options);

    std::string topId;
    std::string wideId;
    std::string hundredId;
    int visibleToZhangsan = 0; // children of "大文件夹" that zhangsan sees
    int grants = 0;            // grants added for lisi
};
