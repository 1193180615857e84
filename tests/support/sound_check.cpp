#include "support/sound_check.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}
#include <speex/speex.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>

namespace lumivex::test {
namespace {

constexpr int kAdtsRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};

class BitWriter {
 public:
  void Put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      if (used_ % 8 == 0) bytes_.push_back('\0');
      if (value >> i & 1) bytes_.back() = static_cast<char>(bytes_.back() | 0x80 >> (used_ % 8));
      ++used_;
    }
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
  int used_ = 0;
};

std::string AdtsHeaderFor(int rate, std::size_t rawBytes) {
  const int index = static_cast<int>(std::find(std::begin(kAdtsRates), std::end(kAdtsRates), rate) -
                                     std::begin(kAdtsRates));
  BitWriter w;
  w.Put(0xFFF, 12);  // sync word
  w.Put(0, 1);       // MPEG-4
  w.Put(0, 2);       // layer
  w.Put(1, 1);       // no CRC
  w.Put(1, 2);       // object type 2 (AAC-LC) less one
  w.Put(static_cast<uint32_t>(index), 4);
  w.Put(0, 1);
  w.Put(1, 3);  // mono
  w.Put(0, 4);  // original, home, copyright bits
  w.Put(static_cast<uint32_t>(rawBytes + 7), 13);
  w.Put(0x7FF, 11);  // variable rate
  w.Put(0, 2);       // one raw data block
  return w.bytes();
}

struct Codec {
  AVCodecContext* ctx = nullptr;
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  ~Codec() {
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
  }
};

void TakeFloats(const AVFrame& f, std::vector<int16_t>& out) {
  const float* data = reinterpret_cast<const float*>(f.extended_data[0]);
  for (int i = 0; i < f.nb_samples; ++i)
    out.push_back(static_cast<int16_t>(std::lround(std::clamp(data[i], -1.0f, 1.0f) * 32767)));
}

uint32_t Le(const std::string& s, std::size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
  return v;
}

}  // namespace

std::vector<int16_t> SineSamples(double hz, int rate, std::size_t count, double amplitude) {
  std::vector<int16_t> out(count);
  for (std::size_t i = 0; i < count; ++i)
    out[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate)));
  return out;
}

double DominantHz(const std::vector<int16_t>& samples, int rate, double lowHz, double highHz, double stepHz) {
  double best = 0, bestPower = -1;
  for (double hz = lowHz; hz <= highHz; hz += stepHz) {
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * hz / rate);
    double s1 = 0, s2 = 0;
    for (int16_t x : samples) {
      const double s0 = x + coefficient * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    if (power > bestPower) bestPower = power, best = hz;
  }
  return best;
}

std::vector<std::string> SpeexPayloads(const std::vector<int16_t>& samples) {
  void* state = speex_encoder_init(&speex_nb_mode);
  int quality = 4;
  speex_encoder_ctl(state, SPEEX_SET_QUALITY, &quality);
  SpeexBits bits;
  speex_bits_init(&bits);
  std::vector<std::string> payloads;
  std::string payload;
  for (std::size_t at = 0; at + 160 <= samples.size(); at += 160) {
    std::vector<spx_int16_t> frame(samples.begin() + at, samples.begin() + at + 160);
    speex_bits_reset(&bits);
    speex_encode_int(state, frame.data(), &bits);
    char bytes[200];
    const int n = speex_bits_write(&bits, bytes, sizeof bytes);
    payload.append(bytes, static_cast<std::size_t>(n));
    if (payload.size() >= 200) payloads.push_back(payload), payload.clear();
  }
  speex_bits_destroy(&bits);
  speex_encoder_destroy(state);
  return payloads;
}

std::vector<int16_t> DecodeSpeex(const std::vector<std::string>& payloads) {
  void* state = speex_decoder_init(&speex_nb_mode);
  SpeexBits bits;
  speex_bits_init(&bits);
  std::vector<int16_t> out;
  for (const std::string& p : payloads) {
    for (std::size_t at = 0; at + 20 <= p.size(); at += 20) {
      speex_bits_read_from(&bits, const_cast<char*>(p.data() + at), 20);
      spx_int16_t pcm[160];
      if (speex_decode_int(state, &bits, pcm) == 0) out.insert(out.end(), pcm, pcm + 160);
    }
  }
  speex_bits_destroy(&bits);
  speex_decoder_destroy(state);
  return out;
}

std::vector<std::string> AdtsFrames(const std::vector<int16_t>& samples, int rate) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
  Codec e;
  e.ctx = avcodec_alloc_context3(codec);
  e.ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
  e.ctx->sample_rate = rate;
  av_channel_layout_default(&e.ctx->ch_layout, 1);
  e.ctx->bit_rate = 48000;
  e.ctx->profile = FF_PROFILE_AAC_LOW;
  std::vector<std::string> frames;
  if (avcodec_open2(e.ctx, codec, nullptr) < 0) return frames;
  auto drain = [&] {
    while (avcodec_receive_packet(e.ctx, e.packet) == 0) {
      std::string raw(reinterpret_cast<const char*>(e.packet->data), e.packet->size);
      frames.push_back(AdtsHeaderFor(rate, raw.size()) + raw);
      av_packet_unref(e.packet);
    }
  };
  const int size = e.ctx->frame_size;
  for (std::size_t at = 0; at + size <= samples.size(); at += size) {
    e.frame->format = AV_SAMPLE_FMT_FLTP;
    e.frame->nb_samples = size;
    e.frame->sample_rate = rate;
    av_channel_layout_copy(&e.frame->ch_layout, &e.ctx->ch_layout);
    if (av_frame_get_buffer(e.frame, 0) < 0) break;
    float* data = reinterpret_cast<float*>(e.frame->data[0]);
    for (int i = 0; i < size; ++i) data[i] = samples[at + i] / 32768.0f;
    e.frame->pts = static_cast<int64_t>(at);
    const bool sent = avcodec_send_frame(e.ctx, e.frame) == 0;
    av_frame_unref(e.frame);
    if (!sent) break;
    drain();
  }
  avcodec_send_frame(e.ctx, nullptr);
  drain();
  return frames;
}

std::vector<int16_t> DecodeAac(const std::vector<std::string>& frames) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_AAC);
  Codec d;
  d.ctx = avcodec_alloc_context3(codec);
  std::vector<int16_t> out;
  if (avcodec_open2(d.ctx, codec, nullptr) < 0) return out;
  for (const std::string& f : frames) {
    av_new_packet(d.packet, static_cast<int>(f.size()));
    std::copy(f.begin(), f.end(), d.packet->data);
    const bool sent = avcodec_send_packet(d.ctx, d.packet) == 0;
    av_packet_unref(d.packet);
    while (sent && avcodec_receive_frame(d.ctx, d.frame) == 0) {
      if (d.frame->format == AV_SAMPLE_FMT_FLTP) TakeFloats(*d.frame, out);
      av_frame_unref(d.frame);
    }
  }
  return out;
}

std::string TalkPacket(uint8_t type, const std::string& payload) {
  std::string p(11, '\0');
  p[0] = static_cast<char>(type);
  p[1] = static_cast<char>(payload.size() & 0xFF);
  p[2] = static_cast<char>(payload.size() >> 8);
  return p + payload;
}

bool ReadWav(const std::string& path, Wav& out, std::string& why) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Wav w;
  w.fileSize = bytes.size();
  if (bytes.size() < 44) {
    why = "shorter than a header: " + std::to_string(bytes.size()) + " bytes";
    return false;
  }
  if (bytes.substr(0, 4) != "RIFF" || bytes.substr(8, 8) != "WAVEfmt " || bytes.substr(36, 4) != "data") {
    why = "not RIFF WAVE with fmt then data";
    return false;
  }
  w.riffSize = Le(bytes, 4, 4);
  w.fmtSize = Le(bytes, 16, 4);
  w.format = static_cast<uint16_t>(Le(bytes, 20, 2));
  w.channels = static_cast<uint16_t>(Le(bytes, 22, 2));
  w.sampleRate = Le(bytes, 24, 4);
  w.byteRate = Le(bytes, 28, 4);
  w.blockAlign = static_cast<uint16_t>(Le(bytes, 32, 2));
  w.bits = static_cast<uint16_t>(Le(bytes, 34, 2));
  w.dataSize = Le(bytes, 40, 4);
  if (w.dataSize > bytes.size() - 44 || w.dataSize % 2) {
    why = "a data size of " + std::to_string(w.dataSize) + " in a file of " + std::to_string(bytes.size());
    return false;
  }
  for (std::size_t at = 44; at + 2 <= 44 + w.dataSize; at += 2)
    w.samples.push_back(static_cast<int16_t>(Le(bytes, at, 2)));
  out = std::move(w);
  return true;
}

}  // namespace lumivex::test
