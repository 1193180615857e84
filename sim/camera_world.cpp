#include "sim/camera_world.h"

#include <arpa/inet.h>

#include "sim/sim_log.h"

namespace lumivex::sim {

CameraWorld::CameraWorld(const Scenario& scenario, KeyRing keys)
    : keys_(std::move(keys)), relayResetAfterSeconds_(scenario.relayResetAfterSeconds) {
  for (const Device& d : scenario.devices) {
    auto camera = std::make_unique<SimCamera>();
    camera->sid = d.sid;
    camera->name = d.name;
    camera->config = d.camera;
    camera->videoDaylist = d.videoDaylist;
    cameras_.push_back(std::move(camera));
  }
}

CameraWorld::~CameraWorld() { Stop(); }

bool CameraWorld::Start(const std::string& host, const std::string& frameLogPath, std::string& error) {
  return Start(host, CameraOutputs{frameLogPath, "", ""}, error);
}

bool CameraWorld::Start(const std::string& host, const CameraOutputs& outputs, std::string& error) {
  in_addr check{};
  if (inet_pton(AF_INET, host.c_str(), &check) != 1) {
    error = "the cameras need an IPv4 address, not " + host;
    return false;
  }
  endpoints_.host = host;
  if (!outputs.frameLog.empty() && !frameLog_.Open(outputs.frameLog, error)) return false;
  if (!outputs.controlLog.empty() && !controlLog_.Open(outputs.controlLog, error)) return false;
  if (!outputs.talkDir.empty() && !talkFiles_.Open(outputs.talkDir, error)) return false;
  if (UDT::startup() == UDT::ERROR) {
    error = "UDT does not start";
    return false;
  }
  udtStarted_ = true;
  if (!refusing_.Open(host, error) || !blackhole_.Open(host, error)) return false;
  endpoints_.refuse = refusing_.port();
  endpoints_.blackhole = blackhole_.port();

  bool shared = false;
  for (auto& camera : cameras_) {
    if (camera->config.refuse) continue;
    if (camera->config.sharedPort) {
      shared = true;
      continue;
    }
    SimCamera* c = camera.get();
    auto listener = std::make_unique<TcpAcceptor>([this, c](int fd) { ServeOwn(*c, fd); });
    if (!listener->Start(host, 0, error)) return false;
    endpoints_.camera[c->sid] = listener->port();
    listeners_.push_back(std::move(listener));
  }
  if (shared) {
    auto listener = std::make_unique<TcpAcceptor>([this](int fd) { ServeShared(fd); });
    if (!listener->Start(host, 0, error)) return false;
    for (auto& camera : cameras_)
      if (camera->config.sharedPort && !camera->config.refuse) endpoints_.camera[camera->sid] = listener->port();
    listeners_.push_back(std::move(listener));
  }
  for (auto& camera : cameras_)
    if (camera->config.refuse) endpoints_.camera[camera->sid] = endpoints_.refuse;

  relay_ = std::make_unique<Relay>(
      keys_, [this](const std::string& sid, sockaddr_in& out) { return CameraAddress(sid, out); }, stop_,
      relayResetAfterSeconds_);
  if (!relay_->Start(host, error)) return false;
  endpoints_.relay = relay_->port();
  traversal_ = std::make_unique<TraversalServer>(
      keys_, [this](const std::string& sid) { return FindCamera(sid); }, services_);
  if (!traversal_->Start(host, error)) return false;
  endpoints_.traversal = traversal_->port();
  return true;
}

void CameraWorld::Stop() {
  stop_ = true;
  for (auto& listener : listeners_) listener->Stop();
  if (relay_) relay_->Stop();
  if (traversal_) traversal_->Stop();
  if (udtStarted_) UDT::cleanup();
  udtStarted_ = false;
}

SimCamera* CameraWorld::FindCamera(const std::string& sid) {
  for (auto& camera : cameras_)
    if (camera->sid == sid) return camera.get();
  return nullptr;
}

bool CameraWorld::CameraAddress(const std::string& sid, sockaddr_in& out) const {
  auto it = endpoints_.camera.find(sid);
  if (it == endpoints_.camera.end()) return false;
  out = {};
  out.sin_family = AF_INET;
  out.sin_port = htons(it->second);
  inet_pton(AF_INET, endpoints_.host.c_str(), &out.sin_addr);
  return true;
}

void CameraWorld::ServeOwn(SimCamera& camera, int fd) {
  TcpLink link(fd, false);
  PacketSplitter splitter;
  ConnectRequest request;
  if (!ReadConnect(link, keys_, splitter, stop_, "camera " + camera.sid, request)) return;
  ServeCamera(link, false, camera, request, splitter, services_);
}

void CameraWorld::ServeShared(int fd) {
  TcpLink link(fd, false);
  PacketSplitter splitter;
  ConnectRequest request;
  if (!ReadConnect(link, keys_, splitter, stop_, "camera port", request)) return;
  const std::string sid = request.message["sid"].isString() ? request.message["sid"].asString() : std::string();
  SimCamera* camera = FindCamera(sid);
  if (!camera || !camera->config.sharedPort)
    return LogRefused("camera port", link.Describe() + ": no camera \"" + sid + "\" on the shared port");
  ServeCamera(link, false, *camera, request, splitter, services_);
}

}  // namespace lumivex::sim
