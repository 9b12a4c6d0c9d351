#include "service/avatar.h"

#include "service/png.h"

#include <cstdint>
#include <vector>

namespace avatar {

namespace {

// 5 x 7 glyphs, one byte per row, the low five bits from left to right.
const uint8_t letters[26][7] = {
    {14, 17, 17, 31, 17, 17, 17}, {30, 17, 17, 30, 17, 17, 30}, {14, 17, 16, 16, 16, 17, 14},
    {30, 17, 17, 17, 17, 17, 30}, {31, 16, 16, 30, 16, 16, 31}, {31, 16, 16, 30, 16, 16, 16},
    {14, 17, 16, 23, 17, 17, 15}, {17, 17, 17, 31, 17, 17, 17}, {14, 4, 4, 4, 4, 4, 14},
    {7, 2, 2, 2, 2, 18, 12},      {17, 18, 20, 24, 20, 18, 17}, {16, 16, 16, 16, 16, 16, 31},
    {17, 27, 21, 21, 17, 17, 17}, {17, 17, 25, 21, 19, 17, 17}, {14, 17, 17, 17, 17, 17, 14},
    {30, 17, 17, 30, 16, 16, 16}, {14, 17, 17, 17, 21, 18, 13}, {30, 17, 17, 30, 20, 18, 17},
    {15, 16, 16, 14, 1, 1, 30},   {31, 4, 4, 4, 4, 4, 4},       {17, 17, 17, 17, 17, 17, 14},
    {17, 17, 17, 17, 17, 10, 4},  {17, 17, 17, 21, 21, 21, 10}, {17, 17, 10, 4, 10, 17, 17},
    {17, 17, 10, 4, 4, 4, 4},     {31, 1, 2, 4, 8, 16, 31},
};
const uint8_t digits[10][7] = {
    {14, 17, 19, 21, 25, 17, 14}, {4, 12, 4, 4, 4, 4, 14},     {14, 17, 1, 2, 4, 8, 31},
    {31, 2, 4, 2, 1, 17, 14},     {2, 6, 10, 18, 31, 2, 2},    {31, 16, 30, 1, 1, 17, 14},
    {6, 8, 16, 30, 17, 17, 14},   {31, 1, 2, 4, 8, 8, 8},      {14, 17, 17, 14, 17, 17, 14},
    {14, 17, 17, 15, 1, 2, 12},
};
const uint8_t colours[][3] = {{0x1e, 0x88, 0xe5}, {0x43, 0xa0, 0x47}, {0xe5, 0x39, 0x35},
                              {0x8e, 0x24, 0xaa}, {0xfb, 0x8c, 0x00}, {0x00, 0x89, 0x7b},
                              {0x3f, 0x51, 0xb5}, {0x6d, 0x4c, 0x41}};

} // namespace

std::string generate(const std::string &userId, const std::string &account)
{
    const int size = 64, scale = 6;
    uint32_t hash = 2166136261u;
    for (unsigned char c : userId)
        hash = (hash ^ c) * 16777619u;
    const uint8_t *bg = colours[hash % (sizeof colours / sizeof colours[0])];

    std::vector<uint8_t> rgb(size * size * 3);
    for (int i = 0; i < size * size; ++i) {
        rgb[i * 3] = bg[0];
        rgb[i * 3 + 1] = bg[1];
        rgb[i * 3 + 2] = bg[2];
    }
    const uint8_t *glyph = nullptr;
    char c = account.empty() ? '?' : account[0];
    if (c >= 'a' && c <= 'z')
        glyph = letters[c - 'a'];
    else if (c >= 'A' && c <= 'Z')
        glyph = letters[c - 'A'];
    else if (c >= '0' && c <= '9')
        glyph = digits[c - '0'];
    if (glyph) {
        const int left = (size - 5 * scale) / 2, top = (size - 7 * scale) / 2;
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col) {
                if (!(glyph[row] & (16 >> col)))
                    continue;
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx) {
                        int p = ((top + row * scale + dy) * size + left + col * scale + dx) * 3;
                        rgb[p] = rgb[p + 1] = rgb[p + 2] = 0xff;
                    }
            }
    }
    return png::encode(size, size, rgb);
}

} // namespace avatar
