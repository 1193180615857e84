// Talk-back from an in-memory microphone: the packets the camera receives,
// and what happens when the sender cannot keep up or cannot send.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "stream/audio_codec.h"
#include "stream/audio_memory.h"
#include "stream/audio_talk.h"
#include "stream/test_audio_support.h"
#include "support/wait_for.h"

namespace lumivex {
namespace {

using test::WaitFor;

// Blocks of a continuous 1 kHz tone.
std::vector<std::string> ToneBlocks(int rate, std::size_t samplesPerBlock, int blocks) {
  std::vector<std::string> out;
  for (int b = 0; b < blocks; ++b) {
    auto tone = test::Sine(1000, rate, samplesPerBlock, 8000, b * samplesPerBlock);
    out.push_back(test::Bytes(tone.data(), tone.size()));
  }
  return out;
}

class Camera {
 public:
  bool Send(const std::string& packet) {
    std::unique_lock lock(mutex_);
    packets_.push_back(packet);
    // Held back until released: the sender cannot go on meanwhile.
    wake_.wait_for(lock, std::chrono::seconds(10), [&] { return !hold_; });
    return accept_;
  }
  void Hold(bool hold) {
    {
      std::lock_guard lock(mutex_);
      hold_ = hold;
    }
    wake_.notify_all();
  }
  void Refuse() { accept_ = false; }
  std::vector<std::string> packets() {
    std::lock_guard lock(mutex_);
    return packets_;
  }
  std::size_t count() { return packets().size(); }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<std::string> packets_;
  bool hold_ = false;
  std::atomic<bool> accept_{true};
};

bool Clean(TalkBack& talk) {
  std::atomic<bool> done{false};
  if (!talk.CleanLocalAudioAsync([&] { done = true; })) return false;
  return WaitFor([&] { return done.load(); }, std::chrono::seconds(2));
}

TEST(AudioTalk, SpeexPacketsAre211BytesAndCarryTheTone) {
  MemoryDevices devices(ToneBlocks(8000, 1600, 6));
  TalkBack talk(devices);
  Camera camera;
  ASSERT_EQ(talk.StartLocalAudio({CameraAudio::kSpeex, 8000}, [&](const std::string& p) { return camera.Send(p); }),
            AudioStart::kStarted);
  ASSERT_TRUE(WaitFor([&] { return camera.count() == 6; }));
  EXPECT_EQ(talk.talking, 1);
  EXPECT_EQ(devices.source->format(), (PcmFormat{1, 8000}));
  EXPECT_EQ(devices.source->blockBytes(), 3200u);
  ASSERT_TRUE(Clean(talk));
  EXPECT_EQ(talk.talking, 0);
  EXPECT_FALSE(devices.source->open());
  EXPECT_FALSE(talk.startRunning());

  SpeexDecoder decoder;
  std::vector<int16_t> heard;
  for (const std::string& p : camera.packets()) {
    ASSERT_EQ(p.size(), 211u);
    EXPECT_EQ(p.substr(0, 11), std::string("\x5A\xC8\0\0\0\0\0\0\0\0\0", 11));
    int16_t pcm[kSpeexPacketSamples];
    ASSERT_TRUE(decoder.Decode(std::string_view(p).substr(11), pcm));
    heard.insert(heard.end(), pcm, pcm + kSpeexPacketSamples);
  }
  EXPECT_NEAR(test::DominantFrequency(heard, 8000, 800), 1000, 30);
  EXPECT_EQ(talk.packetsSent(), 6u);
}

TEST(AudioTalk, WhenAllSlotsAreInUseNewBlocksAreDroppedAndCaptureGoesOn) {
  MemoryDevices devices(ToneBlocks(8000, 1600, 40));
  TalkBack talk(devices);
  Camera camera;
  camera.Hold(true);
  ASSERT_EQ(talk.StartLocalAudio({CameraAudio::kSpeex, 8000}, [&](const std::string& p) { return camera.Send(p); }),
            AudioStart::kStarted);
  ASSERT_TRUE(WaitFor([&] { return devices.source->delivered() == 40; }));
  // The slot being sent stays in use: 32 kept, 8 dropped.
  EXPECT_EQ(talk.blocksCaptured(), 40u);
  EXPECT_EQ(talk.blocksDropped(), 8u);
  camera.Hold(false);
  ASSERT_TRUE(WaitFor([&] { return camera.count() == 32; }));
  ASSERT_TRUE(Clean(talk));
  EXPECT_EQ(camera.count(), 32u);
}

TEST(AudioTalk, AFailedSendEndsTheSenderButNotTheCapture) {
  MemoryDevices devices(ToneBlocks(8000, 1600, 40));
  TalkBack talk(devices);
  Camera camera;
  camera.Refuse();
  ASSERT_EQ(talk.StartLocalAudio({CameraAudio::kSpeex, 8000}, [&](const std::string& p) { return camera.Send(p); }),
            AudioStart::kStarted);
  ASSERT_TRUE(WaitFor([&] { return devices.source->delivered() == 40 && camera.count() == 1; }));
  EXPECT_EQ(talk.packetsSent(), 0u);
  EXPECT_EQ(talk.blocksCaptured(), 40u);
  EXPECT_EQ(talk.blocksDropped(), 8u);
  EXPECT_EQ(talk.talking, 1);  // until the user or the session stops it
  ASSERT_TRUE(Clean(talk));
}

TEST(AudioTalk, AacPacketsCarryAdtsFrames) {
  MemoryDevices devices(ToneBlocks(16000, 1024, 30));
  TalkBack talk(devices);
  Camera camera;
  ASSERT_EQ(talk.StartLocalAudio({CameraAudio::kAac, 16000}, [&](const std::string& p) { return camera.Send(p); }),
            AudioStart::kStarted);
  ASSERT_TRUE(WaitFor([&] { return camera.count() == 30; }));
  ASSERT_TRUE(Clean(talk));
  EXPECT_EQ(devices.source->format(), (PcmFormat{1, 16000}));
  EXPECT_EQ(devices.source->blockBytes(), 2048u);

  AacDecoder decoder;
  std::vector<int16_t> heard;
  int frames = 0;
  for (const std::string& p : camera.packets()) {
    ASSERT_GE(p.size(), 11u);
    EXPECT_EQ(static_cast<uint8_t>(p[0]), 0x5B);
    const std::size_t n = static_cast<uint8_t>(p[1]) | static_cast<uint8_t>(p[2]) << 8;
    ASSERT_EQ(p.size(), 11 + n);
    EXPECT_EQ(p.substr(3, 8), std::string(8, '\0'));
    if (n == 0) continue;  // the encoder's delay
    const std::string_view frame = std::string_view(p).substr(11);
    EXPECT_EQ(static_cast<uint8_t>(frame[0]), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(frame[1]) & 0xF0, 0xF0);
    const std::size_t length = (frame[3] & 3) << 11 | static_cast<uint8_t>(frame[4]) << 3 | static_cast<uint8_t>(frame[5]) >> 5;
    EXPECT_EQ(length, n);
    ++frames;
    if (!decoder.initialised()) {
      ASSERT_TRUE(decoder.Init(frame));
    }
    std::vector<int16_t> stereo;
    if (decoder.Decode(frame, stereo)) heard.insert(heard.end(), stereo.begin(), stereo.end());
  }
  EXPECT_GE(frames, 25);
  EXPECT_NEAR(test::DominantFrequency(test::Left(heard), 16000, 2048), 1000, 30);
}

TEST(AudioTalk, StartAndStopAreSerialised) {
  MemoryDevices devices;  // a microphone that gives nothing
  TalkBack talk(devices);
  auto send = [](const std::string&) { return true; };
  ASSERT_EQ(talk.StartLocalAudio({CameraAudio::kSpeex, 8000}, send), AudioStart::kStarted);
  EXPECT_EQ(talk.StartLocalAudio({CameraAudio::kSpeex, 8000}, send), AudioStart::kStartRunning);
  ASSERT_TRUE(WaitFor([&] { return talk.talking == 1; }));
  ASSERT_TRUE(Clean(talk));
  ASSERT_EQ(talk.StartLocalAudio({CameraAudio::kAac, 16000}, send), AudioStart::kStarted);
  ASSERT_TRUE(WaitFor([&] { return talk.talking == 1; }));
}

}  // namespace
}  // namespace lumivex
