#include "ui/camera_registry.h"

#include <algorithm>
#include <set>

#include "core/logging.h"
#include "stream/camera.h"

namespace lumivex {

CameraRegistry::CameraRegistry(StreamEnvironment& env, CameraList& list) : env_(env), list_(list) {}

CameraRegistry::~CameraRegistry() {
  std::vector<std::shared_ptr<CCamera>> all = retired_;
  for (const auto& [sid, entry] : bySid_) all.push_back(entry.camera);
  // Each stop waits for up to a second per thread; side by side they take
  // one second, not one per camera. A camera already stopping says no.
  for (const auto& camera : all)
    if (camera->m_VideoStatus != STATUS_READY) camera->StopCleanCameraAsync();
  bySid_.clear();
  retired_.clear();  // each camera's destructor waits for its stop
}

void CameraRegistry::Sync(const std::function<bool(int device)>& hasRow) {
  std::vector<CameraInfo> devices = list_.Snapshot();
  std::set<std::string> listed, shown;
  for (int i = 0; i < static_cast<int>(devices.size()); ++i) {
    const CameraInfo& info = devices[i];
    const std::string& sid = info.sid.str();
    if (info.listed) listed.insert(sid);
    if (hasRow(i)) shown.insert(sid);
    if (!info.listed || sid.empty()) continue;
    auto found = bySid_.find(sid);
    if (found == bySid_.end()) {
      bySid_[sid].camera = std::make_shared<CCamera>(env_, sid, info.name);
      order_.erase(std::remove(order_.begin(), order_.end(), sid), order_.end());
      order_.push_back(sid);
    } else if (found->second.camera->name() != info.name) {
      found->second.camera->SetName(info.name);
    }
  }
  std::vector<std::string> gone;
  for (auto& [sid, entry] : bySid_) {
    bool row = shown.count(sid) != 0;
    if (entry.hadRow && !row && listed.count(sid) == 0) gone.push_back(sid);
    entry.hadRow = entry.hadRow || row;
  }
  for (const std::string& sid : gone) RetireSid(sid);
}

std::shared_ptr<CCamera> CameraRegistry::Camera(int device) const {
  std::optional<CameraInfo> info = list_.Get(device);
  if (!info) return nullptr;
  auto found = bySid_.find(info->sid.str());
  return found == bySid_.end() ? nullptr : found->second.camera;
}

int CameraRegistry::DeviceOf(const CCamera& camera) const { return list_.IndexOf(camera.sid()); }

std::optional<CameraInfo> CameraRegistry::InfoOf(const CCamera& camera) const {
  int device = DeviceOf(camera);
  if (device < 0) return std::nullopt;
  return list_.Get(device);
}

void CameraRegistry::Retire(int device) {
  std::optional<CameraInfo> info = list_.Get(device);
  if (info) RetireSid(info->sid.str());
}

void CameraRegistry::RetireSid(const std::string& sid) {
  auto found = bySid_.find(sid);
  if (found == bySid_.end()) return;
  std::shared_ptr<CCamera> camera = found->second.camera;
  bySid_.erase(found);
  order_.erase(std::remove(order_.begin(), order_.end(), sid), order_.end());
  LogLine("camera " + sid + " is gone from the account: stopped");
  camera->StopCleanCameraAsync();
  retired_.push_back(std::move(camera));
}

std::vector<std::shared_ptr<CCamera>> CameraRegistry::Cameras() const {
  std::vector<std::shared_ptr<CCamera>> cameras;
  for (const std::string& sid : order_) cameras.push_back(bySid_.at(sid).camera);
  return cameras;
}

}  // namespace lumivex
