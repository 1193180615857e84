#pragma once
// The current picture saved as a 24-bit BMP file in the user's day folder.

#include <cstdint>
#include <string>
#include <string_view>

#include "stream/storage_path.h"

struct AVFrame;

namespace lumivex {

// Writes bgr (rows top to bottom, stride bytes apart, width x 3 bytes used)
// as an uncompressed top-down BMP. A file of the same name is replaced; a
// failed write leaves the old file, or none, and no partial one.
bool WriteBitmapFile(const uint8_t* bgr, int stride, const std::string& path, int height, int width);

// Converts the decoded picture to BGR24 with a converter of its own and
// writes it as ImagePath + userName + "/YYYY-MM-DD/" + stamped ".bmp" name.
// False when a folder level cannot be created (the caller keeps the request
// for the next frame), a name part is unsafe, or the conversion or write
// fails; writtenPath holds the file on success.
bool TakeSnapshot(const AVFrame* picture, const std::string& imagePath, std::string_view userName,
                  std::string_view sid, const LocalStamp& stamp, std::string& writtenPath);

}  // namespace lumivex
