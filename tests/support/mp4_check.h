#pragma once
// A recording read back with libavformat, every packet decoded with libavcodec.

extern "C" {
#include <libavutil/rational.h>
}

#include <cstdint>
#include <string>
#include <vector>

namespace lumivex::test {

struct Mp4Facts {
  AVRational timeBase{0, 1};
  std::vector<int64_t> durations;
  std::vector<bool> keys;
  int decoded = 0;
};

// False, with why, when the file does not open as one H.264 stream.
bool ReadMp4(const std::string& path, Mp4Facts& facts, std::string& why);

}  // namespace lumivex::test
