#pragma once
// Sealing of the JSON payload that both framings of a camera session carry:
// the compact JSON text padded with 1 to 8 spaces, DES-ECB under the four
// characters of m_DevKeyValue followed by four fresh key characters, and
// written as lowercase hexadecimal after a header that holds the type byte,
// the number of hexadecimal characters L (int16, little-endian) and the key
// characters.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <json/value.h>

#include "device/json_message.h"

namespace lumivex {

inline constexpr std::size_t kReceiveBufferBytes = 2048;  // every receive buffer
inline constexpr std::size_t kPacketHeaderBytes = 8;      // SessionPacket
inline constexpr std::size_t kDatagramHeaderBytes = 16;   // TraversalDatagram

// out = the whole packet or datagram. Fails when devKey is not four
// characters, the CSPRNG fails, or the result would not fit a receive buffer.
bool Seal(std::string_view devKey, uint8_t type, const JsonMessage& message, std::size_t headerSize,
          std::string& out);

// Opens the payload of a whole packet or datagram into a JSON object (the
// padding after it is ignored). Fails when L is not a positive multiple of
// 16, the bytes hold fewer than headerSize + L, a digit is not hexadecimal,
// or the text is not a JSON object.
bool Open(std::string_view devKey, std::string_view bytes, std::size_t headerSize, Json::Value& out);

// The signed 16-bit little-endian field at offset 1; 0 when too short.
int32_t LengthField(std::string_view bytes);
void PutInt16(std::string& bytes, std::size_t offset, int32_t value);
// Little-endian fields of the media headers.
int32_t Int32At(std::string_view bytes, std::size_t offset);
int32_t Int16At(std::string_view bytes, std::size_t offset);
uint16_t Uint16At(std::string_view bytes, std::size_t offset);

}  // namespace lumivex
