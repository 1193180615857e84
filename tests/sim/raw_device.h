#pragma once
// The client's side of the device wire for the camera tests, written from
// the protocol with raw sockets and OpenSSL's DES, so that the sim's own
// framing is checked against an independent implementation.

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <json/json.h>

namespace lumivex::sim::test {

// Seals text (already compact JSON with its newline) with keyValue and the
// given four key characters: header 8 (packet) or 16 (datagram).
std::string RawSeal(uint8_t type, const std::string& text, const std::string& keyValue, const std::string& keyChars,
                    std::size_t header);
// The decrypted text of a sealed packet or datagram, padding included;
// empty when the layout is wrong.
std::string RawOpenText(const std::string& packet, const std::string& keyValue, std::size_t header);
// The JSON object of a sealed packet; null when it does not open.
Json::Value RawOpen(const std::string& packet, const std::string& keyValue, std::size_t header);
std::string OpenSslDes(bool encrypt, const std::string& key8, const std::string& data);
std::string Base64Decoded(const std::string& text);  // OpenSSL's decoder; empty on error

uint32_t Le32(const std::string& s, std::size_t at);
uint16_t Le16(const std::string& s, std::size_t at);

sockaddr_in Loopback(uint16_t port);

// A blocking TCP client with bounded waits.
class RawTcp {
 public:
  RawTcp() = default;
  ~RawTcp();
  RawTcp(const RawTcp&) = delete;
  RawTcp& operator=(const RawTcp&) = delete;

  // False when refused or not connected within ms.
  bool Connect(uint16_t port, int ms = 3000);
  bool Send(const std::string& bytes);
  // Exactly n bytes within ms, else false.
  bool ReadExactly(std::size_t n, std::string& out, int ms = 5000);
  // One whole packet by its type and length, within ms.
  bool ReadPacket(std::string& packet, int ms = 5000);
  // True when the peer has closed (EOF) within ms.
  bool SeesEnd(int ms = 5000);
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

// What a client assembles from the stream after startup.
struct ReceivedFrame {
  int32_t number = 0;
  int32_t timestamp = 0;
  bool key = false;
  int fragments = 0;            // the count the headers announce
  std::vector<int> indexes;     // the fragments that came
  std::string bytes;
  bool whole() const { return static_cast<int>(indexes.size()) == fragments; }
};
struct Received {
  std::vector<ReceivedFrame> frames;
  std::vector<std::string> audio;      // whole packets
  std::vector<Json::Value> messages;   // opened interactive packets
  bool ended = false;                  // the camera hung up
};
// Reads packets until `frames` frames have ended (their last fragment
// came), the camera hangs up, or ms pass. Interactive packets are opened
// with keyValue.
void ReadStream(RawTcp& tcp, const std::string& keyValue, std::size_t frames, Received& out, int ms = 10000);

// The connect message of a live TCP or UDT session.
std::string ConnectText(const std::string& sid, const std::string& umac, const std::string& linkType,
                        const std::string& protocol);
// The connect message of a playback session over TCP for requestDate
// ("YYYYMMDD-HH").
std::string PlaybackConnectText(const std::string& sid, const std::string& umac, const std::string& requestDate);

}  // namespace lumivex::sim::test
