#include "seed/zipwriter.h"

#include "service/png.h"

namespace {

void put16(std::string &out, uint32_t v)
{
    out += static_cast<char>(v & 0xff);
    out += static_cast<char>((v >> 8) & 0xff);
}

void put32(std::string &out, uint32_t v)
{
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

} // namespace

void ZipWriter::add(const std::string &name, const std::string &content)
{
    Entry e{name, png::crc32(content), static_cast<uint32_t>(content.size()),
            static_cast<uint32_t>(out.size())};
    put32(out, 0x04034b50);
    put16(out, 20);
    put16(out, 0x0800); // names are UTF-8
    put16(out, 0);      // stored
    put16(out, 0);
    put16(out, 0x21);
    put32(out, e.crc);
    put32(out, e.size);
    put32(out, e.size);
    put16(out, static_cast<uint32_t>(name.size()));
    put16(out, 0);
    out += name;
    out += content;
    entries.push_back(e);
}

std::string ZipWriter::finish()
{
    uint32_t start = static_cast<uint32_t>(out.size());
    for (const Entry &e : entries) {
        put32(out, 0x02014b50);
        put16(out, 20);
        put16(out, 20);
        put16(out, 0x0800);
        put16(out, 0);
        put16(out, 0);
        put16(out, 0x21);
        put32(out, e.crc);
        put32(out, e.size);
        put32(out, e.size);
        put16(out, static_cast<uint32_t>(e.name.size()));
        put16(out, 0);
        put16(out, 0);
        put16(out, 0);
        put16(out, 0);
        put32(out, 0);
        put32(out, e.offset);
        out += e.name;
    }
    uint32_t size = static_cast<uint32_t>(out.size()) - start;
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<uint32_t>(entries.size()));
    put16(out, static_cast<uint32_t>(entries.size()));
    put32(out, size);
    put32(out, start);
    put16(out, 0);
    return out;
}
