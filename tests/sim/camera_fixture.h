#pragma once
// Simulated cameras on loopback met by a raw client (raw_device.h), with
// the frame log, the control log and the talk folder in a fresh folder.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/camera_world.h"
#include "sim/raw_device.h"
#include "support/temp_dir.h"

namespace lumivex::sim::test {

inline constexpr char kKey[] = "Kv7q";
inline constexpr char kUmac[] = "demo,02-00-5e-10-00-01";

class CameraFixture : public ::testing::Test {
 protected:
  // devices: the scenario's device objects, comma-separated.
  void Start(const std::string& devices);

  std::string logPath() const { return (dir_ / "frames.log").string(); }
  std::string controlLogPath() const { return (dir_ / "control.log").string(); }
  std::string talkDir() const { return (dir_ / "talk").string(); }
  uint16_t CameraPort(const std::string& sid) const { return world_->endpoints().camera.at(sid); }

  // Connects and sends the connect message; the reply is the first
  // interactive packet (media before it is kept in early).
  Json::Value Handshake(RawTcp& tcp, uint16_t port, const std::string& sid, const std::string& linkType = "2",
                        std::vector<std::string>* early = nullptr);
  void Startup(RawTcp& tcp);
  // json: compact, without its newline.
  bool SendMessage(RawTcp& tcp, const std::string& json);

  // The frame log's or the control log's lines (with their newlines), once
  // the file holds at least n, or what it holds after the wait's bound.
  std::vector<std::string> LogLines(std::size_t n) { return Lines(logPath(), n); }
  std::vector<std::string> ControlLines(std::size_t n) { return Lines(controlLogPath(), n); }

  lumivex::test::TempDir dir_;
  std::unique_ptr<CameraWorld> world_;

 private:
  static std::vector<std::string> Lines(const std::string& path, std::size_t n);
};

}  // namespace lumivex::sim::test
