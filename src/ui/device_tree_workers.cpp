#include "ui/device_tree_workers.h"

#include <QBuffer>
#include <QImageReader>

#include <future>

#include "core/global.h"
#include "core/logging.h"
#include "ui/geometry/pictures.h"
#include "webservice/camera_list.h"
#include "webservice/http.h"
#include "webservice/service_context.h"

namespace lumivex::ui {
namespace {

constexpr std::size_t kThumbnailBytes = 1 << 20;
// A 1 MiB PNG can unpack to gigabytes; thumbnails are drawn at 96x72,
// and this side bounds a decoded one to 16 MiB.
constexpr int kMaxThumbnailSide = 2048;
constexpr auto kPollStep = std::chrono::milliseconds(20);

}  // namespace

bool DecodeThumbnail(const std::string& bytes, QImage& picture) {
  if (bytes.size() < 4 || bytes.compare(1, 3, "PNG") != 0) return false;
  QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  QImageReader reader(&buffer, "png");
  QSize size = reader.size();
  if (!size.isValid() || size.width() > kMaxThumbnailSide || size.height() > kMaxThumbnailSide)
    return false;
  QImage decoded = reader.read();
  if (decoded.isNull()) return false;
  picture = decoded.scaled(pictures::kThumbnailWidth, pictures::kThumbnailHeight,
                           Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  return true;
}

DeviceTreeWorkers::DeviceTreeWorkers(QObject& gui, ServiceContext& service, CameraList& cameras,
                                     Hooks hooks, std::chrono::milliseconds period)
    : gui_(gui), service_(service), cameras_(cameras), hooks_(std::move(hooks)), period_(period) {}

DeviceTreeWorkers::~DeviceTreeWorkers() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (refresh_.joinable()) refresh_.join();
  if (periodic_.joinable()) periodic_.join();
}

void DeviceTreeWorkers::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(&gui_, std::move(call), Qt::QueuedConnection);
}

template <typename T>
std::optional<T> DeviceTreeWorkers::OnGui(const std::function<T()>& call) {
  auto promise = std::make_shared<std::promise<T>>();
  std::future<T> result = promise->get_future();
  Post([promise, call] { promise->set_value(call()); });
  // The GUI thread may be joining us: never wait on it without looking up.
  while (result.wait_for(kPollStep) != std::future_status::ready)
    if (stop_) return std::nullopt;
  return result.get();
}

bool DeviceTreeWorkers::StartRefresh() {
  if (refreshRunning_.exchange(true)) return false;
  if (refresh_.joinable()) refresh_.join();  // the last one has ended
  refresh_ = std::thread([this] {
    Relist(true);
    refreshRunning_ = false;
  });
  return true;
}

bool DeviceTreeWorkers::Relist(bool withLan) {
  // Between a Refresh and the tree update every device reads as unlisted;
  // a second listing meanwhile would have the tree drop rows and their
  // Camera entries. So one listing at a time, up to its tree update.
  std::lock_guard listing(listingMutex_);
  if (stop_) return false;
  if (withLan && !cameras_.StartLanDiscovery(service_.g, service_.g.lanProbePort))
    LogLine("Tree: the LAN discovery did not start");
  if (!cameras_.Refresh(service_)) {
    Post(hooks_.listingFailed);
    return false;
  }
  if (withLan) cameras_.MergeLanResults();
  std::optional<bool> updated = OnGui(hooks_.updateAfterRefresh);
  return updated && *updated;
}

void DeviceTreeWorkers::StartPeriodic() {
  if (periodic_.joinable()) return;
  periodic_ = std::thread([this] { PeriodicLoop(); });
}

void DeviceTreeWorkers::PeriodicLoop() {
  DownloadThumbnails();
  do {
    if (Relist(false)) DownloadThumbnails();
  } while (Sleep(period_));
}

void DeviceTreeWorkers::DownloadThumbnails() {
  std::optional<std::vector<ThumbnailJob>> jobs = OnGui(hooks_.thumbnailJobs);
  if (!jobs) return;
  for (const ThumbnailJob& job : *jobs) {
    if (stop_) return;
    QImage picture;
    // Whatever fails, the row keeps the picture it has.
    if (!Download(job.url, block_)) continue;
    if (!DecodeThumbnail(block_, picture)) {
      LogLine("Tree: the thumbnail " + job.url + " is no PNG picture");
      continue;
    }
    Post([set = hooks_.setPicture, device = job.device, picture] { set(device, picture); });
  }
  Post(hooks_.repaint);
}

bool DeviceTreeWorkers::Download(const std::string& url, std::string& bytes) {
  bytes.clear();
  bytes.reserve(kThumbnailBytes);
  DownloadRequest request;
  request.url = url;
  request.options = ThumbnailTransportOptions(service_.g);
  request.maxBytes = kThumbnailBytes;
  request.sink = [&bytes](const char* data, std::size_t size) {
    bytes.append(data, size);
    return true;
  };
  request.progress = [this](uint64_t, uint64_t) { return !stop_; };
  DownloadResult result = DownloadUrl(request);
  if (result.ok && result.httpStatus == 200) return true;
  LogLine("Tree: thumbnail " + url + " not fetched: " +
          (result.ok ? "HTTP " + std::to_string(result.httpStatus) : result.error));
  return false;
}

bool DeviceTreeWorkers::Sleep(std::chrono::milliseconds span) {
  std::unique_lock lock(mutex_);
  return !wake_.wait_for(lock, span, [this] { return stop_.load(); });
}

void DeviceTreeWorkers::RunOperation(std::function<int()> work, std::function<void(int)> done) {
  operations_.Run<int>(&gui_, std::move(work), std::move(done));
}

}  // namespace lumivex::ui
