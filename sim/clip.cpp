#include "sim/clip.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include "sim/picture.h"
#include "sim/sim_log.h"
#include "sim/wire.h"

namespace lumivex::sim {
namespace {

constexpr int kNalSlice = 1, kNalIdr = 5, kNalSps = 7, kNalPps = 8;

int NalType(const std::string& nal) { return nal.empty() ? -1 : static_cast<unsigned char>(nal[0]) & 0x1F; }

struct Encoder {
  AVCodecContext* ctx = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  ~Encoder() {
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
  }
};

bool OpenEncoder(const ClipKey& key, Encoder& e, std::string& error) {
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });  // no encoder statistics on stderr
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  if (!codec) {
    error = "libavcodec has no libx264 encoder";
    return false;
  }
  e.ctx = avcodec_alloc_context3(codec);
  e.frame = av_frame_alloc();
  e.packet = av_packet_alloc();
  if (!e.ctx || !e.frame || !e.packet) {
    error = "out of memory";
    return false;
  }
  e.ctx->width = key.width;
  e.ctx->height = key.height;
  e.ctx->pix_fmt = AV_PIX_FMT_YUV420P;
  e.ctx->time_base = {1, kClipFps};
  e.ctx->framerate = {kClipFps, 1};
  e.ctx->gop_size = kClipFrames;
  e.ctx->max_b_frames = 0;
  e.ctx->bit_rate = key.bitRate;
  e.ctx->rc_max_rate = key.bitRate;
  e.ctx->rc_buffer_size = key.bitRate;
  e.ctx->thread_count = 1;  // one thread: the same bytes on every run
  av_opt_set(e.ctx->priv_data, "preset", "veryfast", 0);
  av_opt_set(e.ctx->priv_data, "x264-params",
             "slices=1:scenecut=0:keyint=30:min-keyint=30:bframes=0:sliced-threads=0:rc-lookahead=0:mbtree=0", 0);
  if (avcodec_open2(e.ctx, codec, nullptr) < 0) {
    error = "libx264 does not open for " + std::to_string(key.width) + "x" + std::to_string(key.height);
    return false;
  }
  e.frame->format = AV_PIX_FMT_YUV420P;
  e.frame->width = key.width;
  e.frame->height = key.height;
  if (av_frame_get_buffer(e.frame, 0) < 0) {
    error = "out of memory";
    return false;
  }
  return true;
}

// Files one encoded access unit: parameter sets are kept once, SEI and
// delimiters are dropped, and exactly one slice must remain.
bool TakeAccessUnit(const AVPacket& packet, Clip& clip, std::string& error) {
  int slices = 0;
  for (std::string& nal : SplitNalUnits(std::string(reinterpret_cast<const char*>(packet.data), packet.size))) {
    switch (NalType(nal)) {
      case kNalSps:
        if (clip.sps.empty()) clip.sps = nal;
        break;
      case kNalPps:
        if (clip.pps.empty()) clip.pps = nal;
        break;
      case kNalSlice:
      case kNalIdr:
        ++slices;
        clip.frames.push_back(std::string("\0\0\0\1", 4) + nal);
        break;
      default:
        break;
    }
  }
  if (slices != 1) {
    error = "an access unit with " + std::to_string(slices) + " slices";
    return false;
  }
  if (clip.frames.back().size() > kMaxFrameBytes) {
    error = "a frame larger than " + std::to_string(kMaxFrameBytes) + " bytes";
    return false;
  }
  return true;
}

bool Drain(Encoder& e, Clip& clip, std::string& error) {
  while (true) {
    int rc = avcodec_receive_packet(e.ctx, e.packet);
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
    if (rc < 0) {
      error = "the encoder failed";
      return false;
    }
    bool ok = TakeAccessUnit(*e.packet, clip, error);
    av_packet_unref(e.packet);
    if (!ok) return false;
  }
}

}  // namespace

bool Clip::IsKeyFrame(std::size_t index) const {
  return index < frames.size() && frames[index].size() > 4 && NalType(frames[index].substr(4)) == kNalIdr;
}

std::vector<std::string> SplitNalUnits(const std::string& s) {
  std::vector<std::string> units;
  std::size_t start = std::string::npos;
  std::size_t i = 0;
  auto finish = [&](std::size_t end) {
    if (start == std::string::npos) return;
    while (end > start && s[end - 1] == '\0') --end;  // zeros before the next start code
    if (end > start) units.push_back(s.substr(start, end - start));
  };
  while (i + 3 <= s.size()) {
    if (s[i] == '\0' && s[i + 1] == '\0' && s[i + 2] == '\1') {
      finish(i);
      i += 3;
      start = i;
    } else {
      ++i;
    }
  }
  finish(s.size());
  return units;
}

bool EncodeFrames(const ClipKey& key, int count, const PictureDrawer& draw, Clip& out, std::string& error) {
  if (key.width < 16 || key.height < 16 || key.width % 2 || key.height % 2) {
    error = "picture size must be even and at least 16x16";
    return false;
  }
  Encoder e;
  if (!OpenEncoder(key, e, error)) return false;
  Clip clip;
  clip.key = key;
  for (int i = 0; i < count; ++i) {
    if (av_frame_make_writable(e.frame) < 0) {
      error = "out of memory";
      return false;
    }
    YuvPicture picture{{e.frame->data[0], e.frame->data[1], e.frame->data[2]},
                       {e.frame->linesize[0], e.frame->linesize[1], e.frame->linesize[2]},
                       key.width,
                       key.height};
    draw(i, picture);
    e.frame->pts = i;
    if (avcodec_send_frame(e.ctx, e.frame) < 0) {
      error = "the encoder refused a picture";
      return false;
    }
    if (!Drain(e, clip, error)) return false;
  }
  if (avcodec_send_frame(e.ctx, nullptr) < 0 || !Drain(e, clip, error)) {
    if (error.empty()) error = "the encoder failed at the end";
    return false;
  }
  if (static_cast<int>(clip.frames.size()) != count || clip.sps.empty() || clip.pps.empty()) {
    error = "the encoder gave " + std::to_string(clip.frames.size()) + " frames";
    return false;
  }
  for (int i = 0; i < count; ++i) {
    if (clip.IsKeyFrame(i) != (i == 0)) {
      error = "frame " + std::to_string(i) + (i == 0 ? " is not" : " is") + " a key frame";
      return false;
    }
  }
  out = std::move(clip);
  return true;
}

bool EncodeClip(const ClipKey& key, Clip& out, std::string& error) {
  return EncodeFrames(
      key, kClipFrames,
      [&key](int i, YuvPicture& picture) { DrawPicture({key.label, i, kClipFrames, key.pan, key.tilt}, picture); },
      out, error);
}

ClipCache::Handle ClipCache::Request(const ClipKey& key) {
  std::lock_guard lock(mutex_);
  auto it = clips_.find(key);
  if (it != clips_.end()) return it->second;
  Handle handle = std::async(std::launch::async, [key]() -> std::shared_ptr<const Clip> {
                    auto clip = std::make_shared<Clip>();
                    std::string error;
                    if (EncodeClip(key, *clip, error)) return clip;
                    LogError("clip " + std::to_string(key.width) + "x" + std::to_string(key.height) + ": " + error);
                    return nullptr;
                  }).share();
  clips_.emplace(key, handle);
  return handle;
}

}  // namespace lumivex::sim
