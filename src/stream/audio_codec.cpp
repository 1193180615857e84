#include "stream/audio_codec.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}
#include <neaacdec.h>
#include <speex/speex.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/logging.h"

namespace lumivex {
namespace {

// PCM buffers are handed to the devices as they lie in memory.
static_assert(std::endian::native == std::endian::little, "PCM is little-endian");

constexpr int kSpeexQuality = 4;
constexpr std::size_t kDecoderPadding = 64;  // zeros after a frame: no read past its end
constexpr int kIoBufferBytes = 4096;

NeAACDecHandle Faad(void* handle) { return static_cast<NeAACDecHandle>(handle); }

// Cameras send ADTS; without the header the decoder would take the frame for
// raw AAC of a default format and keep that for the camera's life.
bool StartsWithAdts(std::string_view frame) {
  return frame.size() >= 7 && static_cast<uint8_t>(frame[0]) == 0xFF && (static_cast<uint8_t>(frame[1]) & 0xF6) == 0xF0;
}

}  // namespace

AacDecoder::~AacDecoder() {
  if (handle_) NeAACDecClose(Faad(handle_));
}

bool AacDecoder::Init(std::string_view frame) {
  if (handle_) return true;
  if (!StartsWithAdts(frame)) return false;
  NeAACDecHandle h = NeAACDecOpen();
  if (!h) return false;
  NeAACDecConfigurationPtr config = NeAACDecGetCurrentConfiguration(h);
  config->outputFormat = FAAD_FMT_16BIT;
  config->dontUpSampleImplicitSBR = 1;
  input_.assign(frame.begin(), frame.end());
  input_.resize(frame.size() + kDecoderPadding, 0);
  unsigned long rate = 0;
  unsigned char channels = 0;
  if (!NeAACDecSetConfiguration(h, config) || NeAACDecInit(h, input_.data(), frame.size(), &rate, &channels) < 0 ||
      rate == 0 || channels == 0) {
    NeAACDecClose(h);
    return false;
  }
  handle_ = h;
  sampleRate_ = rate;
  return true;
}

bool AacDecoder::Decode(std::string_view frame, std::vector<int16_t>& stereo) {
  stereo.clear();
  if (!handle_ || frame.empty()) return false;
  input_.assign(frame.begin(), frame.end());
  input_.resize(frame.size() + kDecoderPadding, 0);
  NeAACDecFrameInfo info{};
  auto* pcm = static_cast<const int16_t*>(NeAACDecDecode(Faad(handle_), &info, input_.data(), frame.size()));
  if (!pcm || info.error != 0 || info.samples == 0 || info.channels == 0 || info.channels > 2) return false;
  channels_ = info.channels;
  const std::size_t frames = info.samples / info.channels;
  stereo.resize(frames * 2);
  for (std::size_t i = 0; i < frames; ++i) {
    stereo[2 * i] = pcm[i * info.channels];
    stereo[2 * i + 1] = pcm[i * info.channels + info.channels - 1];
  }
  return true;
}

SpeexDecoder::SpeexDecoder() : state_(speex_decoder_init(&speex_nb_mode)), bits_(new SpeexBits) {
  speex_bits_init(bits_);  // its buffer holds 2000 bytes
}

SpeexDecoder::~SpeexDecoder() {
  speex_bits_destroy(bits_);
  delete bits_;
  if (state_) speex_decoder_destroy(state_);
}

bool SpeexDecoder::Decode(std::string_view packet, int16_t* pcm) {
  std::fill(pcm, pcm + kSpeexPacketSamples, 0);
  if (!state_ || packet.size() != kSpeexFrameBytes * kSpeexFramesPerPacket) return false;
  bool all = true;
  for (int k = 0; k < kSpeexFramesPerPacket; ++k) {
    char frame[kSpeexFrameBytes];
    std::memcpy(frame, packet.data() + k * kSpeexFrameBytes, kSpeexFrameBytes);
    speex_bits_read_from(bits_, frame, static_cast<int>(kSpeexFrameBytes));
    int16_t* out = pcm + k * kSpeexFrameSamples;
    if (speex_decode_int(state_, bits_, out) != 0) {
      std::fill(out, out + kSpeexFrameSamples, 0);
      all = false;
    }
  }
  return all;
}

SpeexEncoder::SpeexEncoder() : state_(speex_encoder_init(&speex_nb_mode)), bits_(new SpeexBits) {
  speex_bits_init(bits_);
  int quality = kSpeexQuality, frameSize = 0;
  if (!state_) return;
  speex_encoder_ctl(state_, SPEEX_SET_QUALITY, &quality);
  speex_encoder_ctl(state_, SPEEX_GET_FRAME_SIZE, &frameSize);
  if (frameSize != kSpeexFrameSamples) {
    speex_encoder_destroy(state_);
    state_ = nullptr;
  }
}

SpeexEncoder::~SpeexEncoder() {
  speex_bits_destroy(bits_);
  delete bits_;
  if (state_) speex_encoder_destroy(state_);
}

bool SpeexEncoder::Encode(const int16_t* pcm, std::string& payload) {
  payload.clear();
  if (!state_) return false;
  for (int k = 0; k < kSpeexFramesPerPacket; ++k) {
    float samples[kSpeexFrameSamples];
    for (int i = 0; i < kSpeexFrameSamples; ++i) samples[i] = pcm[k * kSpeexFrameSamples + i];
    speex_bits_reset(bits_);
    speex_encode(state_, samples, bits_);
    char frame[64];
    if (speex_bits_nbytes(bits_) != static_cast<int>(kSpeexFrameBytes) ||
        speex_bits_write(bits_, frame, sizeof frame) != static_cast<int>(kSpeexFrameBytes))
      return false;
    payload.append(frame, kSpeexFrameBytes);
  }
  return true;
}

AacEncoder::~AacEncoder() { Release(); }

void AacEncoder::Release() {
  if (muxer_) avformat_free_context(muxer_);
  muxer_ = nullptr;
  if (io_) av_freep(&io_->buffer);
  avio_context_free(&io_);
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  avcodec_free_context(&codec_);
  muxed_.clear();
  samples_ = 0;
}

int AacEncoder::CollectMuxed(void* opaque, uint8_t* data, int size) {
  static_cast<AacEncoder*>(opaque)->muxed_.append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(size));
  return size;
}

bool AacEncoder::Open(int sampleRate) {
  Release();
  const AVCodec* codec = avcodec_find_encoder_by_name("aac");
  if (!codec || sampleRate <= 0 || !(codec_ = avcodec_alloc_context3(codec)) || !(frame_ = av_frame_alloc()) ||
      !(packet_ = av_packet_alloc()))
    return Release(), false;
  codec_->sample_fmt = AV_SAMPLE_FMT_FLTP;
  codec_->sample_rate = sampleRate;
  av_channel_layout_default(&codec_->ch_layout, 1);
  codec_->profile = FF_PROFILE_AAC_LOW;
  codec_->cutoff = 0;  // bandwidth chosen by the encoder
  // About 256 bytes a frame: a voice on a camera's speaker, far from the
  // 1024 bytes a camera takes.
  codec_->bit_rate = std::min(2L * sampleRate, 64000L);
  codec_->time_base = AVRational{1, sampleRate};
  codec_->thread_count = 1;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "aac_tns", "1", 0);
  const int opened = avcodec_open2(codec_, codec, &options);
  av_dict_free(&options);
  if (opened < 0 || codec_->frame_size != kAacFrameSamples) return Release(), false;

  frame_->format = AV_SAMPLE_FMT_FLTP;
  frame_->nb_samples = kAacFrameSamples;
  frame_->sample_rate = sampleRate;
  if (av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout) < 0 || av_frame_get_buffer(frame_, 0) < 0)
    return Release(), false;

  // The ADTS headers come from the muxer, written into muxed_.
  AVStream* stream = nullptr;
  auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
  if (!buffer || avformat_alloc_output_context2(&muxer_, nullptr, "adts", nullptr) < 0 || !muxer_ ||
      !(io_ = avio_alloc_context(buffer, kIoBufferBytes, 1, this, nullptr, &AacEncoder::CollectMuxed, nullptr))) {
    av_free(io_ ? nullptr : buffer);
    return Release(), false;
  }
  muxer_->pb = io_;
  if (!(stream = avformat_new_stream(muxer_, nullptr)) ||
      avcodec_parameters_from_context(stream->codecpar, codec_) < 0)
    return Release(), false;
  stream->time_base = codec_->time_base;
  if (avformat_write_header(muxer_, nullptr) < 0) return Release(), false;
  avio_flush(io_);
  muxed_.clear();
  return true;
}

bool AacEncoder::Encode(const int16_t* pcm, std::string& adts) {
  adts.clear();
  if (!codec_ || av_frame_make_writable(frame_) < 0) return false;
  auto* samples = reinterpret_cast<float*>(frame_->data[0]);
  for (int i = 0; i < kAacFrameSamples; ++i) samples[i] = pcm[i] / 32768.0f;
  frame_->pts = samples_;
  samples_ += kAacFrameSamples;
  if (avcodec_send_frame(codec_, frame_) < 0) return false;
  return Mux(adts);
}

bool AacEncoder::Mux(std::string& adts) {
  while (true) {
    int rc = avcodec_receive_packet(codec_, packet_);
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) break;
    if (rc < 0) return false;
    av_packet_rescale_ts(packet_, codec_->time_base, muxer_->streams[0]->time_base);
    packet_->stream_index = 0;
    rc = av_write_frame(muxer_, packet_);
    av_packet_unref(packet_);
    if (rc < 0) return false;
  }
  avio_flush(io_);
  adts.swap(muxed_);
  muxed_.clear();
  return true;
}

}  // namespace lumivex
