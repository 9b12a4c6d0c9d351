#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A minimal PNG encoder (8-bit RGB, stored deflate blocks) for pictures the
// server draws itself: generated avatars and the demo images.
namespace png {

std::string encode(int width, int height, const std::vector<uint8_t> &rgb);
uint32_t crc32(const std::string &data, uint32_t crc = 0);

} // namespace png
