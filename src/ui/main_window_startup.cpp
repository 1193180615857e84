// The main window's start-up worker (device list, tree, automatic live
// view), the cameras' registry kept in step with the list, and what the
// device tree asks of the window.

#include <QMetaObject>

#include <chrono>
#include <future>
#include <set>

#include "core/logging.h"
#include "stream/camera.h"
#include "ui/app_context.h"
#include "ui/camera_registry.h"
#include "ui/device_tree.h"
#include "ui/main_window.h"

namespace lumivex {
namespace {

using namespace std::chrono_literals;

constexpr auto kAutoPlayPause = 150ms;
constexpr auto kPollStep = 20ms;

}  // namespace

template <typename T>
std::optional<T> CLumivexDlg::OnGui(std::function<T()> call) {
  auto promise = std::make_shared<std::promise<T>>();
  std::future<T> result = promise->get_future();
  // Dropped by Qt when the window goes before it runs.
  QMetaObject::invokeMethod(this, [promise, call] { promise->set_value(call()); }, Qt::QueuedConnection);
  // The GUI thread may be waiting to join us: look up between waits.
  while (result.wait_for(kPollStep) != std::future_status::ready)
    if (stop_) return std::nullopt;
  return result.get();
}

void CLumivexDlg::StartupWorker() {
  const bool listed = app_.cameras.Update(app_.service);
  if (!listed) LogLine("main window: the device list did not come");
  std::optional<std::vector<std::shared_ptr<CCamera>>> cameras =
      OnGui<std::vector<std::shared_ptr<CCamera>>>([this, listed] {
        using Listing = ui::CTreeCtrl1::Listing;
        tree_->SetListing(listed ? Listing::kListed : Listing::kFailed);
        SyncCameras();  // the tree's build may switch recording on
        if (!tree_->Update()) LogLine("main window: no device tree");
        SyncCameras();  // now the cameras know their rows
        return AutoPlayCameras();
      });
  if (!cameras) return;
  for (const std::shared_ptr<CCamera>& camera : *cameras) {
    if (stop_) return;
    camera->StartCamera();
    for (auto slept = 0ms; slept < kAutoPlayPause && !stop_; slept += kPollStep)
      std::this_thread::sleep_for(kPollStep);
  }
  startupDone_ = true;
}

// Online, unlocked devices in list order, each camera once.
std::vector<std::shared_ptr<CCamera>> CLumivexDlg::AutoPlayCameras() const {
  std::vector<std::shared_ptr<CCamera>> cameras;
  if (!app_.settings.AutoPlay) return cameras;
  std::set<CCamera*> taken;
  std::vector<CameraInfo> devices = app_.cameras.Snapshot();
  for (int i = 0; i < static_cast<int>(devices.size()); ++i) {
    if (!devices[i].listed || !devices[i].online() || devices[i].lock == 1) continue;
    std::shared_ptr<CCamera> camera = registry_->Camera(i);
    if (camera && taken.insert(camera.get()).second) cameras.push_back(camera);
  }
  return cameras;
}

void CLumivexDlg::SyncCameras() {
  registry_->Sync([this](int device) { return tree_->model().HasCamera(device); });
}

void CLumivexDlg::StartLiveView(int device) {
  std::shared_ptr<CCamera> camera = registry_->Camera(device);
  if (!camera) {  // listed since the last look
    SyncCameras();
    camera = registry_->Camera(device);
  }
  if (camera) camera->StartCamera();
}

void CLumivexDlg::StopLiveView(int device) {
  std::shared_ptr<CCamera> camera = registry_->Camera(device);
  if (camera && camera->m_VideoStatus != STATUS_READY) camera->StopCleanCameraAsync();
}

void CLumivexDlg::SwitchRecordingOn(int device) {
  if (std::shared_ptr<CCamera> camera = registry_->Camera(device)) camera->recording = 1;
}

}  // namespace lumivex
