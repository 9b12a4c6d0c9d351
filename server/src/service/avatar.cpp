#include "service/avatar.h"

#include "service/png.h"

#include <algorithm>
#include <cmath>
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
    {14, 17, 19, 21, 25, 17, 14}, {4, 12, 4, 4, 4, 4, 14},  {14, 17, 1, 2, 4, 8, 31},
    {31, 2, 4, 2, 1, 17, 14},     {2, 6, 10, 18, 31, 2, 2}, {31, 16, 30, 1, 1, 17, 14},
    {6, 8, 16, 30, 17, 17, 14},   {31, 1, 2, 4, 8, 8, 8},   {14, 17, 17, 14, 17, 17, 14},
    {14, 17, 17, 15, 1, 2, 12},
};
struct Segment
{
    double x1, y1, x2, y2;
};

double distance(const Segment &s, double px, double py)
{
    const double dx = s.x2 - s.x1, dy = s.y2 - s.y1;
    const double length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? ((px - s.x1) * dx + (py - s.y1) * dy) / length2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(px - (s.x1 + t * dx), py - (s.y1 + t * dy));
}

const uint8_t colours[][3] = {{0x1e, 0x88, 0xe5}, {0x43, 0xa0, 0x47}, {0xe5, 0x39, 0x35},
                              {0x8e, 0x24, 0xaa}, {0xfb, 0x8c, 0x00}, {0x00, 0x89, 0x7b},
                              {0x3f, 0x51, 0xb5}, {0x6d, 0x4c, 0x41}};

} // namespace

int sizeFrom(const std::string &requested)
{
    int size = defaultSize;
    if (!requested.empty() && requested.size() <= 4 &&
        requested.find_first_not_of("0123456789") == std::string::npos)
        size = std::stoi(requested);
    return std::clamp(size, minSize, maxSize);
}

std::string generate(const std::string &userId, const std::string &account, int size)
{
    size = std::clamp(size, minSize, maxSize);
    uint32_t hash = 2166136261u;
    for (unsigned char c : userId)
        hash = (hash ^ c) * 16777619u;
    const uint8_t *bg = colours[hash % (sizeof colours / sizeof colours[0])];

    const uint8_t *glyph = nullptr;
    char c = account.empty() ? '?' : account[0];
    if (c >= 'a' && c <= 'z')
        glyph = letters[c - 'a'];
    else if (c >= 'A' && c <= 'Z')
        glyph = letters[c - 'A'];
    else if (c >= '0' && c <= '9')
        glyph = digits[c - '0'];

    // The glyph's lit cells become the joints of round-capped strokes: each
    // cell is joined to its lit neighbours (a diagonal only where no corner
    // already joins the two), so the letter is drawn as smooth lines.
    std::vector<Segment> strokes;
    if (glyph) {
        auto lit = [glyph](int row, int col) {
            return row >= 0 && row < 7 && col >= 0 && col < 5 && (glyph[row] & (16 >> col));
        };
        bool touched[7][5] = {};
        auto join = [&](int row, int col, int row2, int col2) {
            strokes.push_back({double(col), double(row), double(col2), double(row2)});
            touched[row][col] = touched[row2][col2] = true;
        };
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col) {
                if (!lit(row, col))
                    continue;
                if (lit(row, col + 1))
                    join(row, col, row, col + 1);
                if (lit(row + 1, col))
                    join(row, col, row + 1, col);
                for (int dc : {-1, 1}) {
                    if (lit(row + 1, col + dc) && !lit(row, col + dc) && !lit(row + 1, col))
                        join(row, col, row + 1, col + dc);
                }
            }
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col) {
                if (lit(row, col) && !touched[row][col])
                    join(row, col, row, col); // a lone dot
            }
    }

    // Grid to pixels: seven rows over a little more than half the picture,
    // centred; the stroke is a little over a cell wide.
    const double pitch = size * 0.085;
    const double half = pitch * 0.55;
    const double originX = size / 2.0 - 2 * pitch, originY = size / 2.0 - 3 * pitch;
    for (Segment &s : strokes) {
        s.x1 = originX + s.x1 * pitch;
        s.y1 = originY + s.y1 * pitch;
        s.x2 = originX + s.x2 * pitch;
        s.y2 = originY + s.y2 * pitch;
    }

    std::vector<uint8_t> rgb(size_t(size) * size * 3);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            // Coverage from the distance of the pixel's centre to the nearest
            // stroke: one pixel of soft edge, which is the anti-aliasing.
            const double px = x + 0.5, py = y + 0.5;
            double nearest = 1e9;
            for (const Segment &s : strokes)
                nearest = std::min(nearest, distance(s, px, py));
            const double cover = std::clamp(half - nearest + 0.5, 0.0, 1.0);
            uint8_t *p = &rgb[(size_t(y) * size + x) * 3];
            for (int k = 0; k < 3; ++k)
                p[k] = uint8_t(std::lround(bg[k] + (255 - bg[k]) * cover));
        }
    return png::encode(size, size, rgb);
}

} // namespace avatar
