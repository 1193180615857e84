#pragma once
// The cameras' sound: a 1000 Hz tone, encoded once and looped. Speex
// narrowband at quality 4 (8000 Hz, 20-byte frames, ten to a 200-byte
// packet every 200 ms) or AAC-LC from FFmpeg's encoder, mono, one frame
// of 1024 samples a packet, each with its ADTS header.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/adts.h"

namespace lumivex::sim {

inline constexpr double kToneHz = 1000;

inline constexpr std::size_t kSpeexFrameBytes = 20;
inline constexpr std::size_t kSpeexPacketBytes = 200;
inline constexpr std::size_t kMaxAacFrameBytes = 1024;

struct AudioClip {
  uint8_t packetType = 0;            // 0x5A Speex, 0x5B AAC
  int sampleRate = 8000;
  double periodMs = 200;             // between packets
  std::vector<std::string> payloads; // one packet each, in order
};

bool EncodeSpeexTone(AudioClip& out, std::string& error);
// sampleRate: one of the ADTS sampling frequencies.
bool EncodeAacTone(int sampleRate, AudioClip& out, std::string& error);

// Encodes each kind once; null when encoding failed (logged).
class AudioCache {
 public:
  std::shared_ptr<const AudioClip> Speex();
  std::shared_ptr<const AudioClip> Aac(int sampleRate);

 private:
  std::shared_ptr<const AudioClip> Get(int sampleRate);  // 0: Speex

  std::mutex mutex_;
  std::map<int, std::shared_ptr<const AudioClip>> clips_;  // 0: Speex, else the AAC rate
};

}  // namespace lumivex::sim
