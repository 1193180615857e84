// Whole frames from 1375-byte fragments.

#include <gtest/gtest.h>

#include <vector>

#include "device/frame_assembler.h"

namespace lumivex {
namespace {

std::string FrameBytes(std::size_t n, int seed) {
  std::string out(n, '\0');
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char>((i * 31 + seed) & 0xFF);
  return out;
}

std::vector<VideoFragment> Cut(const std::string& frame, int32_t number, bool key = true) {
  std::vector<VideoFragment> out;
  auto count = static_cast<int32_t>((frame.size() + kFragmentBytes - 1) / kFragmentBytes);
  for (int32_t i = 0; i < count; ++i) {
    VideoFragment f;
    f.keyFrame = key;
    f.frameNumber = number;
    f.timestamp = number * 40;
    f.fragmentCount = count;
    f.fragmentIndex = i;
    f.payload = std::string_view(frame).substr(static_cast<std::size_t>(i) * kFragmentBytes, kFragmentBytes);
    out.push_back(f);
  }
  return out;
}

TEST(FrameAssembler, JoinsTheFragmentsOfAFrameInAnyOrder) {
  std::string bytes = FrameBytes(3000, 1);
  std::vector<VideoFragment> pieces = Cut(bytes, 7, false);
  ASSERT_EQ(pieces.size(), 3u);
  FrameAssembler assembler;
  VideoFrame frame;
  EXPECT_FALSE(assembler.Add(pieces[2], frame));
  EXPECT_FALSE(assembler.Add(pieces[0], frame));
  EXPECT_FALSE(assembler.Add(pieces[0], frame)) << "a repeat completes nothing";
  ASSERT_TRUE(assembler.Add(pieces[1], frame));
  EXPECT_EQ(frame.bytes, bytes);
  EXPECT_EQ(frame.frameNumber, 7);
  EXPECT_EQ(frame.timestamp, 280);
  EXPECT_FALSE(frame.keyFrame);
  EXPECT_EQ(assembler.droppedFrames(), 0);
}

TEST(FrameAssembler, DropsAFrameWithAMissingFragment) {
  std::string first = FrameBytes(2800, 2), second = FrameBytes(1375, 3);
  FrameAssembler assembler;
  VideoFrame frame;
  std::vector<VideoFragment> a = Cut(first, 1), b = Cut(second, 2);
  EXPECT_FALSE(assembler.Add(a[0], frame));
  EXPECT_FALSE(assembler.Add(a[2], frame));  // a[1] lost
  ASSERT_TRUE(assembler.Add(b[0], frame));
  EXPECT_EQ(frame.frameNumber, 2);
  EXPECT_EQ(frame.bytes, second);
  EXPECT_EQ(assembler.droppedFrames(), 1);
}

TEST(FrameAssembler, RefusesFragmentsOutsideTheFrameLayout) {
  std::string bytes = FrameBytes(3000, 4);
  VideoFrame frame;
  auto refused = [&](VideoFragment f) {
    FrameAssembler assembler;
    assembler.Add(f, frame);
    return assembler.refusedFragments() == 1;
  };
  VideoFragment f = Cut(bytes, 1)[0];
  VideoFragment bad = f;
  bad.fragmentIndex = 3;  // of three
  EXPECT_TRUE(refused(bad));
  bad = f;
  bad.fragmentIndex = -1;
  EXPECT_TRUE(refused(bad));
  bad = f;
  bad.fragmentCount = 224;  // 224 pieces may hold 307200 bytes
  EXPECT_FALSE(refused(bad));
  bad.fragmentCount = 225;
  EXPECT_TRUE(refused(bad));
  bad = f;
  bad.payload = bad.payload.substr(0, 1000);  // short, but not the last piece
  EXPECT_TRUE(refused(bad));
  std::string big(1376, 'x');
  bad = Cut(bytes, 1)[2];
  bad.payload = big;
  EXPECT_TRUE(refused(bad));
  bad = f;
  bad.fragmentCount = 224;
  bad.fragmentIndex = 223;  // 223 * 1375 + 1375 > 307200
  EXPECT_TRUE(refused(bad));
  bad.payload = bad.payload.substr(0, 307200 - 223 * 1375);
  EXPECT_FALSE(refused(bad));
}

TEST(FrameAssembler, TheChecksumIsZlibsCrc32) {
  VideoFrame frame;
  frame.bytes = "123456789";
  EXPECT_EQ(frame.Crc32(), 0xCBF43926u);  // the check value of CRC-32
  frame.bytes.clear();
  EXPECT_EQ(frame.Crc32(), 0u);
}

}  // namespace
}  // namespace lumivex
