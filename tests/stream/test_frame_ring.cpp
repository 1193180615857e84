// The frame ring's insertion and tick rules, and the picture path from a
// real H.264 clip to a turned, scaled surface picture.

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
}

#include <string>
#include <vector>

#include "sim/clip.h"
#include "stream/frame_ring.h"
#include "stream/video_decoder.h"

namespace lumivex {
namespace {

// A frame of n bytes split the way cameras send it.
struct TestFrame {
  int32_t number;
  bool key;
  std::string bytes;
};

std::vector<VideoFragment> Fragments(const TestFrame& f) {
  std::vector<VideoFragment> out;
  const int32_t count = static_cast<int32_t>((f.bytes.size() + kFragmentBytes - 1) / kFragmentBytes);
  for (int32_t i = 0; i < count; ++i) {
    VideoFragment v;
    v.keyFrame = f.key;
    v.frameNumber = f.number;
    v.timestamp = static_cast<int32_t>(static_cast<uint32_t>(f.number) * 66u);
    v.fragmentCount = count;
    v.fragmentIndex = i;
    v.payload = std::string_view(f.bytes).substr(static_cast<std::size_t>(i) * kFragmentBytes, kFragmentBytes);
    out.push_back(v);
  }
  return out;
}

TestFrame Frame(int32_t number, bool key, std::size_t size = 3000) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((static_cast<uint32_t>(number) * 31u + i) & 0xFF);
  return {number, key, bytes};
}

struct RingDriver {
  FrameRing ring;
  std::vector<int32_t> shown;
  std::vector<std::string> bytes;

  void Put(const TestFrame& f, int skipFragment = -1) {
    auto parts = Fragments(f);
    for (int i = 0; i < static_cast<int>(parts.size()); ++i)
      if (i != skipFragment) ring.Insert(parts[static_cast<std::size_t>(i)]);
  }
  TickResult Tick() {
    return ring.Tick([this](const ShownFrame& f) {
      shown.push_back(f.frameNumber);
      bytes.emplace_back(reinterpret_cast<const char*>(f.data), f.size);
    });
  }
  void TickAll() {
    while (ring.filledCount() > 1) Tick();
  }
};

TEST(FrameRing, ShowsWholeFramesInOrderAndKeepsOneSlotBack) {
  RingDriver d;
  const TestFrame k = Frame(100, true, 5000), p = Frame(101, false, 1375), q = Frame(102, false, 1);
  d.Put(k);
  EXPECT_EQ(d.Tick(), TickResult::kIdle);  // one slot is left to the frame being received
  d.Put(p);
  d.Put(q);
  EXPECT_EQ(d.Tick(), TickResult::kShown);
  EXPECT_EQ(d.Tick(), TickResult::kShown);
  EXPECT_EQ(d.Tick(), TickResult::kIdle);
  EXPECT_EQ(d.shown, (std::vector<int32_t>{100, 101}));
  EXPECT_EQ(d.bytes[0], k.bytes);
  EXPECT_EQ(d.bytes[1], p.bytes);
}

TEST(FrameRing, StartOnNonKeyFrameShowsNothingUntilTheFirstKeyFrame) {
  RingDriver d;
  for (int32_t n = 1; n <= 5; ++n) d.Put(Frame(n, false));
  d.Put(Frame(6, true));
  d.Put(Frame(7, false));
  d.Put(Frame(8, false));
  d.TickAll();
  EXPECT_EQ(d.shown, (std::vector<int32_t>{6, 7}));
}

TEST(FrameRing, LostFragmentFreezesUntilTheNextKeyFrame) {
  RingDriver d;
  d.Put(Frame(0, true));
  d.Put(Frame(1, false));
  d.Put(Frame(2, false), /*skipFragment=*/1);
  d.Put(Frame(3, false));
  d.Put(Frame(4, false));
  d.Put(Frame(5, true));
  d.Put(Frame(6, false));
  d.Put(Frame(7, false));
  std::vector<TickResult> results;
  while (d.ring.filledCount() > 1) results.push_back(d.Tick());
  EXPECT_EQ(d.shown, (std::vector<int32_t>{0, 1, 5, 6}));
  EXPECT_EQ(results[2], TickResult::kDroppedIncomplete);
  EXPECT_EQ(results[3], TickResult::kDroppedGap);
  EXPECT_EQ(results[4], TickResult::kDroppedGap);
}

TEST(FrameRing, FullRingKeepsOnlyTheFrameBeingReceived) {
  RingDriver d;
  for (int32_t n = 0; n < FrameRing::kSlots; ++n) d.Put(Frame(n, n == 0));
  EXPECT_EQ(d.ring.filledCount(), FrameRing::kSlots);
  d.Put(Frame(99, true));  // no slot: dropped
  d.TickAll();
  ASSERT_EQ(d.shown.size(), static_cast<std::size_t>(FrameRing::kSlots - 1));
  EXPECT_EQ(d.shown.front(), 0);
  EXPECT_EQ(d.shown.back(), FrameRing::kSlots - 2);
}

TEST(FrameRing, RefusesFragmentsOutsideTheSlot) {
  RingDriver d;
  std::string big(kFragmentBytes + 1, 'x');
  VideoFragment f{true, 1, 0, 2, 0, big};
  d.ring.Insert(f);
  f.payload = std::string_view(big).substr(0, 10);
  f.fragmentIndex = 2;  // index beyond the count
  d.ring.Insert(f);
  f.fragmentIndex = 0;
  f.fragmentCount = 300;  // 300 x 1375 bytes does not fit a slot
  f.fragmentIndex = 299;
  d.ring.Insert(f);
  EXPECT_EQ(d.ring.refusedFragments(), 3u);
  EXPECT_EQ(d.ring.filledCount(), 0);
}

TEST(FrameRing, FrameNumbersWrapRoundAndNoNumberMeansNone) {
  RingDriver d;
  // 0x7FFFFFFF, 0xFFFFFFFF, 0x80000000 and 0 in turn, as a camera may send them.
  d.Put(Frame(INT32_MAX, true));
  d.Put(Frame(INT32_MIN, false));
  d.Put(Frame(-1, true));
  d.Put(Frame(0, false));
  d.Put(Frame(1, false));
  d.TickAll();
  EXPECT_EQ(d.shown, (std::vector<int32_t>{INT32_MAX, INT32_MIN, -1, 0}));
  // After a gap, a frame numbered 0xFFFFFFFF is no successor of "nothing".
  RingDriver gap;
  gap.Put(Frame(5, true));
  gap.Put(Frame(7, false));
  gap.Put(Frame(-1, false));
  gap.Put(Frame(0, false));
  gap.TickAll();
  EXPECT_EQ(gap.shown, (std::vector<int32_t>{5}));
}

TEST(FrameRing, ResetForgetsEverything) {
  RingDriver d;
  d.Put(Frame(0, true));
  d.Put(Frame(1, false));
  d.ring.Reset();
  EXPECT_EQ(d.ring.filledCount(), 0);
  EXPECT_FALSE(d.ring.expectedFrame());
  d.Put(Frame(2, false));
  d.Put(Frame(3, false));
  d.TickAll();
  EXPECT_TRUE(d.shown.empty());
}

// The sim's picture has a dark band over its top rows (the caption band) and
// a bright ramp below; where that band ends up tells the orientation.
double MeanLuma(const Picture& p, int x0, int y0, int w, int h) {
  double sum = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) {
      const uint8_t* px = p.pixels.data() + static_cast<std::size_t>(y) * p.stride + 4 * x;
      sum += 0.114 * px[0] + 0.587 * px[1] + 0.299 * px[2];
    }
  return sum / (w * h);
}

class PicturePath : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(sim::EncodeClip({320, 180, 300000, "TURN", 0}, clip_, error)) << error;
    StreamParameters params;
    params.width = 320;
    params.height = 180;
    params.parameterSets.sps = clip_.sps;
    params.parameterSets.pps = clip_.pps;
    ASSERT_TRUE(decoder_.InitVideoDecoder(params));
    const std::string& first = clip_.frames[0];
    picture_ = decoder_.Decode(reinterpret_cast<const uint8_t*>(first.data()), first.size());
    ASSERT_NE(picture_, nullptr);
  }

  sim::Clip clip_;
  VideoDecoder decoder_;
  const AVFrame* picture_ = nullptr;
  PictureConverter converter_;
};

TEST(PictureSize, APictureBeyondTheLargestIsRefusedBeforeItIsDecoded) {
  StreamParameters params;
  params.width = 4100;
  params.height = 2304;
  VideoDecoder decoder;
  EXPECT_FALSE(decoder.InitVideoDecoder(params)) << "the reply announces more than 4096x2304";

  // A camera whose reply says 640x360 but whose SPS says 4112x2320.
  sim::Clip big;
  std::string error;
  ASSERT_TRUE(sim::EncodeFrames({4112, 2320, 300000, "", 0}, 1, [](int, sim::YuvPicture&) {}, big, error)) << error;
  params.width = 640;
  params.height = 360;
  params.parameterSets.sps = big.sps;
  params.parameterSets.pps = big.pps;
  ASSERT_TRUE(decoder.InitVideoDecoder(params));
  const std::string& frame = big.frames[0];
  EXPECT_EQ(decoder.Decode(reinterpret_cast<const uint8_t*>(frame.data()), frame.size()), nullptr);
  EXPECT_EQ(decoder.lastPicture(), nullptr);
}

TEST_F(PicturePath, EveryFrameOfTheClipDecodesAfterTheParameterSets) {
  for (std::size_t i = 1; i < clip_.frames.size(); ++i) {
    const std::string& f = clip_.frames[i];
    const AVFrame* p = decoder_.Decode(reinterpret_cast<const uint8_t*>(f.data()), f.size());
    ASSERT_NE(p, nullptr) << "frame " << i;
    EXPECT_EQ(p->width, 320);
    EXPECT_EQ(p->height, 180);
  }
  EXPECT_EQ(decoder_.Decode(nullptr, 0), nullptr);
}

TEST_F(PicturePath, ConvertsStraightToTheSurfaceSizeInEveryRotation) {
  Picture out;
  const PictureSize size{240, 160};
  // The band is 2 lines of 9 pixels high at this size: about 10% of the
  // picture's height, so the outer 5% of the slot on its side is dark.
  ASSERT_TRUE(converter_.Convert(*picture_, 0, size, out));
  EXPECT_EQ(out.width, 240);
  EXPECT_EQ(out.height, 160);
  EXPECT_EQ(out.pixels[3], 0xFF);
  const double top0 = MeanLuma(out, 100, 1, 40, 6), bottom0 = MeanLuma(out, 100, 153, 40, 6);
  EXPECT_LT(top0 + 40, bottom0);

  ASSERT_TRUE(converter_.Convert(*picture_, 2, size, out));  // upside down
  EXPECT_LT(MeanLuma(out, 100, 153, 40, 6) + 40, MeanLuma(out, 100, 1, 40, 6));

  ASSERT_TRUE(converter_.Convert(*picture_, 1, size, out));  // a quarter turn clockwise: top goes right
  EXPECT_EQ(out.width, 240);
  EXPECT_EQ(out.height, 160);
  EXPECT_LT(MeanLuma(out, 233, 60, 6, 40) + 40, MeanLuma(out, 1, 60, 6, 40));

  ASSERT_TRUE(converter_.Convert(*picture_, 3, size, out));  // three quarters: top goes left
  EXPECT_LT(MeanLuma(out, 1, 60, 6, 40) + 40, MeanLuma(out, 233, 60, 6, 40));

  EXPECT_FALSE(converter_.Convert(*picture_, 0, PictureSize{0, 10}, out));
}

TEST(RecordMark, BlinksOncePerSecondAndAHalf) {
  // 40 ms frames: period 1500/40 = 37, visible while counter % 37 < 12.
  EXPECT_TRUE(RecordMarkVisible(0, 40));
  EXPECT_TRUE(RecordMarkVisible(11, 40));
  EXPECT_FALSE(RecordMarkVisible(12, 40));
  EXPECT_FALSE(RecordMarkVisible(36, 40));
  EXPECT_TRUE(RecordMarkVisible(37, 40));
  EXPECT_TRUE(RecordMarkVisible(48, 40));
  EXPECT_FALSE(RecordMarkVisible(49, 40));
  EXPECT_FALSE(RecordMarkVisible(-1, 40));  // wrapped: 36
  // 500 ms frames: period 3, one frame in three.
  EXPECT_TRUE(RecordMarkVisible(3, 500));
  EXPECT_FALSE(RecordMarkVisible(4, 500));
}

TEST(RecordMark, StaysOnWhenThePeriodIsTooShortToBlink) {
  EXPECT_TRUE(RecordMarkVisible(1, 600));   // period 2: a third of it is 0
  EXPECT_TRUE(RecordMarkVisible(1, 2000));  // period 0
  EXPECT_TRUE(RecordMarkVisible(5, 0));
  EXPECT_TRUE(RecordMarkVisible(5, -40));
}

}  // namespace
}  // namespace lumivex
