// The codecs against answers that do not come from them: the tone that went
// in is the tone that comes out (Goertzel), and the ADTS headers read by
// hand against ISO/IEC 14496-3's layout.

#include <gtest/gtest.h>

#include "sim/audio_clip.h"
#include "stream/audio_codec.h"
#include "stream/audio_ring.h"
#include "stream/test_audio_support.h"

namespace lumivex {
namespace {

using test::DominantFrequency;
using test::Left;
using test::Sine;

struct Adts {
  int syncword, layer, protectionAbsent, profile, rateIndex, channels, frameLength;
};

Adts ReadAdts(std::string_view f) {
  auto b = [&](int i) { return static_cast<uint8_t>(f[i]); };
  return Adts{b(0) << 4 | b(1) >> 4,       (b(1) >> 1) & 3,
              b(1) & 1,                    (b(2) >> 6) + 1,  // audio object type: profile + 1
              (b(2) >> 2) & 0xF,           (b(2) & 1) << 2 | b(3) >> 6,
              (b(3) & 3) << 11 | b(4) << 3 | b(5) >> 5};
}

TEST(AudioCodec, SpeexTalkEncoderKeepsA1kHzTone) {
  const auto tone = Sine(1000, kSpeexSampleRate, 10 * kSpeexPacketSamples);
  SpeexEncoder encoder;
  SpeexDecoder decoder;
  ASSERT_TRUE(encoder.ok());
  ASSERT_TRUE(decoder.ok());
  std::vector<int16_t> decoded;
  for (std::size_t at = 0; at < tone.size(); at += kSpeexPacketSamples) {
    std::string payload;
    ASSERT_TRUE(encoder.Encode(tone.data() + at, payload));
    ASSERT_EQ(payload.size(), 200u);
    int16_t pcm[kSpeexPacketSamples];
    ASSERT_TRUE(decoder.Decode(payload, pcm));
    decoded.insert(decoded.end(), pcm, pcm + kSpeexPacketSamples);
  }
  EXPECT_NEAR(DominantFrequency(decoded, kSpeexSampleRate, 800), 1000, 30);
  EXPECT_GT(test::Rms(decoded, 800), 1000);
}

TEST(AudioCodec, SpeexDecoderRefusesAPacketOfAnotherSize) {
  SpeexDecoder decoder;
  int16_t pcm[kSpeexPacketSamples];
  pcm[0] = 123;
  EXPECT_FALSE(decoder.Decode(std::string(199, 'x'), pcm));
  EXPECT_EQ(pcm[0], 0);  // silence, not stale sound
}

class AudioCodecAac : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(AudioCodecAac, TalkEncoderWritesAdtsAndKeepsA1kHzTone) {
  const auto [rate, rateIndex] = GetParam();
  AacEncoder encoder;
  ASSERT_TRUE(encoder.Open(rate));
  AacDecoder decoder;
  const auto tone = Sine(1000, rate, 40 * kAacFrameSamples);
  std::vector<int16_t> decoded;
  int frames = 0;
  for (std::size_t at = 0; at < tone.size(); at += kAacFrameSamples) {
    std::string adts;
    ASSERT_TRUE(encoder.Encode(tone.data() + at, adts));
    if (adts.empty()) continue;  // the encoder's delay
    ASSERT_GE(adts.size(), 7u);
    ASSERT_LE(adts.size(), kMaxAacFrameBytes + 0u);
    const Adts h = ReadAdts(adts);
    EXPECT_EQ(h.syncword, 0xFFF);
    EXPECT_EQ(h.layer, 0);
    EXPECT_EQ(h.profile, 2);  // AAC LC
    EXPECT_EQ(h.rateIndex, rateIndex);
    EXPECT_EQ(h.channels, 1);
    EXPECT_EQ(h.frameLength, static_cast<int>(adts.size()));  // one frame per block
    ++frames;
    if (!decoder.initialised()) {
      ASSERT_TRUE(decoder.Init(adts));
    }
    std::vector<int16_t> stereo;
    if (decoder.Decode(adts, stereo)) {
      ASSERT_EQ(stereo.size(), 2u * kAacFrameSamples);
      decoded.insert(decoded.end(), stereo.begin(), stereo.end());
    }
  }
  EXPECT_GE(frames, 35);
  EXPECT_EQ(decoder.sampleRate(), static_cast<unsigned long>(rate));
  // FAAD2 gives mono as one channel or, built with parametric stereo, as two.
  EXPECT_TRUE(decoder.channels() == 1 || decoder.channels() == 2) << decoder.channels();
  const auto left = Left(decoded);
  ASSERT_GT(left.size(), 20u * kAacFrameSamples);
  EXPECT_NEAR(DominantFrequency(left, rate, 2 * kAacFrameSamples), 1000, 30);
  // Mono comes out on both channels alike.
  for (std::size_t i = 0; i < decoded.size(); i += 2) ASSERT_EQ(decoded[i], decoded[i + 1]);
}

// Sampling-frequency indexes from the ADTS table: 8000 -> 11, 16000 -> 8, 44100 -> 4.
INSTANTIATE_TEST_SUITE_P(Audio, AudioCodecAac,
                         ::testing::Values(std::pair{8000, 11}, std::pair{16000, 8}, std::pair{44100, 4}));

TEST(AudioCodec, DecodesTheSimulatedCamerasTone) {
  sim::AudioClip speex, aac;
  std::string error;
  ASSERT_TRUE(sim::EncodeSpeexTone(speex, error)) << error;
  ASSERT_TRUE(sim::EncodeAacTone(16000, aac, error)) << error;

  SpeexDecoder speexDecoder;
  std::vector<int16_t> speexPcm;
  for (const std::string& payload : speex.payloads) {
    int16_t pcm[kSpeexPacketSamples];
    ASSERT_TRUE(speexDecoder.Decode(payload, pcm));
    speexPcm.insert(speexPcm.end(), pcm, pcm + kSpeexPacketSamples);
  }
  EXPECT_NEAR(DominantFrequency(speexPcm, kSpeexSampleRate, 800), sim::kToneHz, 30);

  AacDecoder aacDecoder;
  ASSERT_TRUE(aacDecoder.Init(aac.payloads.front()));
  std::vector<int16_t> aacPcm;
  for (const std::string& frame : aac.payloads) {
    std::vector<int16_t> stereo;
    if (aacDecoder.Decode(frame, stereo)) aacPcm.insert(aacPcm.end(), stereo.begin(), stereo.end());
  }
  EXPECT_EQ(aacDecoder.sampleRate(), 16000u);
  EXPECT_GT(aacPcm.size(), aac.payloads.size() * kAacFrameSamples);  // nearly every frame, as stereo
  EXPECT_NEAR(DominantFrequency(Left(aacPcm), 16000, 2 * kAacFrameSamples), sim::kToneHz, 30);
}

TEST(AudioCodec, AacDecoderSurvivesFramesThatAreNotAac) {
  AacDecoder decoder;
  EXPECT_FALSE(decoder.Init(""));
  EXPECT_FALSE(decoder.Init(std::string(100, '\0')));  // no ADTS sync word
  EXPECT_FALSE(decoder.initialised());
  std::vector<int16_t> stereo{1, 2};
  EXPECT_FALSE(decoder.Decode(std::string(100, '\x55'), stereo));
  EXPECT_TRUE(stereo.empty());

  // A real header before garbage: configured, but nothing decodes.
  sim::AudioClip aac;
  std::string error;
  ASSERT_TRUE(sim::EncodeAacTone(16000, aac, error)) << error;
  std::string corrupt = aac.payloads.front().substr(0, 7) + std::string(aac.payloads.front().size() - 7, '\xFF');
  ASSERT_TRUE(decoder.Init(corrupt));
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(decoder.Decode(corrupt, stereo));
  EXPECT_FALSE(decoder.Decode(corrupt.substr(0, 9), stereo));  // cut short
}

}  // namespace
}  // namespace lumivex
