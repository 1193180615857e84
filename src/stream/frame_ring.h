#pragma once
// The 32 frame slots between the receive loop and the frame clock. The
// receive loop puts fragments in; each clock tick takes the oldest slot out
// and shows it when it may be shown: a key frame, or the frame that follows
// the last one shown (frame numbers wrap round from 0xFFFFFFFF to 0). After
// any gap the picture waits for a key frame.
//
// Threads: one producer (Insert, the receive loop) and one consumer (Tick,
// the frame clock). filledCount is the hand-over: the consumer only touches
// the slot at readIndex while two or more slots are in use, so it is never
// the slot being filled; a slot's fields are atomics so that the full-ring
// check of the producer may read a slot the consumer is emptying. Reset only
// while neither thread runs.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "device/frame_assembler.h"
#include "device/session_packet.h"

namespace lumivex {

struct FrameSlot {
  std::atomic<int32_t> frameNumber{0};
  std::atomic<int32_t> fragmentsReceived{0};
  std::atomic<int32_t> fragmentCount{0};
  std::atomic<int32_t> complete{0};
  std::atomic<int32_t> keyFrame{0};
  std::atomic<int32_t> byteCount{0};
  std::atomic<int32_t> timestamp{0};
  std::unique_ptr<uint8_t[]> buffer;  // kMaxFrameBytes; fragment i at i * kFragmentBytes
};

// A frame handed to the show step; valid during the call only.
struct ShownFrame {
  const uint8_t* data;
  std::size_t size;
  bool keyFrame;
  int32_t frameNumber;
  int32_t timestamp;
};

enum class TickResult { kIdle, kShown, kDroppedIncomplete, kDroppedGap };

class FrameRing {
 public:
  static constexpr int kSlots = 32;

  FrameRing();

  // Producer. Fragments that do not fit the slot layout are refused.
  void Insert(const VideoFragment& fragment);

  // Consumer: one tick. show is called for a frame that is to be shown.
  TickResult Tick(const std::function<void(const ShownFrame&)>& show);

  // Back to the start: expected frame -1, no slot in use.
  void Reset();

  int filledCount() const { return filledCount_.load(std::memory_order_acquire); }
  // The number the next shown frame may carry without being a key frame;
  // nothing after a gap. Consumer's.
  std::optional<int32_t> expectedFrame() const { return expectedFrame_; }
  bool currentIsKey() const { return currentIsKey_; }       // consumer's
  uint64_t refusedFragments() const { return refused_.load(std::memory_order_relaxed); }

 private:
  void Take(FrameSlot& slot, const VideoFragment& fragment);
  bool Copy(FrameSlot& slot, const VideoFragment& fragment);
  static void Empty(FrameSlot& slot);

  FrameSlot slots_[kSlots];
  int writeIndex_ = 0;  // producer's
  int readIndex_ = 0;   // consumer's
  std::atomic<int> filledCount_{0};
  // Frame numbers come from the camera and may be any 32-bit value: the
  // next one follows with a wrap, and no number marks "none".
  std::optional<int32_t> expectedFrame_;  // consumer's
  bool currentIsKey_ = false;   // consumer's
  std::atomic<uint64_t> refused_{0};
};

}  // namespace lumivex
