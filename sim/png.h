#pragma once
// PNG pictures made by the sim itself (camera thumbnails): 8-bit RGB, one
// IDAT chunk, no filtering.

#include <cstdint>
#include <string>
#include <string_view>

namespace lumivex::sim {

inline constexpr int kThumbnailWidth = 160;
inline constexpr int kThumbnailHeight = 90;

// rgb holds width * height * 3 bytes, rows top to bottom. Empty on a size
// mismatch or when compression fails.
std::string EncodePng(int width, int height, std::string_view rgb);

// A thumbnail whose colour and pattern follow from name (same name, same picture).
std::string MakeThumbnail(std::string_view name);

}  // namespace lumivex::sim
