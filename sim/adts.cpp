#include "sim/adts.h"

#include <cstdint>

namespace lumivex::sim {
namespace {

constexpr int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350};
constexpr int kRateCount = 13;

}  // namespace

int AdtsRateIndex(int rate) {
  for (int i = 0; i < kRateCount; ++i)
    if (kRates[i] == rate) return i;
  return -1;
}

std::string AdtsHeader(int sampleRate, int channels, std::size_t rawBytes) {
  const std::size_t length = rawBytes + kAdtsHeaderBytes;
  const int rate = AdtsRateIndex(sampleRate);
  std::string h(kAdtsHeaderBytes, '\0');
  h[0] = static_cast<char>(0xFF);
  h[1] = static_cast<char>(0xF1);  // MPEG-4, no CRC
  h[2] = static_cast<char>(1 << 6 | rate << 2 | (channels >> 2 & 1));  // profile LC
  h[3] = static_cast<char>((channels & 3) << 6 | (length >> 11 & 3));
  h[4] = static_cast<char>(length >> 3 & 0xFF);
  h[5] = static_cast<char>((length & 7) << 5 | 0x1F);
  h[6] = static_cast<char>(0xFC);
  return h;
}

bool SplitAdtsFrames(std::string_view payload, std::vector<AdtsFrame>& out, std::string& why) {
  std::vector<AdtsFrame> frames;
  std::size_t at = 0;
  while (at < payload.size()) {
    const std::string where = " at byte " + std::to_string(at);
    if (payload.size() - at < kAdtsHeaderBytes) {
      why = "a cut ADTS header" + where;
      return false;
    }
    auto u = [&](std::size_t i) { return static_cast<unsigned>(static_cast<uint8_t>(payload[at + i])); };
    if (u(0) != 0xFF || (u(1) & 0xF6) != 0xF0) {
      why = "no ADTS sync word" + where;
      return false;
    }
    const int rateIndex = static_cast<int>(u(2) >> 2 & 0xF);
    if (rateIndex >= kRateCount) {
      why = "an ADTS sampling-frequency index " + std::to_string(rateIndex) + where;
      return false;
    }
    if ((u(6) & 3) != 0) {
      why = "an ADTS frame of several raw data blocks" + where;
      return false;
    }
    const std::size_t header = (u(1) & 1) ? kAdtsHeaderBytes : kAdtsHeaderBytes + 2;  // + CRC
    const std::size_t length = (u(3) & 3) << 11 | u(4) << 3 | u(5) >> 5;
    if (length <= header) {
      why = "an ADTS frame length of " + std::to_string(length) + where;
      return false;
    }
    if (length > payload.size() - at) {
      why = "an ADTS frame of " + std::to_string(length) + " bytes with " + std::to_string(payload.size() - at) +
            " left" + where;
      return false;
    }
    AdtsFrame f;
    f.bytes = payload.substr(at, length);
    f.sampleRate = kRates[rateIndex];
    f.channels = static_cast<int>((u(2) & 1) << 2 | u(3) >> 6);
    f.profile = static_cast<int>(u(2) >> 6);
    frames.push_back(f);
    at += length;
  }
  out = std::move(frames);
  return true;
}

}  // namespace lumivex::sim
