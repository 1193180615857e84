#include "sim/talk_audio.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}
#include <speex/speex.h>

#include <algorithm>
#include <cmath>

#include "sim/adts.h"
#include "sim/audio_clip.h"

namespace lumivex::sim {
namespace {

constexpr int kSpeexFrameSamples = 160;
constexpr int kAacProfileLc = 1;

int16_t ToPcm16(float v) { return static_cast<int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f)); }

// Channel 0 of a decoded frame: the client talks in mono.
bool AppendSamples(const AVFrame& frame, std::vector<int16_t>& out) {
  const int n = frame.nb_samples;
  switch (frame.format) {
    case AV_SAMPLE_FMT_FLTP:
    case AV_SAMPLE_FMT_FLT: {
      const float* data = reinterpret_cast<const float*>(frame.extended_data[0]);
      const int step = frame.format == AV_SAMPLE_FMT_FLT ? frame.ch_layout.nb_channels : 1;
      for (int i = 0; i < n; ++i) out.push_back(ToPcm16(data[i * step]));
      return true;
    }
    case AV_SAMPLE_FMT_S16P:
    case AV_SAMPLE_FMT_S16: {
      const int16_t* data = reinterpret_cast<const int16_t*>(frame.extended_data[0]);
      const int step = frame.format == AV_SAMPLE_FMT_S16 ? frame.ch_layout.nb_channels : 1;
      for (int i = 0; i < n; ++i) out.push_back(data[i * step]);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

struct TalkDecoder::Speex {
  void* state = nullptr;
  SpeexBits bits{};
  ~Speex() {
    if (!state) return;
    speex_bits_destroy(&bits);
    speex_decoder_destroy(state);
  }
};

struct TalkDecoder::Aac {
  AVCodecContext* ctx = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  ~Aac() {
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
  }
};

TalkDecoder::TalkDecoder() = default;
TalkDecoder::~TalkDecoder() = default;

bool TalkDecoder::DecodeSpeex(std::string_view payload, TalkSound& out, std::string& why) {
  if (payload.size() != kSpeexPacketBytes) {
    why = "a Speex talk payload of " + std::to_string(payload.size()) + " bytes (expected " +
          std::to_string(kSpeexPacketBytes) + ")";
    return false;
  }
  if (!speex_) {
    auto s = std::make_unique<Speex>();
    s->state = speex_decoder_init(&speex_nb_mode);
    if (!s->state) {
      why = "no Speex decoder";
      return false;
    }
    speex_bits_init(&s->bits);
    speex_ = std::move(s);
  }
  TalkSound sound;
  sound.sampleRate = kSpeexTalkRate;
  sound.samples.resize(payload.size() / kSpeexFrameBytes * kSpeexFrameSamples);
  for (std::size_t f = 0; f * kSpeexFrameBytes < payload.size(); ++f) {
    // libspeex reads from a non-const buffer but does not write to it
    speex_bits_read_from(&speex_->bits, const_cast<char*>(payload.data() + f * kSpeexFrameBytes),
                         static_cast<int>(kSpeexFrameBytes));
    if (speex_decode_int(speex_->state, &speex_->bits, sound.samples.data() + f * kSpeexFrameSamples) != 0) {
      why = "Speex frame " + std::to_string(f) + " of a talk packet does not decode";
      return false;
    }
  }
  out = std::move(sound);
  return true;
}

bool TalkDecoder::DecodeAac(std::string_view payload, TalkSound& out, std::string& why) {
  std::vector<AdtsFrame> frames;
  if (!SplitAdtsFrames(payload, frames, why)) return false;
  TalkSound sound;
  for (const AdtsFrame& f : frames) {
    if (f.profile != kAacProfileLc) {
      why = "an AAC talk frame of profile " + std::to_string(f.profile) + " (expected 1, AAC-LC)";
      return false;
    }
    if (f.channels != 1) {
      why = "an AAC talk frame of " + std::to_string(f.channels) + " channels (expected mono)";
      return false;
    }
    if (sound.sampleRate != 0 && f.sampleRate != sound.sampleRate) {
      why = "AAC talk frames at two sampling rates in one packet";
      return false;
    }
    sound.sampleRate = f.sampleRate;
  }
  if (!aac_ && !frames.empty()) {
    auto a = std::make_unique<Aac>();
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_AAC);
    if (!codec || !(a->ctx = avcodec_alloc_context3(codec)) || !(a->frame = av_frame_alloc()) ||
        !(a->packet = av_packet_alloc())) {
      why = "no AAC decoder";
      return false;
    }
    a->ctx->thread_count = 1;
    if (avcodec_open2(a->ctx, codec, nullptr) < 0) {
      why = "the AAC decoder does not open";
      return false;
    }
    aac_ = std::move(a);
  }
  for (const AdtsFrame& f : frames) {
    if (av_new_packet(aac_->packet, static_cast<int>(f.bytes.size())) < 0) {
      why = "out of memory";
      return false;
    }
    std::copy(f.bytes.begin(), f.bytes.end(), aac_->packet->data);
    const int sent = avcodec_send_packet(aac_->ctx, aac_->packet);
    av_packet_unref(aac_->packet);
    if (sent < 0) {
      why = "an AAC talk frame that does not decode";
      return false;
    }
    while (avcodec_receive_frame(aac_->ctx, aac_->frame) == 0) {
      const bool known = AppendSamples(*aac_->frame, sound.samples);
      av_frame_unref(aac_->frame);
      if (!known) {
        why = "the AAC decoder gave an unexpected sample format";
        return false;
      }
    }
  }
  out = std::move(sound);
  return true;
}

}  // namespace lumivex::sim
