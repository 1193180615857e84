#include "sim/wire.h"

#include <memory>

#include "sim/traffic_dump.h"
#include "webservice/crypto.h"

namespace lumivex::sim {
namespace {

constexpr std::string_view kHexDigits = "0123456789abcdef";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsKeyChars(std::string_view s) {
  for (char c : s)
    if (HexValue(c) < 0) return false;
  return s.size() == 4;
}

bool ParseObject(std::string_view text, Json::Value& out) {
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value value;
  std::string error;
  if (!reader->parse(text.data(), text.data() + text.size(), &value, &error) || !value.isObject()) return false;
  out = std::move(value);
  return true;
}

}  // namespace

void PutLe16(std::string& out, std::size_t at, uint16_t v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>(v >> 8);
}

void PutLe32(std::string& out, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint16_t GetLe16(std::string_view in, std::size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(in[at]) | static_cast<uint8_t>(in[at + 1]) << 8);
}

uint32_t GetLe32(std::string_view in, std::size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(in[at + i]);
  return v;
}

std::string CompactJson(const Json::Value& message) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  return Json::writeString(builder, message) + "\n";
}

bool SealMessage(uint8_t type, const Json::Value& message, std::string_view keyValue, std::size_t headerSize,
                 std::string& out) {
  if (keyValue.size() != 4 || (headerSize != kPacketHeader && headerSize != kDatagramHeader)) return false;
  DumpSealed(message, keyValue, headerSize);
  std::string text = CompactJson(message);
  text.append(8 - text.size() % 8, ' ');
  std::string keyChars = RandomChars(kHexDigits, 4);
  std::string cipher;
  if (keyChars.size() != 4 || !DesEcbEncrypt(std::string(keyValue) + keyChars, text, cipher)) return false;
  const int limit = headerSize == kPacketHeader ? kMaxPacketHex : kMaxDatagramHex;
  if (cipher.size() * 2 > static_cast<std::size_t>(limit)) return false;

  std::string packet(headerSize, '\0');
  packet[0] = static_cast<char>(type);
  PutLe16(packet, 1, static_cast<uint16_t>(cipher.size() * 2));
  packet.replace(headerSize == kPacketHeader ? 3 : 12, 4, keyChars);
  for (unsigned char byte : cipher) {
    packet += kHexDigits[byte >> 4];
    packet += kHexDigits[byte & 0x0F];
  }
  out = std::move(packet);
  return true;
}

bool OpenMessage(std::string_view packet, std::string_view keyValue, std::size_t headerSize, Json::Value& out) {
  if (keyValue.size() != 4 || (headerSize != kPacketHeader && headerSize != kDatagramHeader)) return false;
  if (packet.size() < headerSize) return false;
  const int length = static_cast<int16_t>(GetLe16(packet, 1));
  const int limit = headerSize == kPacketHeader ? kMaxPacketHex : kMaxDatagramHex;
  if (length < 16 || length > limit || length % 16 != 0) return false;
  if (packet.size() < headerSize + static_cast<std::size_t>(length)) return false;
  std::string_view keyChars = packet.substr(headerSize == kPacketHeader ? 3 : 12, 4);
  if (!IsKeyChars(keyChars)) return false;

  std::string cipher;
  cipher.reserve(static_cast<std::size_t>(length) / 2);
  for (int i = 0; i < length; i += 2) {
    int high = HexValue(packet[headerSize + i]), low = HexValue(packet[headerSize + i + 1]);
    if (high < 0 || low < 0) return false;
    cipher += static_cast<char>(high << 4 | low);
  }
  std::string text;
  if (!DesEcbDecrypt(std::string(keyValue) + std::string(keyChars), cipher, text)) return false;
  std::size_t end = text.find_last_not_of(' ');
  if (end == std::string::npos) return false;
  // the writer's newline belongs to the text; the spaces are padding
  if (text[end] == '\n') --end;
  return ParseObject(std::string_view(text).substr(0, end + 1), out);
}

bool OpenWithAnyKey(std::string_view packet, const std::vector<SessionKey>& keys, std::size_t headerSize,
                    Json::Value& out, SessionKey& used) {
  for (const SessionKey& key : keys) {
    if (OpenMessage(packet, key.keyValue, headerSize, out)) {
      used = key;
      return true;
    }
  }
  return false;
}

std::vector<std::string> VideoPackets(std::string_view frame, int32_t frameNumber, bool keyFrame,
                                      int32_t timestampMs) {
  std::vector<std::string> packets;
  const std::size_t count = (frame.size() + kFragmentBytes - 1) / kFragmentBytes;
  for (std::size_t i = 0; i < count; ++i) {
    std::string_view piece = frame.substr(i * kFragmentBytes, kFragmentBytes);
    std::string p(kVideoHeader, '\0');
    p[0] = static_cast<char>(kVideoFragment);
    PutLe16(p, 1, static_cast<uint16_t>(piece.size()));
    p[3] = keyFrame ? 0 : 1;
    PutLe32(p, 5, static_cast<uint32_t>(frameNumber));
    PutLe32(p, 13, static_cast<uint32_t>(timestampMs));
    PutLe16(p, 17, static_cast<uint16_t>(count));
    PutLe16(p, 19, static_cast<uint16_t>(i));
    p.append(piece);
    packets.push_back(std::move(p));
  }
  return packets;
}

std::string AudioPacket(uint8_t type, std::string_view payload, int32_t timestampMs) {
  std::string p(kAudioHeader, '\0');
  p[0] = static_cast<char>(type);
  PutLe16(p, 1, static_cast<uint16_t>(payload.size()));
  PutLe32(p, 7, static_cast<uint32_t>(timestampMs));
  p.append(payload);
  return p;
}

int PacketSplitter::Next(std::string& out) {
  if (buffer_.size() < 3) return 0;
  const uint8_t type = static_cast<uint8_t>(buffer_[0]);
  const uint16_t field = GetLe16(buffer_, 1);
  std::size_t total = 0;
  if (type == kInteractive) {
    const int length = static_cast<int16_t>(field);
    if (length < 0 || length > kMaxPacketHex) return -1;
    total = kPacketHeader + static_cast<std::size_t>(length);
  } else if (type == kVideoFragment) {
    total = kVideoHeader + field;
  } else if (type == kSpeexAudio || type == kAacAudio) {
    total = kAudioHeader + field;
  } else {
    return -1;
  }
  if (buffer_.size() < total) return 0;
  out.assign(buffer_, 0, total);
  buffer_.erase(0, total);
  return 1;
}

}  // namespace lumivex::sim
