#pragma once
// The account's devices as the service lists them ("devList.do"), and the
// LAN discovery that marks the ones on the local network.
//
// Threads: one mutex guards the entries and the LAN table. Entries are only
// appended, never moved or removed, so a device index stays valid for the
// run; readers take copies. Update and Refresh run on any worker; the LAN
// discovery's start and merge are serialised among themselves. The desktop program's CCamera (the live stream
// of a device) refers to its entry by that index.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/fixed_text.h"

namespace Json {
class Value;
}

namespace lumivex {

struct Global;
struct ServiceContext;

inline constexpr uint16_t kLanProbePort = 53217;

struct CameraInfo {
  FixedText<18> sid;
  std::string name;  // UTF-8, at most 259 UTF-16 units
  int32_t showAlarm = 0;
  int32_t alarmStatus = 0;
  int32_t alarmStartTime = 0;
  int32_t alarmEndTime = 0;
  int32_t ledStatus = 0;
  int32_t soundLeadStatus = 0;
  int32_t lock = 0;
  FixedText<260> lockPsd;
  FixedText<16> type;
  FixedText<16> version;
  FixedText<260> img;
  int32_t init = 0;
  int32_t status = 0;
  int32_t listed = 0;
  int32_t showLED = 0;
  int32_t showSound = 0;
  int32_t onLan = 0;
  FixedText<17> lanIp;
  FixedText<19> lanMac;
  int16_t lanPort = 0;

  bool online() const { return status == 1; }
  bool qSeries() const { return !type.empty() && type.str()[0] == 'q'; }
  bool withoutAudio() const { return qSeries() && type.size() > 1 && type.str()[1] == '2'; }
  bool panTilt() const { return !type.empty() && type.str()[0] == 'y'; }
};

// One device object of a "devList.do" reply. False when a member has another
// JSON type than the listing uses ("status" and "init" numbers, the rest
// strings); info is then only partly filled.
bool ParseCameraInfo(const Json::Value& object, CameraInfo& info);

struct LanDevice {
  FixedText<17> ip;
  FixedText<17> id;
  FixedText<18> mac;  // "aa:bb:cc:dd:ee:ff" from the 12 characters of the answer
  int16_t port = 0;
};

// A probe answer: the first 52 bytes as laid out by the devices. False when
// the datagram is shorter, the id is empty or the MAC is not 12 hex digits.
bool ParseLanAnswer(std::string_view datagram, LanDevice& device);

class CameraList {
 public:
  static constexpr int kCapacity = 512;
  static constexpr int kPageSize = 10;

  CameraList() = default;
  ~CameraList();
  CameraList(const CameraList&) = delete;
  CameraList& operator=(const CameraList&) = delete;

  int count() const;
  std::optional<CameraInfo> Get(int index) const;
  std::vector<CameraInfo> Snapshot() const;
  // First entry whose sid equals sid exactly; -1 when none.
  int IndexOf(std::string_view sid) const;
  // Changes one entry under the lock; false for an index out of range.
  bool Modify(int index, const std::function<void(CameraInfo&)>& change);
  // The name the service has just accepted. A Refresh whose listing was
  // asked for before it keeps this name rather than the older one it got.
  bool Rename(int index, const std::string& name);

  // First listing after sign-in: appends every listed device, then merges
  // the LAN results. Entries of pages before a failure stay.
  bool Update(ServiceContext& ctx);
  // Re-lists: known devices get listed, name and status; new ones are appended.
  bool Refresh(ServiceContext& ctx);

  // Opens the probe socket and starts the sender and collector threads
  // (a discovery still running is finished first). The probe goes to the
  // broadcast address of m_LocalIp/m_LocalMask; the threads end by
  // themselves after about a second.
  bool StartLanDiscovery(const Global& g, uint16_t port = kLanProbePort);
  // Waits for both threads, closes the socket and marks every entry.
  void MergeLanResults();
  std::vector<LanDevice> LanResults() const;
  // A process exit (the forced update's) that first joins the discovery's
  // threads: no thread of ours is cut off in the middle of a call.
  std::function<void(int code)> ExitAfterDiscovery();

 private:
  int AppendLocked(const CameraInfo& info);  // -1 when full
  // Ends a discovery still running: joins both threads, closes the socket.
  void FinishDiscoveryLocked();
  void SendProbes(int fd, uint32_t broadcast, uint16_t port);
  void CollectAnswers(int fd);

  mutable std::mutex mutex_;
  std::vector<CameraInfo> entries_;  // guarded by mutex_
  uint64_t renames_ = 0;             // guarded by mutex_
  std::vector<LanDevice> lanTable_;  // guarded by mutex_
  // Serialises StartLanDiscovery and MergeLanResults, which may run on
  // different threads; guards the two threads and the socket.
  std::mutex discoveryMutex_;
  std::thread sender_, collector_;
  int lanSocket_ = -1;
};

}  // namespace lumivex
