// Writes 32-bit 0xAARRGGBB pixels as a PNG file (the window tests' screenshots).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

bool writePng(const std::string& path, int width, int height,
              const std::vector<std::uint32_t>& pixels);

}  // namespace testsupport
