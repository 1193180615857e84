#include "stream/audio_ring.h"

#include <cstring>

namespace lumivex {
namespace {

int Next(int index) { return (index + 1) % kAudioRingEntries; }

}  // namespace

AudioPacketRing::AudioPacketRing(std::size_t entryBytes, Rule rule)
    : entryBytes_(entryBytes), rule_(rule), buffers_(entryBytes * kAudioRingEntries) {}

AudioPacketRing::Stored AudioPacketRing::Store(std::string_view payload, int32_t timestamp) {
  const bool fits = rule_ == Rule::kExactly ? payload.size() == entryBytes_
                                            : !payload.empty() && payload.size() <= entryBytes_;
  if (!fits) {
    droppedSize_.fetch_add(1, std::memory_order_relaxed);
    return Stored::kWrongSize;
  }
  const int index = writeIndex_.load(std::memory_order_relaxed);
  Entry& entry = entries_[index];
  if (entry.full.load(std::memory_order_acquire)) {
    droppedFull_.fetch_add(1, std::memory_order_relaxed);
    return Stored::kFull;
  }
  std::memcpy(buffers_.data() + index * entryBytes_, payload.data(), payload.size());
  entry.length = payload.size();
  entry.timestamp = timestamp;
  entry.full.store(true, std::memory_order_release);
  writeIndex_.store(Next(index), std::memory_order_relaxed);
  stored_.fetch_add(1, std::memory_order_relaxed);
  return Stored::kStored;
}

bool AudioPacketRing::Front(std::string_view& payload, int32_t& timestamp) const {
  const int index = readIndex_.load(std::memory_order_relaxed);
  const Entry& entry = entries_[index];
  if (!entry.full.load(std::memory_order_acquire)) return false;
  payload = std::string_view(buffers_.data() + index * entryBytes_, entry.length);
  timestamp = entry.timestamp;
  return true;
}

void AudioPacketRing::Pop() {
  const int index = readIndex_.load(std::memory_order_relaxed);
  entries_[index].full.store(false, std::memory_order_release);
  readIndex_.store(Next(index), std::memory_order_relaxed);
}

void AudioPacketRing::Reset() {
  for (Entry& entry : entries_) {
    entry.full.store(false, std::memory_order_relaxed);
    entry.length = 0;
    entry.timestamp = 0;
  }
  writeIndex_ = 0;
  readIndex_ = 0;
}

void TalkRing::Reset(std::size_t blockBytes) {
  blockBytes_ = blockBytes;
  blocks_.assign(blockBytes * kAudioRingEntries, 0);
  count_ = 0;
  writeIndex_ = 0;
  readIndex_ = 0;
}

bool TalkRing::Push(const uint8_t* data, std::size_t size) {
  if (size != blockBytes_ || blockBytes_ == 0 || count_.load(std::memory_order_acquire) >= kAudioRingEntries)
    return false;
  const int index = writeIndex_.load(std::memory_order_relaxed);
  std::memcpy(blocks_.data() + index * blockBytes_, data, size);
  writeIndex_.store(Next(index), std::memory_order_relaxed);
  count_.fetch_add(1, std::memory_order_release);
  return true;
}

const uint8_t* TalkRing::Front() const {
  if (count_.load(std::memory_order_acquire) == 0) return nullptr;
  return blocks_.data() + readIndex_.load(std::memory_order_relaxed) * blockBytes_;
}

void TalkRing::Pop() {
  if (count_.load(std::memory_order_acquire) == 0) return;
  readIndex_.store(Next(readIndex_.load(std::memory_order_relaxed)), std::memory_order_relaxed);
  count_.fetch_sub(1, std::memory_order_release);
}

}  // namespace lumivex
