#include "ui/qt_audio.h"

#include <QAudioSink>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <future>
#include <utility>

#include "core/logging.h"

namespace lumivex {
namespace {

using namespace std::chrono_literals;

// How long Open and Start wait for the device thread; a device that has not
// answered by then goes on starting, and a failure after it stays silent.
constexpr auto kStartWait = 200ms;
// How often the sink is fed and asked what it has played.
constexpr auto kFeedPeriod = 10ms;
// How often an open device is looked for among the server's devices.
constexpr auto kDeviceWatchPeriod = 250ms;

// Starts thread, runs start() on worker's thread, waits for its answer.
template <typename Worker, typename Start>
bool StartOn(QThread& thread, Worker* worker, Start start) {
  QObject::connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
  worker->moveToThread(&thread);
  thread.start();
  auto answer = std::make_shared<std::promise<bool>>();
  std::future<bool> started = answer->get_future();
  QMetaObject::invokeMethod(worker, [worker, start, answer] { answer->set_value(start(*worker)); },
                            Qt::QueuedConnection);
  return started.wait_for(kStartWait) != std::future_status::ready || started.get();
}

// Runs stop() on the worker's thread, which then ends; the worker goes with it.
template <typename Worker, typename Stop>
void StopOn(QThread*& thread, Worker*& worker, Stop stop) {
  if (!thread) return;
  QMetaObject::invokeMethod(
      worker,
      [worker, stop] {
        stop(*worker);
        QThread::currentThread()->quit();
      },
      Qt::QueuedConnection);
  thread->wait();
  delete thread;
  thread = nullptr;
  worker = nullptr;
}

// Pulled out, switched off or unloaded: Qt's list of the sound server's
// devices no longer holds it. Not every backend reports this as an error.
bool Gone(const QAudioDevice& device) {
  const QList<QAudioDevice> devices =
      device.mode() == QAudioDevice::Input ? QMediaDevices::audioInputs() : QMediaDevices::audioOutputs();
  return !devices.contains(device);
}

}  // namespace

QAudioFormat ToQAudioFormat(const PcmFormat& format) {
  QAudioFormat f;
  if (!format.valid()) return f;
  f.setSampleRate(format.sampleRate);
  f.setChannelCount(format.channels);
  f.setSampleFormat(QAudioFormat::Int16);
  return f;
}

void PlayQueue::Push(const uint8_t* data, std::size_t size) { queue_.push_back({{data, data + size}, 0}); }

std::size_t PlayQueue::Feed(std::size_t room, const Sink& sink) {
  std::size_t handed = 0;
  for (Queued& q : queue_) {
    if (q.fed == q.bytes.size()) continue;
    const std::size_t n = std::min(room - handed, q.bytes.size() - q.fed);
    const int64_t taken = n ? sink(q.bytes.data() + q.fed, n) : 0;
    if (taken <= 0) break;
    const auto t = static_cast<std::size_t>(std::min<int64_t>(taken, static_cast<int64_t>(n)));
    q.fed += t;
    handed += t;
    if (q.fed < q.bytes.size()) break;
  }
  fedTotal_ += handed;
  return handed;
}

int PlayQueue::Played(std::size_t unplayed) {
  const uint64_t played = fedTotal_ - std::min<uint64_t>(unplayed, fedTotal_);
  int done = 0;
  while (!queue_.empty() && queue_.front().fed == queue_.front().bytes.size() &&
         frontStart_ + queue_.front().bytes.size() <= played) {
    frontStart_ += queue_.front().bytes.size();
    queue_.pop_front();
    ++done;
  }
  return done;
}

void PlayQueue::Clear() {
  queue_.clear();
  fedTotal_ = frontStart_ = 0;
}

void BlockCutter::Add(const uint8_t* data, std::size_t size, const Block& block) {
  if (blockBytes_ == 0) return;
  partial_.insert(partial_.end(), data, data + size);
  std::size_t used = 0;
  for (; partial_.size() - used >= blockBytes_; used += blockBytes_) block(partial_.data() + used, blockBytes_);
  partial_.erase(partial_.begin(), partial_.begin() + static_cast<std::ptrdiff_t>(used));
}

class QtAudioOutput::Feeder : public QObject {
 public:
  Feeder(QtAudioOutput& owner, const QAudioDevice& device, const QAudioFormat& format)
      : owner_(owner), device_(device), format_(format) {}

  bool Start() {
    sink_ = new QAudioSink(device_, format_, this);
    io_ = sink_->start();
    if (!io_ || sink_->error() != QAudio::NoError) return false;
    auto* watch = new QTimer(this);
    connect(watch, &QTimer::timeout, this, [this] { Watch(); });
    watch->start(kDeviceWatchPeriod);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { Tick(); });
    timer->start(kFeedPeriod);
    return true;
  }

  void Stop() {
    io_ = nullptr;
    if (sink_) sink_->stop();
  }

  void Watch() {
    if (!io_ || (sink_->error() == QAudio::NoError && !Gone(device_))) return;
    io_ = nullptr;
    owner_.Lost();
  }

 private:
  void Tick() {
    if (!io_) return;
    const qsizetype free = std::max<qsizetype>(0, sink_->bytesFree());
    const qsizetype unplayed = std::max<qsizetype>(0, sink_->bufferSize() - free);
    owner_.Feed(*io_, static_cast<std::size_t>(free), static_cast<std::size_t>(unplayed));
  }

  QtAudioOutput& owner_;
  const QAudioDevice device_;
  const QAudioFormat format_;
  QAudioSink* sink_ = nullptr;
  QIODevice* io_ = nullptr;
};

QtAudioOutput::QtAudioOutput(QAudioDevice device) : device_(std::move(device)) {}

QtAudioOutput::~QtAudioOutput() { Close(); }

bool QtAudioOutput::Open(const PcmFormat& format, std::function<void()> bufferDone) {
  const QAudioFormat f = ToQAudioFormat(format);
  if (!f.isValid() || !bufferDone || device_.isNull() || thread_) return false;
  if (!device_.isFormatSupported(f)) {
    LogLine("the sound output does not take the format");
    return false;
  }
  blockAlign_ = format.blockAlign();
  {
    std::lock_guard lock(callbackMutex_);
    bufferDone_ = std::move(bufferDone);
  }
  thread_ = new QThread;
  feeder_ = new Feeder(*this, device_, f);
  if (StartOn(*thread_, feeder_, [](Feeder& feeder) { return feeder.Start(); })) {
    open_ = true;
    return true;
  }
  Close();
  return false;
}

bool QtAudioOutput::Write(const uint8_t* data, std::size_t size) {
  if (!data || size == 0 || !open_ || size % static_cast<std::size_t>(blockAlign_) != 0) return false;
  std::lock_guard lock(mutex_);
  queue_.Push(data, size);
  return true;
}

void QtAudioOutput::Feed(QIODevice& sink, std::size_t room, std::size_t unplayed) {
  int played;
  {
    std::lock_guard lock(mutex_);
    queue_.Feed(room, [&sink](const uint8_t* data, std::size_t size) {
      return sink.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    });
    played = queue_.Played(unplayed);
  }
  std::lock_guard lock(callbackMutex_);
  for (int i = 0; i < played && bufferDone_; ++i) bufferDone_();
}

void QtAudioOutput::SetLostHandler(std::function<void()> lost) {
  std::lock_guard lock(callbackMutex_);
  lost_ = std::move(lost);
}

// Under the lock, so that nothing is called once Close has returned.
void QtAudioOutput::Lost() {
  std::lock_guard lock(callbackMutex_);
  bufferDone_ = nullptr;
  if (auto lost = std::exchange(lost_, nullptr)) lost();
}

void QtAudioOutput::Close() {
  open_ = false;
  {
    std::lock_guard lock(callbackMutex_);
    bufferDone_ = nullptr;
    lost_ = nullptr;
  }
  StopOn(thread_, feeder_, [](Feeder& feeder) { feeder.Stop(); });
  std::lock_guard lock(mutex_);
  queue_.Clear();
}

class QtAudioInput::Reader : public QObject {
 public:
  Reader(QtAudioInput& owner, const QAudioDevice& device, const QAudioFormat& format)
      : owner_(owner), device_(device), format_(format) {}

  bool Start() {
    source_ = new QAudioSource(device_, format_, this);
    io_ = source_->start();
    if (!io_ || source_->error() != QAudio::NoError) return false;
    auto* watch = new QTimer(this);
    connect(watch, &QTimer::timeout, this, [this] { Watch(); });
    watch->start(kDeviceWatchPeriod);
    connect(io_, &QIODevice::readyRead, this, [this] {
      if (!io_) return;
      const QByteArray data = io_->readAll();
      owner_.Captured(reinterpret_cast<const uint8_t*>(data.constData()), static_cast<std::size_t>(data.size()));
    });
    return true;
  }

  void Stop() {
    io_ = nullptr;
    if (source_) source_->stop();
  }

  void Watch() {
    if (!io_ || (source_->error() == QAudio::NoError && !Gone(device_))) return;
    io_ = nullptr;
    owner_.Lost();
  }

 private:
  QtAudioInput& owner_;
  const QAudioDevice device_;
  const QAudioFormat format_;
  QAudioSource* source_ = nullptr;
  QIODevice* io_ = nullptr;
};

QtAudioInput::QtAudioInput(QAudioDevice device) : device_(std::move(device)) {}

QtAudioInput::~QtAudioInput() { Close(); }

bool QtAudioInput::Open(const PcmFormat& format, std::size_t blockBytes,
                        std::function<void(const uint8_t*, std::size_t)> block) {
  const QAudioFormat f = ToQAudioFormat(format);
  if (!f.isValid() || blockBytes == 0 || !block || device_.isNull() || thread_) return false;
  if (!device_.isFormatSupported(f)) {
    LogLine("the sound input does not take the format");
    return false;
  }
  std::lock_guard lock(callbackMutex_);
  if (block_) return false;
  format_ = f;
  blockBytes_ = blockBytes;
  block_ = std::move(block);
  return true;
}

bool QtAudioInput::Start() {
  {
    std::lock_guard lock(callbackMutex_);
    if (!block_ || thread_) return false;
  }
  cutter_ = BlockCutter(blockBytes_);
  thread_ = new QThread;
  reader_ = new Reader(*this, device_, format_);
  if (StartOn(*thread_, reader_, [](Reader& reader) { return reader.Start(); })) return true;
  StopOn(thread_, reader_, [](Reader& reader) { reader.Stop(); });
  return false;
}

void QtAudioInput::Captured(const uint8_t* data, std::size_t size) {
  std::lock_guard lock(callbackMutex_);
  if (block_) cutter_.Add(data, size, block_);
}

void QtAudioInput::SetLostHandler(std::function<void()> lost) {
  std::lock_guard lock(callbackMutex_);
  lost_ = std::move(lost);
}

void QtAudioInput::Lost() {
  std::lock_guard lock(callbackMutex_);
  block_ = nullptr;
  if (auto lost = std::exchange(lost_, nullptr)) lost();
}

void QtAudioInput::Close() {
  {
    std::lock_guard lock(callbackMutex_);
    block_ = nullptr;
    lost_ = nullptr;
  }
  StopOn(thread_, reader_, [](Reader& reader) { reader.Stop(); });
}

std::unique_ptr<AudioOutput> QtAudioDevices::MakeOutput() {
  QAudioDevice output = QMediaDevices::defaultAudioOutput();
  if (output.isNull()) return nullptr;
  return std::make_unique<QtAudioOutput>(std::move(output));
}

std::unique_ptr<AudioInput> QtAudioDevices::MakeInput() {
  QAudioDevice input = QMediaDevices::defaultAudioInput();
  if (input.isNull()) return nullptr;
  return std::make_unique<QtAudioInput>(std::move(input));
}

}  // namespace lumivex
