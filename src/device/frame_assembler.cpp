#include "device/frame_assembler.h"

#include <zlib.h>

namespace lumivex {

uint32_t VideoFrame::Crc32() const {
  uLong crc = crc32(0L, Z_NULL, 0);
  return static_cast<uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

bool FrameAssembler::Fits(const VideoFragment& f) const {
  constexpr int32_t kMaxFragments = (kMaxFrameBytes + kFragmentBytes - 1) / kFragmentBytes;
  if (f.fragmentCount < 1 || f.fragmentCount > kMaxFragments || f.fragmentIndex < 0 ||
      f.fragmentIndex >= f.fragmentCount || f.payload.empty() || f.payload.size() > kFragmentBytes)
    return false;
  bool last = f.fragmentIndex == f.fragmentCount - 1;
  if (!last && f.payload.size() != kFragmentBytes) return false;  // only the last piece is shorter
  return f.fragmentIndex * kFragmentBytes + f.payload.size() <= kMaxFrameBytes;
}

void FrameAssembler::Begin(const VideoFragment& f) {
  if (active_) ++dropped_;  // the frame before it stays incomplete
  active_ = true;
  current_.frameNumber = f.frameNumber;
  current_.timestamp = f.timestamp;
  current_.keyFrame = f.keyFrame;
  current_.bytes.assign(static_cast<std::size_t>(f.fragmentCount) * kFragmentBytes, '\0');
  count_ = f.fragmentCount;
  size_ = 0;
  received_.assign(static_cast<std::size_t>(f.fragmentCount), false);
  missing_ = f.fragmentCount;
}

bool FrameAssembler::Add(const VideoFragment& f, VideoFrame& frame) {
  if (!Fits(f)) {
    ++refused_;
    return false;
  }
  if (!active_ || f.frameNumber != current_.frameNumber || f.fragmentCount != count_) Begin(f);
  auto index = static_cast<std::size_t>(f.fragmentIndex);
  if (received_[index]) return false;  // a repeated piece adds nothing
  received_[index] = true;
  --missing_;
  current_.bytes.replace(index * kFragmentBytes, f.payload.size(), f.payload);
  if (f.fragmentIndex == count_ - 1) size_ = index * kFragmentBytes + f.payload.size();
  if (missing_ > 0) return false;
  current_.bytes.resize(size_);
  active_ = false;
  frame = std::move(current_);
  current_ = VideoFrame{};
  return true;
}

}  // namespace lumivex
