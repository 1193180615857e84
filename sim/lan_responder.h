#pragma once
// Answers the one-byte LAN probe (0x0E) the way the cameras on a local
// network do: one 52-byte datagram per camera marked as on the LAN, sent
// from the responder's socket back to the probe's source address and port.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "sim/scenario.h"

namespace lumivex::sim {

inline constexpr std::size_t kLanAnswerSize = 52;
inline constexpr uint8_t kLanProbeByte = 0x0E;

// 0: 0x0E; 1-16 id, NUL-padded; 17-32 IP text, NUL-padded; 33-44 the MAC's
// 12 characters; 45-49 zero; 50-51 value, high byte first.
std::string LanAnswerBytes(const LanAnswer& answer);

class LanResponder {
 public:
  // The answers are fixed at construction: the LAN presence of a camera
  // does not change while the sim runs.
  explicit LanResponder(const Scenario& scenario);
  ~LanResponder();
  LanResponder(const LanResponder&) = delete;
  LanResponder& operator=(const LanResponder&) = delete;

  // Binds address:port (port 0: a free one); broadcast reception allowed.
  bool Start(const std::string& address, uint16_t port, std::string& error);
  uint16_t port() const { return port_; }
  void Stop();

 private:
  void Loop();

  std::vector<std::string> answers_;  // datagrams, repeats included
  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace lumivex::sim
