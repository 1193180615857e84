#include "stream/frame_ring.h"

#include <cstring>

namespace lumivex {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

bool Fits(const VideoFragment& f) {
  if (f.fragmentCount < 1 || f.fragmentIndex < 0 || f.fragmentIndex >= f.fragmentCount) return false;
  const std::size_t offset = static_cast<std::size_t>(f.fragmentIndex) * kFragmentBytes;
  return f.payload.size() <= kFragmentBytes && offset + f.payload.size() <= kMaxFrameBytes;
}

}  // namespace

FrameRing::FrameRing() {
  // Not zeroed: only the bytes of copied fragments are ever read, and 64
  // sessions would otherwise keep 600 MiB of zeros resident.
  for (FrameSlot& slot : slots_) slot.buffer = std::make_unique_for_overwrite<uint8_t[]>(kMaxFrameBytes);
}

void FrameRing::Take(FrameSlot& slot, const VideoFragment& f) {
  slot.frameNumber.store(f.frameNumber, kRelaxed);
  slot.timestamp.store(f.timestamp, kRelaxed);
  slot.keyFrame.store(f.keyFrame ? 1 : 0, kRelaxed);
  slot.fragmentCount.store(f.fragmentCount, kRelaxed);
}

// True when the fragment completed the slot's frame.
bool FrameRing::Copy(FrameSlot& slot, const VideoFragment& f) {
  std::memcpy(slot.buffer.get() + static_cast<std::size_t>(f.fragmentIndex) * kFragmentBytes, f.payload.data(),
              f.payload.size());
  slot.byteCount.fetch_add(static_cast<int32_t>(f.payload.size()), kRelaxed);
  const int32_t received = slot.fragmentsReceived.fetch_add(1, kRelaxed) + 1;
  if (received < slot.fragmentCount.load(kRelaxed)) return false;
  slot.complete.store(1, std::memory_order_release);
  return true;
}

void FrameRing::Insert(const VideoFragment& f) {
  if (!Fits(f)) {
    refused_.fetch_add(1, kRelaxed);
    return;
  }
  FrameSlot* slot = &slots_[writeIndex_];
  if (filledCount_.load(std::memory_order_acquire) >= kSlots) {
    // Only the frame being received may still grow; a whole slot is the
    // consumer's to read.
    if (slot->fragmentsReceived.load(kRelaxed) > 0 && slot->frameNumber.load(kRelaxed) == f.frameNumber &&
        !slot->complete.load(std::memory_order_acquire) && slot->fragmentCount.load(kRelaxed) == f.fragmentCount)
      Copy(*slot, f);
    return;
  }
  if (slot->fragmentsReceived.load(kRelaxed) == 0) {
    Take(*slot, f);
    filledCount_.fetch_add(1, std::memory_order_acq_rel);
  } else if (slot->frameNumber.load(kRelaxed) != f.frameNumber) {
    writeIndex_ = (writeIndex_ + 1) % kSlots;
    slot = &slots_[writeIndex_];
    filledCount_.fetch_add(1, std::memory_order_acq_rel);
    Take(*slot, f);
  } else if (slot->fragmentCount.load(kRelaxed) != f.fragmentCount) {
    refused_.fetch_add(1, kRelaxed);  // the same frame cannot change its length
    return;
  }
  if (Copy(*slot, f)) writeIndex_ = (writeIndex_ + 1) % kSlots;
}

void FrameRing::Empty(FrameSlot& slot) {
  slot.byteCount.store(0, kRelaxed);
  slot.keyFrame.store(0, kRelaxed);
  slot.complete.store(0, kRelaxed);
  slot.frameNumber.store(0, kRelaxed);
  slot.fragmentCount.store(0, kRelaxed);
  slot.fragmentsReceived.store(0, std::memory_order_release);
}

TickResult FrameRing::Tick(const std::function<void(const ShownFrame&)>& show) {
  if (filledCount_.load(std::memory_order_acquire) <= 1) return TickResult::kIdle;
  FrameSlot& slot = slots_[readIndex_];
  TickResult result = TickResult::kDroppedGap;
  const int32_t number = slot.frameNumber.load(kRelaxed);
  if (!slot.complete.load(std::memory_order_acquire)) {
    expectedFrame_.reset();
    result = TickResult::kDroppedIncomplete;
  } else {
    const bool key = slot.keyFrame.load(kRelaxed) != 0;
    currentIsKey_ = key;
    if (key || expectedFrame_ == number) {
      show(ShownFrame{slot.buffer.get(), static_cast<std::size_t>(slot.byteCount.load(kRelaxed)), key, number,
                      slot.timestamp.load(kRelaxed)});
      expectedFrame_ = static_cast<int32_t>(static_cast<uint32_t>(number) + 1u);
      result = TickResult::kShown;
    } else {
      expectedFrame_.reset();
    }
  }
  Empty(slot);
  filledCount_.fetch_sub(1, std::memory_order_acq_rel);
  readIndex_ = (readIndex_ + 1) % kSlots;
  return result;
}

void FrameRing::Reset() {
  for (FrameSlot& slot : slots_) Empty(slot);
  writeIndex_ = readIndex_ = 0;
  filledCount_ = 0;
  expectedFrame_.reset();
  currentIsKey_ = false;
}

}  // namespace lumivex
