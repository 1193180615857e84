#pragma once
// One CCamera per device of the account: made when the device is first
// listed and kept for the run, its name following the listings. Entries of
// the device list that carry the same sid share one camera: it is one
// device, with one stream.
//
// A device the tree has dropped (removed from the account, or no longer
// listed by a refresh) gets its camera stopped and retired: it is found no
// more, but it lives on, idle, until the registry goes, so that no wall
// window, audio choice or worker is left holding a destroyed camera. Should
// the device come back, it gets a new camera.
//
// GUI thread only; workers are handed shared pointers.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "webservice/camera_list.h"

namespace lumivex {

class CCamera;
struct StreamEnvironment;

class CameraRegistry {
 public:
  CameraRegistry(StreamEnvironment& env, CameraList& list);
  // Stops every camera at once, then waits for each.
  ~CameraRegistry();
  CameraRegistry(const CameraRegistry&) = delete;
  CameraRegistry& operator=(const CameraRegistry&) = delete;

  // Brings the registry in step with the list. hasRow tells whether the tree
  // shows a device index. A camera is retired once its device had a row, has
  // none now and is not listed: between a refresh and the tree's update every
  // device reads as unlisted while the rows stay, and such a camera is kept.
  void Sync(const std::function<bool(int device)>& hasRow);

  // The camera of a device index; null when there is none.
  std::shared_ptr<CCamera> Camera(int device) const;
  // The first device index of the camera's sid, -1 when it is not listed.
  int DeviceOf(const CCamera& camera) const;
  // The device record of the camera, none when the list has no such sid.
  std::optional<CameraInfo> InfoOf(const CCamera& camera) const;
  // Stops the camera of a device index and drops it (the device was removed).
  void Retire(int device);

  // The cameras in use, in the order of the list.
  std::vector<std::shared_ptr<CCamera>> Cameras() const;
  int count() const { return static_cast<int>(bySid_.size()); }

 private:
  struct Entry {
    std::shared_ptr<CCamera> camera;
    bool hadRow = false;
  };
  void RetireSid(const std::string& sid);

  StreamEnvironment& env_;
  CameraList& list_;
  std::map<std::string, Entry> bySid_;
  std::vector<std::string> order_;  // sids in the order they were first listed
  std::vector<std::shared_ptr<CCamera>> retired_;
};

}  // namespace lumivex
