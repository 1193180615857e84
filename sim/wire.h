#pragma once
// The camera's side of the device byte stream: sealed JSON packets, video
// fragments, audio packets, and the datagrams of NAT traversal. Everything
// read here comes from the network and is checked before it is used.

#include <json/json.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/session_key.h"

namespace lumivex::sim {

inline constexpr uint8_t kInteractive = 0x32;
inline constexpr uint8_t kVideoFragment = 0x46;
inline constexpr uint8_t kSpeexAudio = 0x5A;
inline constexpr uint8_t kAacAudio = 0x5B;

inline constexpr std::size_t kPacketHeader = 8;     // interactive packet
inline constexpr std::size_t kDatagramHeader = 16;  // traversal datagram
inline constexpr std::size_t kVideoHeader = 25;
inline constexpr std::size_t kAudioHeader = 11;
inline constexpr std::size_t kFragmentBytes = 1375;
inline constexpr std::size_t kMaxFrameBytes = 307200;
inline constexpr int kMaxPacketHex = 2040;    // what fits a 2048-byte receive buffer
inline constexpr int kMaxDatagramHex = 1847;  // receivers refuse longer ones

// Traversal datagram types.
inline constexpr uint8_t kPunchRegister = 'C';
inline constexpr uint8_t kPunchConfirm = 'K';
inline constexpr uint8_t kPunchPeerAddress = 0x0B;
inline constexpr uint8_t kPunchHold = 0x09;
inline constexpr uint8_t kPunchHello = 0x0A;
inline constexpr uint8_t kPunchReady = 0x10;

// No spaces, members in ascending order of their names, ending in "\n".
std::string CompactJson(const Json::Value& message);

// A packet (headerSize 8) or datagram (16) of the given type carrying
// message sealed with keyValue. False when the key is not four characters
// or the text does not fit.
bool SealMessage(uint8_t type, const Json::Value& message, std::string_view keyValue, std::size_t headerSize,
                 std::string& out);

// Opens a sealed packet or datagram to its JSON object. Refuses a length
// that is odd, not whole DES blocks, beyond the bytes given or beyond the
// receive limit, key characters that are not hex, and anything but one
// JSON object followed by padding.
bool OpenMessage(std::string_view packet, std::string_view keyValue, std::size_t headerSize, Json::Value& out);

// Tries every key; used receives the one that opened it.
bool OpenWithAnyKey(std::string_view packet, const std::vector<SessionKey>& keys, std::size_t headerSize,
                    Json::Value& out, SessionKey& used);

// The fragments of one frame: 1375 bytes each, the last one shorter.
std::vector<std::string> VideoPackets(std::string_view frame, int32_t frameNumber, bool keyFrame,
                                      int32_t timestampMs);
std::string AudioPacket(uint8_t type, std::string_view payload, int32_t timestampMs);

// Cuts a byte stream into whole packets by their type and length.
class PacketSplitter {
 public:
  void Add(const char* data, std::size_t size) { buffer_.append(data, size); }
  // 1: a packet in out; 0: more bytes needed; -1: an unknown type or a
  // length that cannot be (the stream cannot be followed any further).
  int Next(std::string& out);
  // Bytes received but not yet cut into packets.
  const std::string& Pending() const { return buffer_; }

 private:
  std::string buffer_;
};

// Little-endian fields.
void PutLe16(std::string& out, std::size_t at, uint16_t v);
void PutLe32(std::string& out, std::size_t at, uint32_t v);
uint16_t GetLe16(std::string_view in, std::size_t at);
uint32_t GetLe32(std::string_view in, std::size_t at);

}  // namespace lumivex::sim
