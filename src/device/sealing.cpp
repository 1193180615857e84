#include "device/sealing.h"

#include "core/text.h"
#include "webservice/crypto.h"
#include "webservice/envelope.h"
#include "webservice/request.h"

namespace lumivex {
namespace {

constexpr std::size_t kKeyChars = 4;
constexpr std::size_t kDesBlock = 8;

std::size_t KeyOffset(std::size_t headerSize) { return headerSize == kPacketHeaderBytes ? 3 : 12; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Unhex(std::string_view hex, std::string& out) {
  out.resize(hex.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    int high = HexValue(hex[2 * i]), low = HexValue(hex[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<char>(high << 4 | low);
  }
  return true;
}

bool ValidHeader(std::size_t headerSize) {
  return headerSize == kPacketHeaderBytes || headerSize == kDatagramHeaderBytes;
}

}  // namespace

bool Seal(std::string_view devKey, uint8_t type, const JsonMessage& message, std::size_t headerSize,
          std::string& out) {
  if (devKey.size() != kKeyChars || !ValidHeader(headerSize)) return false;
  std::string text = CompactJson(message);
  text.append(kDesBlock - text.size() % kDesBlock, ' ');  // 1 to 8 spaces
  if (headerSize + 2 * text.size() > kReceiveBufferBytes) return false;
  std::string keyChars = RandomChars(kDesKeyAlphabet, kKeyChars);
  std::string cipher;
  if (keyChars.size() != kKeyChars ||
      !DesEcbEncrypt(std::string(devKey) + keyChars, text, cipher))
    return false;
  std::string hex = HexLower(cipher);
  std::string packet(headerSize, '\0');
  packet[0] = static_cast<char>(type);
  PutInt16(packet, 1, static_cast<int32_t>(hex.size()));
  packet.replace(KeyOffset(headerSize), kKeyChars, keyChars);
  out = packet + hex;
  return true;
}

bool Open(std::string_view devKey, std::string_view bytes, std::size_t headerSize, Json::Value& out) {
  if (devKey.size() != kKeyChars || !ValidHeader(headerSize) || bytes.size() < headerSize) return false;
  int32_t digits = LengthField(bytes);
  if (digits <= 0 || digits % (2 * kDesBlock) != 0 ||
      bytes.size() - headerSize < static_cast<std::size_t>(digits))
    return false;
  std::string cipher, plain;
  std::string key = std::string(devKey) + std::string(bytes.substr(KeyOffset(headerSize), kKeyChars));
  if (!Unhex(bytes.substr(headerSize, static_cast<std::size_t>(digits)), cipher) ||
      !DesEcbDecrypt(key, cipher, plain))
    return false;
  return ParseJsonObject(plain, out);
}

int32_t LengthField(std::string_view bytes) { return Int16At(bytes, 1); }

void PutInt16(std::string& bytes, std::size_t offset, int32_t value) {
  bytes[offset] = static_cast<char>(value & 0xFF);
  bytes[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
}

uint16_t Uint16At(std::string_view bytes, std::size_t offset) {
  if (bytes.size() < offset + 2) return 0;
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[offset]) |
                               static_cast<uint8_t>(bytes[offset + 1]) << 8);
}

int32_t Int16At(std::string_view bytes, std::size_t offset) {
  return static_cast<int16_t>(Uint16At(bytes, offset));
}

int32_t Int32At(std::string_view bytes, std::size_t offset) {
  if (bytes.size() < offset + 4) return 0;
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[offset + i]);
  return static_cast<int32_t>(value);
}

}  // namespace lumivex
