#pragma once
// ADTS, the framing of the AAC frames on the wire: the camera writes its
// headers and reads the client's talk-back frames by them.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lumivex::sim {

inline constexpr std::size_t kAdtsHeaderBytes = 7;  // without CRC

// The ADTS sampling-frequency index of rate; -1 when ADTS has none.
int AdtsRateIndex(int sampleRate);
// A 7-byte ADTS header (AAC-LC, no CRC) for a raw frame of rawBytes.
std::string AdtsHeader(int sampleRate, int channels, std::size_t rawBytes);

struct AdtsFrame {
  std::string_view bytes;  // header included
  int sampleRate = 0;
  int channels = 0;
  int profile = 0;  // the object type less one: 1 is AAC-LC
};

// Cuts payload into whole ADTS frames. False with why when a header is
// not one (sync word, layer, rate index, length) or the last frame runs
// past the end. An empty payload holds no frames.
bool SplitAdtsFrames(std::string_view payload, std::vector<AdtsFrame>& out, std::string& why);

}  // namespace lumivex::sim
