#pragma once
// TraversalDatagram: one UDP datagram of the NAT traversal, a type byte and a
// sealed JSON object behind a 16-byte header.

#include <cstdint>
#include <string>
#include <string_view>

#include <json/value.h>

#include "device/json_message.h"
#include "device/sealing.h"

namespace lumivex {

inline constexpr uint8_t PunchRegister = 0x43;     // client -> traversal server
inline constexpr uint8_t PunchConfirm = 0x4B;      // client -> traversal server
inline constexpr uint8_t PunchPeerAddress = 0x0B;  // traversal server -> client
inline constexpr uint8_t PunchHold = 0x09;         // server -> client; acknowledgement between peers
inline constexpr uint8_t PunchHello = 0x0A;        // client <-> camera
inline constexpr uint8_t PunchReady = 0x10;        // client -> camera

inline constexpr int32_t kMaxDatagramDigits = 1847;

bool SealTraversalDatagram(std::string_view devKey, uint8_t type, const JsonMessage& message,
                           std::string& out);

// Receivers open only datagrams whose L is between 1 and 1847.
bool OpenableDatagram(std::string_view datagram);
bool OpenTraversalDatagram(std::string_view devKey, std::string_view datagram, Json::Value& out);

}  // namespace lumivex
