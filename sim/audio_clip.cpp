#include "sim/audio_clip.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}
#include <speex/speex.h>

#include <cmath>
#include <numbers>

#include "sim/sim_log.h"
#include "sim/wire.h"

namespace lumivex::sim {
namespace {

constexpr int kLoopSeconds = 2;

double Tone(long sample, int rate) { return std::sin(2 * std::numbers::pi * kToneHz * sample / rate); }

struct AacEncoder {
  AVCodecContext* ctx = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  ~AacEncoder() {
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
  }
};

bool DrainAac(AacEncoder& e, AudioClip& clip, std::string& error) {
  while (true) {
    int rc = avcodec_receive_packet(e.ctx, e.packet);
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
    if (rc < 0) {
      error = "the AAC encoder failed";
      return false;
    }
    std::string raw(reinterpret_cast<const char*>(e.packet->data), e.packet->size);
    av_packet_unref(e.packet);
    std::string frame = AdtsHeader(clip.sampleRate, 1, raw.size()) + raw;
    if (frame.size() > kMaxAacFrameBytes) {
      error = "an AAC frame larger than 1024 bytes";
      return false;
    }
    clip.payloads.push_back(std::move(frame));
  }
}

}  // namespace

bool EncodeSpeexTone(AudioClip& out, std::string& error) {
  void* state = speex_encoder_init(&speex_nb_mode);
  if (!state) {
    error = "speex_encoder_init failed";
    return false;
  }
  int quality = 4, frameSize = 0;
  speex_encoder_ctl(state, SPEEX_SET_QUALITY, &quality);
  speex_encoder_ctl(state, SPEEX_GET_FRAME_SIZE, &frameSize);
  SpeexBits bits;
  speex_bits_init(&bits);
  AudioClip clip;
  clip.packetType = kSpeexAudio;
  clip.sampleRate = 8000;
  clip.periodMs = 200;
  std::string packet;
  long sample = 0;
  const int frames = kLoopSeconds * clip.sampleRate / 160;
  for (int f = 0; f < frames && error.empty(); ++f) {
    spx_int16_t pcm[160];
    for (int i = 0; i < 160; ++i) pcm[i] = static_cast<spx_int16_t>(6000 * Tone(sample++, clip.sampleRate));
    speex_bits_reset(&bits);
    speex_encode_int(state, pcm, &bits);
    char bytes[64];
    int n = speex_bits_write(&bits, bytes, sizeof bytes);
    if (frameSize != 160 || n != static_cast<int>(kSpeexFrameBytes)) {
      error = "Speex gave a frame of " + std::to_string(n) + " bytes";
      break;
    }
    packet.append(bytes, static_cast<std::size_t>(n));
    if (packet.size() == kSpeexPacketBytes) clip.payloads.push_back(std::move(packet)), packet.clear();
  }
  speex_bits_destroy(&bits);
  speex_encoder_destroy(state);
  if (!error.empty()) return false;
  out = std::move(clip);
  return true;
}

bool EncodeAacTone(int sampleRate, AudioClip& out, std::string& error) {
  if (AdtsRateIndex(sampleRate) < 0) {
    error = "no ADTS sampling frequency " + std::to_string(sampleRate);
    return false;
  }
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
  AacEncoder e;
  if (!codec || !(e.ctx = avcodec_alloc_context3(codec)) || !(e.frame = av_frame_alloc()) ||
      !(e.packet = av_packet_alloc())) {
    error = "no AAC encoder";
    return false;
  }
  e.ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
  e.ctx->sample_rate = sampleRate;
  av_channel_layout_default(&e.ctx->ch_layout, 1);
  e.ctx->bit_rate = 32000;
  e.ctx->profile = FF_PROFILE_AAC_LOW;
  e.ctx->thread_count = 1;
  if (avcodec_open2(e.ctx, codec, nullptr) < 0 || e.ctx->frame_size <= 0) {
    error = "the AAC encoder does not open at " + std::to_string(sampleRate) + " Hz";
    return false;
  }
  e.frame->format = AV_SAMPLE_FMT_FLTP;
  e.frame->nb_samples = e.ctx->frame_size;
  e.frame->sample_rate = sampleRate;
  av_channel_layout_copy(&e.frame->ch_layout, &e.ctx->ch_layout);
  if (av_frame_get_buffer(e.frame, 0) < 0) {
    error = "out of memory";
    return false;
  }
  AudioClip clip;
  clip.packetType = kAacAudio;
  clip.sampleRate = sampleRate;
  clip.periodMs = 1000.0 * e.ctx->frame_size / sampleRate;
  const long total = static_cast<long>(kLoopSeconds) * sampleRate;
  for (long sample = 0; sample < total;) {
    if (av_frame_make_writable(e.frame) < 0) {
      error = "out of memory";
      return false;
    }
    float* data = reinterpret_cast<float*>(e.frame->data[0]);
    for (int i = 0; i < e.frame->nb_samples; ++i) data[i] = static_cast<float>(0.25 * Tone(sample + i, sampleRate));
    e.frame->pts = sample;
    sample += e.frame->nb_samples;
    if (avcodec_send_frame(e.ctx, e.frame) < 0 || !DrainAac(e, clip, error)) {
      if (error.empty()) error = "the AAC encoder refused a frame";
      return false;
    }
  }
  if (avcodec_send_frame(e.ctx, nullptr) < 0 || !DrainAac(e, clip, error) || clip.payloads.empty()) {
    if (error.empty()) error = "the AAC encoder gave nothing";
    return false;
  }
  out = std::move(clip);
  return true;
}

std::shared_ptr<const AudioClip> AudioCache::Speex() { return Get(0); }

std::shared_ptr<const AudioClip> AudioCache::Aac(int sampleRate) { return sampleRate > 0 ? Get(sampleRate) : nullptr; }

std::shared_ptr<const AudioClip> AudioCache::Get(int sampleRate) {
  std::lock_guard lock(mutex_);
  auto it = clips_.find(sampleRate);
  if (it != clips_.end()) return it->second;
  auto clip = std::make_shared<AudioClip>();
  std::string error;
  bool ok = sampleRate == 0 ? EncodeSpeexTone(*clip, error) : EncodeAacTone(sampleRate, *clip, error);
  if (!ok) LogError("audio: " + error);
  return clips_[sampleRate] = ok ? std::move(clip) : nullptr;
}

}  // namespace lumivex::sim
