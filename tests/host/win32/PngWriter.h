// A minimal PNG writer for test artifacts: 8-bit RGB, stored (uncompressed) deflate blocks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Rows top to bottom, 3 bytes per pixel (red, green, blue). Returns false when the file
// cannot be written.
bool writePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);

// Exposed for the encoder's own checks.
uint32_t pngCrc32(const uint8_t* data, size_t size, uint32_t crc = 0);
uint32_t pngAdler32(const uint8_t* data, size_t size);
std::vector<uint8_t> encodePng(int width, int height, const std::vector<uint8_t>& rgb);
