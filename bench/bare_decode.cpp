#include "bare_decode.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
}

#include <cstring>
#include <functional>
#include <vector>

#include "stream/video_decoder.h"
#include "usage.h"

namespace lumivex::bench {
namespace {

using OnPicture = std::function<bool(const AVFrame&)>;

class Decoder {
 public:
  ~Decoder() {
    for (AVPacket*& p : packets_) av_packet_free(&p);
    av_frame_free(&frame_);
    avcodec_free_context(&ctx_);
  }

  // The parameter sets go in as extradata, Annex B, as the connect reply hands them over.
  bool Open(const std::string& parameterSets, std::string& error) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (!codec) return error = "libavcodec has no H.264 decoder", false;
    ctx_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    if (!ctx_ || !frame_) return error = "out of memory", false;
    ctx_->extradata = static_cast<uint8_t*>(av_mallocz(parameterSets.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!ctx_->extradata) return error = "out of memory", false;
    std::memcpy(ctx_->extradata, parameterSets.data(), parameterSets.size());
    ctx_->extradata_size = static_cast<int>(parameterSets.size());
    ctx_->thread_count = 1;
    ctx_->flags |= AV_CODEC_FLAG_LOW_DELAY;  // one picture per packet, as the live view asks
    if (avcodec_open2(ctx_, codec, nullptr) < 0) return error = "the H.264 decoder does not open", false;
    return true;
  }

  // A padded, reference-counted copy, made once and sent as often as needed.
  bool AddPacket(const std::string& bytes, std::string& error) {
    AVPacket* p = av_packet_alloc();
    if (!p || av_new_packet(p, static_cast<int>(bytes.size())) < 0) {
      av_packet_free(&p);
      return error = "out of memory", false;
    }
    std::memcpy(p->data, bytes.data(), bytes.size());
    packets_.push_back(p);
    return true;
  }

  // Sends packet index (null: the end) and hands on what comes out.
  bool Send(const AVPacket* packet, const OnPicture& onPicture, std::string& error) {
    if (avcodec_send_packet(ctx_, packet) < 0) return error = "the decoder refused a frame", false;
    for (;;) {
      const int rc = avcodec_receive_frame(ctx_, frame_);
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
      if (rc < 0) return error = "the decoder failed", false;
      const bool ok = onPicture(*frame_);
      av_frame_unref(frame_);
      if (!ok) return error = "a decoded picture of the wrong size, or one that does not convert", false;
    }
  }

  const AVPacket* packet(uint64_t i) const { return packets_[i % packets_.size()]; }

 private:
  AVCodecContext* ctx_ = nullptr;
  AVFrame* frame_ = nullptr;
  std::vector<AVPacket*> packets_;
};

}  // namespace

bool BareDecode(const sim::ClipKey& key, uint64_t frames, PictureSize window, BareDecodeResult& out,
                std::string& error) {
  sim::Clip clip;
  if (!sim::EncodeClip(key, clip, error)) return false;
  const std::string startCode("\0\0\0\1", 4);
  Decoder decoder;
  if (!decoder.Open(startCode + clip.sps + startCode + clip.pps, error)) return false;
  for (const std::string& frame : clip.frames)
    if (!decoder.AddPacket(frame, error)) return false;

  PictureConverter converter;
  Picture picture;
  uint64_t pictures = 0;
  double convert = 0;
  const OnPicture onPicture = [&](const AVFrame& f) {
    if (f.width != key.width || f.height != key.height) return false;
    ++pictures;
    const double start = ThreadCpuSeconds();
    const bool ok = converter.Convert(f, 0, window, picture);
    convert += ThreadCpuSeconds() - start;
    return ok;
  };
  const double start = ThreadCpuSeconds();
  for (uint64_t i = 0; i < frames; ++i)
    if (!decoder.Send(decoder.packet(i), onPicture, error)) return false;
  if (!decoder.Send(nullptr, onPicture, error)) return false;
  out.frames = pictures;
  out.convertCpuSeconds = convert;
  out.cpuSeconds = ThreadCpuSeconds() - start - convert;
  if (pictures != frames) {
    error = "the decoder gave " + std::to_string(pictures) + " pictures for " + std::to_string(frames) + " frames";
    return false;
  }
  return true;
}

}  // namespace lumivex::bench
