#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes a ZIP archive with stored (uncompressed) entries: enough for the demo
// data's Office documents and archives, which are ZIP containers.
class ZipWriter
{
public:
    void add(const std::string &name, const std::string &content);
    std::string finish();

private:
    struct Entry {
        std::string name;
        uint32_t crc;
        uint32_t size;
        uint32_t offset;
    };
    std::string out;
    std::vector<Entry> entries;
};
