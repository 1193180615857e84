#pragma once
// UDP helpers of the traversal server and the cameras' side of traversal.

#include <netinet/in.h>

#include <cstdint>
#include <string>

#include <json/json.h>

namespace lumivex::sim {

// A UDP socket bound to host:0, or -1 with error.
int BindUdp(const std::string& host, std::string& error);
uint16_t BoundUdpPort(int fd);

// Seals message as a traversal datagram of type with keyValue and sends it.
bool SendDatagram(int fd, const sockaddr_in& to, uint8_t type, const Json::Value& message,
                  const std::string& keyValue);

// One datagram if one is waiting (up to 2048 bytes), else false.
bool ReceiveDatagram(int fd, std::string& out, sockaddr_in& from);

bool SameEndpoint(const sockaddr_in& a, const sockaddr_in& b);

}  // namespace lumivex::sim
