// SessionPacket: the receive path of a camera session on TCP. Input: four
// characters of the device key, then the bytes the camera sends; every
// packet received is taken apart as video, audio or an opened message.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "device/frame_assembler.h"
#include "device/session_packet.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace lumivex;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string key(input.substr(0, 4));
  if (key.size() != 4) return 0;
  fuzz::SocketPair pair;
  if (!pair.ok() || !pair.Feed(input.substr(4))) return 0;
  DeviceConnection conn;
  conn.tcpSocket = pair.TakeReader();
  FrameAssembler assembler;
  SessionPacket packet;
  while (ReceiveSessionPacket(conn, Transport::kTcp, packet) == Received::kPacket) {
    if (packet.bytes.size() > kReceiveBufferBytes) __builtin_trap();
    VideoFragment fragment;
    AudioPacket audio;
    Json::Value message;
    VideoFrame frame;
    if (ParseVideoFragment(packet, fragment)) {
      if (assembler.Add(fragment, frame) && frame.bytes.size() > kMaxFrameBytes) __builtin_trap();
    } else if (ParseAudioPacket(packet, audio)) {
      if (audio.payload.size() + kAudioHeaderBytes != packet.bytes.size()) __builtin_trap();
    } else if (OpenSessionPacket(key, packet, message) && !message.isObject()) {
      __builtin_trap();
    }
  }
  return 0;
}
