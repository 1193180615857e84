// The cameras' media read back with real decoders: the H.264 loop through
// libavcodec's decoder, Speex through libspeex's decoder, AAC through
// FFmpeg's AAC decoder after its ADTS headers are checked by hand.

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
}
#include <speex/speex.h>

#include <cmath>

#include "sim/audio_clip.h"
#include "sim/clip.h"
#include "sim/picture.h"

namespace lumivex::sim {
namespace {

const std::string kStartCode("\0\0\0\1", 4);

int CountStartCodes(const std::string& s) {
  int n = 0;
  for (std::size_t i = 0; i + 3 <= s.size(); ++i)
    if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) ++n;
  return n;
}

class Decoder {
 public:
  explicit Decoder(AVCodecID id) {
    const AVCodec* codec = avcodec_find_decoder(id);
    ctx_ = avcodec_alloc_context3(codec);
    ctx_->thread_count = 1;
    ctx_->flags |= AV_CODEC_FLAG_LOW_DELAY;
    ctx_->err_recognition = AV_EF_EXPLODE | AV_EF_CRCCHECK | AV_EF_BITSTREAM;
    ok_ = avcodec_open2(ctx_, codec, nullptr) == 0;
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
  }
  ~Decoder() {
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&ctx_);
  }
  bool ok() const { return ok_; }
  // One packet in, the picture or sound it gives out (null when none).
  const AVFrame* Decode(const std::string& bytes) {
    av_new_packet(packet_, static_cast<int>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), packet_->data);
    int sent = avcodec_send_packet(ctx_, packet_);
    av_packet_unref(packet_);
    if (sent < 0) return nullptr;
    return avcodec_receive_frame(ctx_, frame_) == 0 ? frame_ : nullptr;
  }

 private:
  AVCodecContext* ctx_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  bool ok_ = false;
};

TEST(Clip, EveryFrameDecodesFromTheParameterSetsAlone) {
  Clip clip;
  std::string error;
  ASSERT_TRUE(EncodeClip({640, 360, 480000, "cam01 Front door", 0}, clip, error)) << error;
  ASSERT_EQ(clip.frames.size(), 30u);
  ASSERT_FALSE(clip.sps.empty());
  EXPECT_EQ(clip.sps[0] & 0x1F, 7);
  EXPECT_EQ(clip.pps[0] & 0x1F, 8);
  EXPECT_LE(clip.sps.size(), 59u);  // what the client's parameter-set record holds
  EXPECT_LE(clip.pps.size(), 59u);

  Decoder decoder(AV_CODEC_ID_H264);
  ASSERT_TRUE(decoder.ok());
  for (std::size_t i = 0; i < clip.frames.size(); ++i) {
    const std::string& f = clip.frames[i];
    ASSERT_EQ(f.substr(0, 4), kStartCode) << i;
    EXPECT_EQ(CountStartCodes(f), 1) << "frame " << i << " is one NAL unit";
    EXPECT_EQ(f[4] & 0x1F, i == 0 ? 5 : 1) << i;
    EXPECT_EQ(clip.IsKeyFrame(i), i == 0);
    std::string packet = i == 0 ? kStartCode + clip.sps + kStartCode + clip.pps + f : f;
    const AVFrame* picture = decoder.Decode(packet);
    ASSERT_NE(picture, nullptr) << "frame " << i;
    EXPECT_EQ(picture->width, 640);
    EXPECT_EQ(picture->height, 360);
    EXPECT_EQ(picture->pict_type, i == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_P) << i;
    EXPECT_EQ(picture->decode_error_flags, 0) << i;
  }
  // the loop starts over at its key frame
  EXPECT_NE(decoder.Decode(clip.frames[0]), nullptr);
}

TEST(Clip, SameKeySameBytesOtherNamePanOrTiltOtherPictures) {
  ClipKey key{320, 180, 200000, "cam07", 0};
  Clip a, b, named, panned;
  std::string error;
  ASSERT_TRUE(EncodeClip(key, a, error)) << error;
  ASSERT_TRUE(EncodeClip(key, b, error)) << error;
  EXPECT_EQ(a.frames, b.frames);
  EXPECT_EQ(a.sps, b.sps);
  ClipKey other = key;
  other.label = "cam08";
  ASSERT_TRUE(EncodeClip(other, named, error));
  EXPECT_NE(named.frames[0], a.frames[0]);
  other = key;
  other.pan = 32;
  ASSERT_TRUE(EncodeClip(other, panned, error));
  EXPECT_NE(panned.frames[0], a.frames[0]);
  Clip tilted;
  other = key;
  other.tilt = -18;
  ASSERT_TRUE(EncodeClip(other, tilted, error));
  EXPECT_NE(tilted.frames[0], a.frames[0]);
  EXPECT_NE(tilted.frames[0], panned.frames[0]);
  EXPECT_FALSE(EncodeClip({321, 180, 200000, "odd", 0}, a, error));

  ClipCache cache;
  auto first = cache.Request(key).get();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(cache.Request(key).get(), first);  // encoded once
  EXPECT_EQ(first->frames, a.frames);
}

TEST(Picture, FontDrawsKnownGlyphs) {
  uint8_t y[8 * 8] = {}, uv[16] = {};
  YuvPicture p{{y, uv, uv}, {8, 4, 4}, 8, 8};
  DrawText(p, 0, 0, 1, "I", 255);  // I: serifs at the top and bottom, a stem in column 2
  for (int row = 0; row < 7; ++row) {
    for (int col = 0; col < 5; ++col) {
      bool dot = col == 2 || ((row == 0 || row == 6) && col >= 1 && col <= 3);
      EXPECT_EQ(y[row * 8 + col], dot ? 255 : 0) << row << "," << col;
    }
  }
}

TEST(Audio, SpeexPacketsAreTenFramesOfTwentyBytes) {
  AudioClip clip;
  std::string error;
  ASSERT_TRUE(EncodeSpeexTone(clip, error)) << error;
  EXPECT_EQ(clip.packetType, 0x5A);
  EXPECT_EQ(clip.periodMs, 200);
  ASSERT_EQ(clip.payloads.size(), 10u);  // 2 s
  void* state = speex_decoder_init(&speex_nb_mode);
  SpeexBits bits;
  speex_bits_init(&bits);
  double energy = 0;
  for (const std::string& payload : clip.payloads) {
    ASSERT_EQ(payload.size(), 200u);
    for (int f = 0; f < 10; ++f) {
      speex_bits_read_from(&bits, const_cast<char*>(payload.data() + f * 20), 20);
      spx_int16_t pcm[160];
      ASSERT_EQ(speex_decode_int(state, &bits, pcm), 0);
      for (spx_int16_t s : pcm) energy += double(s) * s;
    }
  }
  speex_bits_destroy(&bits);
  speex_decoder_destroy(state);
  EXPECT_GT(std::sqrt(energy / (100 * 160)), 1000.0) << "a tone, not silence";
}

TEST(Audio, AacFramesCarryAdtsHeadersAndDecode) {
  AudioClip clip;
  std::string error;
  ASSERT_TRUE(EncodeAacTone(16000, clip, error)) << error;
  EXPECT_EQ(clip.packetType, 0x5B);
  EXPECT_EQ(clip.periodMs, 64);
  ASSERT_GE(clip.payloads.size(), 31u);
  Decoder decoder(AV_CODEC_ID_AAC);
  ASSERT_TRUE(decoder.ok());
  int decoded = 0;
  for (const std::string& f : clip.payloads) {
    auto u = [&](int i) { return static_cast<unsigned>(static_cast<uint8_t>(f[i])); };
    ASSERT_GE(f.size(), 7u);
    EXPECT_LE(f.size(), 1024u);
    EXPECT_EQ(u(0), 0xFFu);
    EXPECT_EQ(u(1) & 0xF6, 0xF0u);  // sync word, MPEG-4, layer 0
    EXPECT_EQ(u(1) & 1, 1u);          // no CRC
    EXPECT_EQ(u(2) >> 6, 1u);         // AAC LC
    EXPECT_EQ((u(2) >> 2) & 0xF, 8u); // 16000 Hz
    EXPECT_EQ((u(2) & 1) << 2 | u(3) >> 6, 1u);  // mono
    EXPECT_EQ((u(3) & 3) << 11 | u(4) << 3 | u(5) >> 5, f.size());
    if (const AVFrame* sound = decoder.Decode(f)) {
      EXPECT_EQ(sound->nb_samples, 1024);
      EXPECT_EQ(sound->sample_rate, 16000);
      ++decoded;
    }
  }
  EXPECT_GE(decoded, 30);
  EXPECT_FALSE(EncodeAacTone(12345, clip, error));
}

}  // namespace
}  // namespace lumivex::sim
