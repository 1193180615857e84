#pragma once
// The audio rings of a camera, each with one producer and one consumer and
// no lock: the camera's packets on their way from the receive loop to the
// player, and the captured blocks on their way from the microphone to the
// talk-back sender. An entry in use is never overwritten; what finds no
// room is dropped.
//
// Memory order: the producer fills an entry and then publishes it (full flag
// or count, release); the consumer sees it (acquire), uses it, and gives it
// back the same way. Reset only while neither side runs.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace lumivex {

inline constexpr int kAudioRingEntries = 32;
inline constexpr std::size_t kMaxAacFrameBytes = 1024;
inline constexpr std::size_t kSpeexPacketBytes = 200;

class AudioPacketRing {
 public:
  enum class Rule { kUpTo, kExactly };
  enum class Stored { kStored, kWrongSize, kFull };

  // Entries of up to (or of exactly) entryBytes.
  AudioPacketRing(std::size_t entryBytes, Rule rule);

  // Producer.
  Stored Store(std::string_view payload, int32_t timestamp);
  // Consumer: the entry at the read index, when it is full; valid until Pop.
  bool Front(std::string_view& payload, int32_t& timestamp) const;
  void Pop();

  void Reset();
  uint64_t stored() const { return stored_; }
  uint64_t droppedFull() const { return droppedFull_; }
  uint64_t droppedSize() const { return droppedSize_; }

 private:
  struct Entry {
    std::atomic<bool> full{false};
    int32_t timestamp = 0;
    std::size_t length = 0;
  };

  const std::size_t entryBytes_;
  const Rule rule_;
  std::vector<char> buffers_;
  std::array<Entry, kAudioRingEntries> entries_;
  std::atomic<int> writeIndex_{0}, readIndex_{0};
  std::atomic<uint64_t> stored_{0}, droppedFull_{0}, droppedSize_{0};
};

// Packets 0x5B: one AAC frame (with its ADTS header) of at most 1024 bytes.
class AacRing : public AudioPacketRing {
 public:
  AacRing() : AudioPacketRing(kMaxAacFrameBytes, Rule::kUpTo) {}
};

// Packets 0x5A: ten Speex frames, exactly 200 bytes.
class SpeexRing : public AudioPacketRing {
 public:
  SpeexRing() : AudioPacketRing(kSpeexPacketBytes, Rule::kExactly) {}
};

// Captured blocks for the talk-back sender.
class TalkRing {
 public:
  // Makes room for 32 blocks of blockBytes, all free.
  void Reset(std::size_t blockBytes);
  // Producer: false (block dropped) when all 32 are in use or the size is
  // not the block size.
  bool Push(const uint8_t* data, std::size_t size);
  // Consumer: the oldest block in use, or null; valid until Pop.
  const uint8_t* Front() const;
  void Pop();

  int count() const { return count_; }
  std::size_t blockBytes() const { return blockBytes_; }

 private:
  std::vector<uint8_t> blocks_;
  std::size_t blockBytes_ = 0;
  std::atomic<int> count_{0};
  std::atomic<int> writeIndex_{0}, readIndex_{0};
};

}  // namespace lumivex
