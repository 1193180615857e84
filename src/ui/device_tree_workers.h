#pragma once
// The device tree's background work: the refresh worker of "刷新列表", the
// periodic worker (thumbnails, then a re-listing every period) and the
// one-shot workers of device operations. Workers never touch the widget:
// what they need of it and what they bring back goes through queued calls
// onto the GUI thread (the hooks). Every worker is joined when this object
// goes; each wait of theirs observes the stop within a few milliseconds, a
// transfer in flight within about a second.

#include <QImage>
#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ui/background_jobs.h"

namespace lumivex {
struct ServiceContext;
class CameraList;
}  // namespace lumivex

namespace lumivex::ui {

struct ThumbnailJob {
  int device = -1;
  std::string url;
};

// The picture of a downloaded thumbnail, at the size it is drawn; false for
// bytes that are not a PNG picture of sensible size.
bool DecodeThumbnail(const std::string& bytes, QImage& picture);

class DeviceTreeWorkers {
 public:
  // Run on the GUI thread.
  struct Hooks {
    std::function<bool()> updateAfterRefresh;
    std::function<void()> listingFailed;
    std::function<std::vector<ThumbnailJob>()> thumbnailJobs;
    std::function<void(int device, const QImage& picture)> setPicture;
    std::function<void()> repaint;
  };

  DeviceTreeWorkers(QObject& gui, ServiceContext& service, CameraList& cameras, Hooks hooks,
                    std::chrono::milliseconds period);
  ~DeviceTreeWorkers();
  DeviceTreeWorkers(const DeviceTreeWorkers&) = delete;
  DeviceTreeWorkers& operator=(const DeviceTreeWorkers&) = delete;

  // LAN discovery, Refresh and, when it succeeds, the LAN merge and the tree
  // update. False when a refresh worker still runs.
  bool StartRefresh();
  bool refreshRunning() const { return refreshRunning_; }
  // Once; later calls do nothing.
  void StartPeriodic();
  // A device operation (the body of its worker); done gets its result on
  // the GUI thread while the tree is there. GUI thread only.
  void RunOperation(std::function<int()> work, std::function<void(int)> done);

 private:
  void Post(std::function<void()> call);
  // The hook's result, or none when stopping first.
  template <typename T>
  std::optional<T> OnGui(const std::function<T()>& call);
  // Refresh and the tree update, with the LAN discovery around the refresh
  // when asked; true when both succeeded.
  bool Relist(bool withLan);
  void PeriodicLoop();
  void DownloadThumbnails();
  bool Download(const std::string& url, std::string& bytes);
  // False when stopping.
  bool Sleep(std::chrono::milliseconds span);

  QObject& gui_;
  ServiceContext& service_;
  CameraList& cameras_;
  Hooks hooks_;
  std::chrono::milliseconds period_;

  std::atomic<bool> stop_{false};
  std::mutex mutex_;  // guards the sleeps
  std::condition_variable wake_;
  BackgroundJobs operations_;  // GUI thread only; its jobs are joined when this object goes
  std::mutex listingMutex_;  // held from a Refresh to its tree update
  std::atomic<bool> refreshRunning_{false};
  std::thread refresh_;   // GUI thread only
  std::thread periodic_;  // GUI thread only
  std::string block_;     // the periodic worker's 1 MiB download block, reused
};

}  // namespace lumivex::ui
