#pragma once
// The audio codecs of the live view: camera sound arrives as AAC (ADTS
// frames, decoded with FAAD2) or as Speex narrowband (ten 20-byte frames a
// packet); talk-back goes out in the camera's codec, Speex at quality 4 or
// AAC-LC from FFmpeg's encoder with ADTS headers from its muxer. PCM is
// 16-bit little-endian, as the sound devices take it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device/stream_handshake.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct SpeexBits;

namespace lumivex {

// What the connect reply says about a camera's sound.
struct AudioStreamInfo {
  CameraAudio codec = CameraAudio::kSpeex;
  int m_AudioSample = 8000;
};

inline constexpr int kSpeexSampleRate = 8000;  // narrowband, whatever the reply says
inline constexpr int kSpeexFrameSamples = 160;
inline constexpr int kSpeexFramesPerPacket = 10;
inline constexpr std::size_t kSpeexFrameBytes = 20;
inline constexpr int kSpeexPacketSamples = kSpeexFrameSamples * kSpeexFramesPerPacket;  // 200 ms
inline constexpr std::size_t kSpeexPcmBytes = kSpeexPacketSamples * 2;                   // 3200
inline constexpr int kAacFrameSamples = 1024;                                            // per channel
inline constexpr std::size_t kAacPlayBytes = kAacFrameSamples * 2 * 2;                   // stereo: 4096
inline constexpr std::size_t kAacTalkBytes = kAacFrameSamples * 2;                       // mono: 2048

// FAAD2, set up as the camera's decoder: 16-bit output, implicit SBR not
// up-sampled, configured from the first frame. Mono frames come out as
// stereo with both channels alike, because playback opens two channels:
// 1024 samples of mono fill the 4096-byte output buffer with real sound
// (never 4096 bytes copied out of 2048).
class AacDecoder {
 public:
  AacDecoder() = default;
  ~AacDecoder();
  AacDecoder(const AacDecoder&) = delete;
  AacDecoder& operator=(const AacDecoder&) = delete;

  bool initialised() const { return handle_ != nullptr; }
  // Opens and configures the decoder, reading rate and channels from the
  // frame's ADTS header (a frame without one is refused). On failure the
  // decoder stays closed, so that a later frame may try again.
  bool Init(std::string_view frame);
  // One ADTS frame into interleaved stereo. False for a decoder error, no
  // samples (the decoder's first frame gives none) or more than two
  // channels; stereo is then empty.
  bool Decode(std::string_view frame, std::vector<int16_t>& stereo);
  unsigned long sampleRate() const { return sampleRate_; }
  // Of the last decoded frame. FAAD2 built with parametric stereo gives
  // mono as two equal channels.
  int channels() const { return channels_; }

 private:
  void* handle_ = nullptr;  // NeAACDecHandle
  unsigned long sampleRate_ = 0;
  int channels_ = 0;
  std::vector<uint8_t> input_;  // the frame with zero padding after it
};

class SpeexDecoder {
 public:
  SpeexDecoder();
  ~SpeexDecoder();
  SpeexDecoder(const SpeexDecoder&) = delete;
  SpeexDecoder& operator=(const SpeexDecoder&) = delete;

  bool ok() const { return state_ != nullptr; }
  // A 200-byte packet into 1600 samples. A frame that does not decode gives
  // silence; false when any did not (pcm is filled all the same).
  bool Decode(std::string_view packet, int16_t* pcm);

 private:
  void* state_ = nullptr;
  SpeexBits* bits_ = nullptr;
};

class SpeexEncoder {
 public:
  SpeexEncoder();
  ~SpeexEncoder();
  SpeexEncoder(const SpeexEncoder&) = delete;
  SpeexEncoder& operator=(const SpeexEncoder&) = delete;

  bool ok() const { return state_ != nullptr; }
  // 1600 samples into the 200 bytes of ten frames.
  bool Encode(const int16_t* pcm, std::string& payload);

 private:
  void* state_ = nullptr;
  SpeexBits* bits_ = nullptr;
};

// AAC-LC, mono, blocks of 1024 samples; each coded frame with its ADTS
// header. The encoder holds back its first frames (its delay), so a block
// may give no bytes.
class AacEncoder {
 public:
  AacEncoder() = default;
  ~AacEncoder();
  AacEncoder(const AacEncoder&) = delete;
  AacEncoder& operator=(const AacEncoder&) = delete;

  bool Open(int sampleRate);
  // One block of kAacFrameSamples; adts = what came out (possibly nothing).
  bool Encode(const int16_t* pcm, std::string& adts);

 private:
  static int CollectMuxed(void* opaque, uint8_t* data, int size);
  bool Mux(std::string& adts);
  void Release();

  AVCodecContext* codec_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFormatContext* muxer_ = nullptr;
  AVIOContext* io_ = nullptr;
  std::string muxed_;  // what the muxer wrote since the last Encode
  int64_t samples_ = 0;
};

}  // namespace lumivex
