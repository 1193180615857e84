// The camera's sound end to end into an in-memory output: packets as the
// receive loop parses them, out as PCM.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "device/session_packet.h"
#include "sim/audio_clip.h"
#include "stream/audio_memory.h"
#include "stream/audio_player.h"
#include "stream/test_audio_support.h"
#include "support/wait_for.h"

namespace lumivex {
namespace {

using test::WaitFor;

void Store(CameraAudioPlayer& player, uint8_t type, const std::string& payload) {
  SessionPacket packet{MakeAudioPacket(type, payload, 1234)};
  AudioPacket audio;
  ASSERT_TRUE(ParseAudioPacket(packet, audio));
  player.StorePacket(audio);
}

bool Clean(CameraAudioPlayer& player) {
  std::atomic<bool> done{false};
  if (!player.CleanCameraAudioAsync([&] { done = true; })) return false;
  return WaitFor([&] { return done.load(); }, std::chrono::seconds(2));
}

class AudioPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(sim::EncodeSpeexTone(speex, error)) << error;
    ASSERT_TRUE(sim::EncodeAacTone(16000, aac, error)) << error;
  }

  MemoryDevices devices;
  StopSignal sessionStop;
  sim::AudioClip speex, aac;
};

TEST(AudioPacketBytes, TalkPacketHeaderAsTheCameraReadsIt) {
  const std::string packet = MakeAudioPacket(FLAG_DEVICE_AUDIO_STREAM_SPEEX, std::string(200, 's'), 0x01020304);
  ASSERT_EQ(packet.size(), 211u);
  EXPECT_EQ(packet.substr(0, 11), std::string("\x5A\xC8\x00\x00\x00\x00\x00\x04\x03\x02\x01", 11));
  EXPECT_EQ(MakeAudioPacket(FLAG_DEVICE_AUDIO_STREAM_AAC, ""), std::string("\x5B\0\0\0\0\0\0\0\0\0\0", 11));
  EXPECT_TRUE(MakeAudioPacket(FLAG_DEVICE_AUDIO_STREAM_AAC, std::string(2048, 'x')).empty());  // no receive buffer holds it
}

TEST_F(AudioPlayerTest, SpeexPacketsGiveExactly3200BytesEach) {
  CameraAudioPlayer player(devices, &sessionStop);
  Store(player, FLAG_DEVICE_AUDIO_STREAM_SPEEX, speex.payloads[0]);  // off: dropped
  EXPECT_EQ(player.packetsStored(), 0u);

  ASSERT_EQ(player.StartCameraAudio({CameraAudio::kSpeex, 8000}), AudioStart::kStarted);
  EXPECT_EQ(player.cameraAudioOff, 0);
  EXPECT_EQ(player.StartCameraAudio({CameraAudio::kSpeex, 8000}), AudioStart::kStartRunning);
  constexpr std::size_t kPackets = 12;  // eight to pre-fill, four refills
  for (std::size_t i = 0; i < kPackets; ++i) Store(player, FLAG_DEVICE_AUDIO_STREAM_SPEEX, speex.payloads[i % speex.payloads.size()]);
  Store(player, FLAG_DEVICE_AUDIO_STREAM_SPEEX, speex.payloads[0].substr(0, 199));  // refused
  ASSERT_TRUE(WaitFor([&] { return devices.sink->size() >= kPackets * 3200; }));
  EXPECT_EQ(devices.sink->format(), (PcmFormat{1, 8000}));
  EXPECT_EQ(player.packetsStored(), kPackets);
  EXPECT_EQ(player.packetsRefused(), 1u);

  ASSERT_TRUE(Clean(player));
  EXPECT_EQ(devices.sink->size(), kPackets * 3200);  // not a byte more
  EXPECT_EQ(devices.sink->writes(), kPackets);
  EXPECT_EQ(player.bytesPlayed(), kPackets * 3200);
  EXPECT_FALSE(devices.sink->open());
  EXPECT_FALSE(player.startRunning());
  EXPECT_FALSE(player.stopRunning());
  EXPECT_EQ(player.cameraAudioOff, 1);
  const auto pcm = test::Samples(devices.sink->bytes());
  EXPECT_NEAR(test::DominantFrequency(pcm, 8000, 800), sim::kToneHz, 30);

  Store(player, FLAG_DEVICE_AUDIO_STREAM_SPEEX, speex.payloads[0]);  // off again: dropped
  EXPECT_EQ(player.packetsStored(), kPackets);
}

TEST_F(AudioPlayerTest, PlaysAgainAfterAClean) {
  CameraAudioPlayer player(devices, &sessionStop);
  for (int round = 1; round <= 2; ++round) {
    ASSERT_EQ(player.StartCameraAudio({CameraAudio::kSpeex, 8000}), AudioStart::kStarted);
    for (int i = 0; i < kPlayBuffers; ++i) Store(player, FLAG_DEVICE_AUDIO_STREAM_SPEEX, speex.payloads[i % speex.payloads.size()]);
    ASSERT_TRUE(WaitFor([&] { return devices.sink->size() == round * 8u * 3200; }));
    ASSERT_TRUE(Clean(player));
    EXPECT_EQ(devices.sink->opens(), round);
  }
}

TEST_F(AudioPlayerTest, CleanEndsAWaitingStartWithinABound) {
  CameraAudioPlayer player(devices, &sessionStop);
  ASSERT_EQ(player.StartCameraAudio({CameraAudio::kAac, 16000}), AudioStart::kStarted);
  Store(player, FLAG_DEVICE_AUDIO_STREAM_AAC, aac.payloads[0]);  // one of eight: still pre-filling
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Clean(player));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  EXPECT_EQ(devices.sink->opens(), 0);
  EXPECT_FALSE(player.startRunning());

  // The session's stop flag ends a start too; the clean after it is quick.
  ASSERT_EQ(player.StartCameraAudio({CameraAudio::kSpeex, 8000}), AudioStart::kStarted);
  sessionStop.Request();
  ASSERT_TRUE(Clean(player));
  EXPECT_EQ(devices.sink->opens(), 0);
}

TEST_F(AudioPlayerTest, AacPlaysStereoAtTheStreamsRate) {
  CameraAudioPlayer player(devices, &sessionStop);
  ASSERT_EQ(player.StartCameraAudio({CameraAudio::kAac, 16000}), AudioStart::kStarted);
  for (int i = 0; i < 20; ++i) Store(player, FLAG_DEVICE_AUDIO_STREAM_AAC, aac.payloads[i]);
  ASSERT_TRUE(WaitFor([&] { return devices.sink->writes() == 20; }));
  EXPECT_EQ(devices.sink->format(), (PcmFormat{2, 16000}));
  ASSERT_TRUE(Clean(player));
  EXPECT_EQ(devices.sink->size(), 20u * 4096);
  const auto pcm = test::Samples(devices.sink->bytes());
  EXPECT_NEAR(test::DominantFrequency(test::Left(pcm), 16000, 4096), sim::kToneHz, 30);
}

TEST_F(AudioPlayerTest, AFrameThatDoesNotDecodeIsTriedThreeTimesInPrefillOnceAfter) {
  CameraAudioPlayer player(devices, &sessionStop);
  const std::string& good = aac.payloads[0];
  const std::string corrupt = good.substr(0, 7) + std::string(good.size() - 7, '\xFF');
  ASSERT_EQ(player.StartCameraAudio({CameraAudio::kAac, 16000}), AudioStart::kStarted);
  for (int i = 0; i < kPlayBuffers; ++i) Store(player, FLAG_DEVICE_AUDIO_STREAM_AAC, corrupt);
  ASSERT_TRUE(WaitFor([&] { return devices.sink->writes() == 8; }));
  EXPECT_EQ(player.aacDecodeAttempts(), 8u * 3);
  Store(player, FLAG_DEVICE_AUDIO_STREAM_AAC, corrupt);  // a refill decodes once
  ASSERT_TRUE(WaitFor([&] { return devices.sink->writes() == 9; }));
  EXPECT_EQ(player.aacDecodeAttempts(), 8u * 3 + 1);
  // Silence was played in their place, and sound follows.
  const std::string silent = devices.sink->bytes();
  EXPECT_TRUE(silent == std::string(9 * 4096, '\0'));
  for (int i = 1; i < 12; ++i) Store(player, FLAG_DEVICE_AUDIO_STREAM_AAC, aac.payloads[i]);
  ASSERT_TRUE(WaitFor([&] { return devices.sink->writes() == 20; }));
  ASSERT_TRUE(Clean(player));
  const auto sound = test::Samples(devices.sink->bytes().substr(silent.size() + 2 * 4096));
  EXPECT_GT(test::Rms(sound), 1000);
}

TEST_F(AudioPlayerTest, AFullRingDropsAndCounts) {
  CameraAudioPlayer player(devices, &sessionStop);
  sessionStop.Request();  // the start ends at once and drains nothing
  ASSERT_EQ(player.StartCameraAudio({CameraAudio::kSpeex, 8000}), AudioStart::kStarted);
  for (int i = 0; i < 40; ++i) Store(player, FLAG_DEVICE_AUDIO_STREAM_SPEEX, speex.payloads[i % speex.payloads.size()]);
  EXPECT_EQ(player.packetsStored(), 32u);
  EXPECT_EQ(player.packetsDropped(), 8u);
  ASSERT_TRUE(Clean(player));
}

TEST_F(AudioPlayerTest, DestroyingAPlayingPlayerStopsIt) {
  {
    CameraAudioPlayer player(devices, &sessionStop);
    ASSERT_EQ(player.StartCameraAudio({CameraAudio::kSpeex, 8000}), AudioStart::kStarted);
    for (int i = 0; i < 9; ++i) Store(player, FLAG_DEVICE_AUDIO_STREAM_SPEEX, speex.payloads[i % speex.payloads.size()]);
    ASSERT_TRUE(WaitFor([&] { return devices.sink->writes() == 9; }));
  }
  EXPECT_FALSE(devices.sink->open());
}

}  // namespace
}  // namespace lumivex
