// The live picture path: fragments -> frame ring -> H.264 decoder. Input:
// four characters of the device key, then the bytes a camera sends from the
// start of a session: the connect reply (whose size and parameter sets open
// the decoder), then video and audio packets.
//
// Per-input cost is bounded the way FFmpeg's own decoder fuzzer does it:
// the decoder refuses pictures beyond its largest size, and one input
// decodes at most a budget of pixels and a number of frames.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" {
#include <libavutil/frame.h>
}

#include "device/session_packet.h"
#include "device/stream_handshake.h"
#include "fuzz/fuzz_support.h"
#include "stream/frame_ring.h"
#include "stream/video_decoder.h"

namespace {

using namespace lumivex;

constexpr uint64_t kPixelBudget = 2ULL * kMaxPictureWidth * kMaxPictureHeight;
constexpr int kMaxDecodes = 64;

struct Budget {
  uint64_t pixels = 0;
  int decodes = 0;
  bool spent() const { return pixels > kPixelBudget || decodes >= kMaxDecodes; }
};

void Show(VideoDecoder& decoder, Budget& budget, const ShownFrame& frame) {
  if (budget.spent()) return;
  ++budget.decodes;
  const AVFrame* picture = decoder.Decode(frame.data, frame.size);
  if (!picture) return;
  if (picture->width > kMaxPictureWidth || picture->height > kMaxPictureHeight) __builtin_trap();
  budget.pixels += (picture->width + 32ULL) * (picture->height + 32ULL);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static FrameRing ring;  // 32 slots of 300 KB: made once
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string key(input.substr(0, 4));
  if (key.size() != 4) return 0;
  fuzz::SocketPair pair;
  if (!pair.ok() || !pair.Feed(input.substr(4))) return 0;
  DeviceConnection conn;
  conn.tcpSocket = pair.TakeReader();

  ring.Reset();
  VideoDecoder decoder;
  bool open = false;
  Budget budget;
  auto show = [&](const ShownFrame& frame) { Show(decoder, budget, frame); };
  SessionPacket packet;
  while (!budget.spent() && ReceiveSessionPacket(conn, Transport::kTcp, packet) == Received::kPacket) {
    Json::Value reply;
    StreamParameters params;
    VideoFragment fragment;
    if (!open) {
      // Media before the reply is skipped, as the handshake does.
      if (OpenSessionPacket(key, packet, reply) && ParseConnectReply(reply, false, params)) {
        if (!decoder.InitVideoDecoder(params)) return 0;
        open = true;
      }
      continue;
    }
    if (!ParseVideoFragment(packet, fragment)) continue;
    ring.Insert(fragment);
    ring.Tick(show);
  }
  while (open && !budget.spent() && ring.Tick(show) != TickResult::kIdle) {
  }
  return 0;
}
