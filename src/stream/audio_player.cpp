#include "stream/audio_player.h"

#include <algorithm>
#include <climits>

#include "core/logging.h"

namespace lumivex {
namespace {

// A wait looks again after this long even without a ring: cameraAudioOff
// and the session's stop may be set by others.
constexpr auto kDoorbellBound = std::chrono::milliseconds(100);
constexpr auto kMessageWait = std::chrono::milliseconds(200);
// Pre-filling, a frame without samples is decoded twice more: the decoder
// gives nothing for its very first frame.
constexpr int kPrefillAttempts = 3;
constexpr int32_t kBehindMs = 500;
constexpr int32_t kAheadMs = 500;
constexpr int32_t kFarAheadMs = 5000;

}  // namespace

AudioSyncStep SyncStep(int32_t d, bool& farAhead) {
  if (d > kBehindMs) return AudioSyncStep::kDrop;
  if (farAhead) {
    if (d < -kAheadMs) return AudioSyncStep::kDrop;
    farAhead = false;
    return AudioSyncStep::kPlay;
  }
  if (d < -kFarAheadMs) {
    farAhead = true;
    return AudioSyncStep::kDrop;
  }
  return d < -kAheadMs ? AudioSyncStep::kWait : AudioSyncStep::kPlay;
}

CameraAudioPlayer::CameraAudioPlayer(AudioDevices& devices, const StopSignal* sessionStop)
    : devices_(devices), sessionStop_(sessionStop) {}

CameraAudioPlayer::~CameraAudioPlayer() {
  quitting_ = true;
  Abort();
  stops_.JoinAll();
  if (startInPlace_) Clean();
}

void CameraAudioPlayer::StorePacket(const AudioPacket& packet) {
  std::lock_guard lock(storeMutex_);
  if (cameraAudioOff != 0) return;
  AudioPacketRing& ring = packet.aac ? static_cast<AudioPacketRing&>(aacRing_) : speexRing_;
  if (ring.Store(packet.payload, packet.timestamp) == AudioPacketRing::Stored::kStored) doorbell_.Ring();
}

AudioStart CameraAudioPlayer::StartCameraAudio(const AudioStreamInfo& info, std::function<void()> failed) {
  std::lock_guard lock(opMutex_);
  // A stop first: the caller starts again once it has cleaned up.
  if (stopActive_) {
    LogLine("m_hStopCameraAudioThread !=NULL.");
    return AudioStart::kStopRunning;
  }
  if (startInPlace_) {
    LogLine("m_hStartCameraAudioThread != NULL.");
    return AudioStart::kStartRunning;
  }
  info_ = info;
  startInPlace_ = true;
  {
    std::lock_guard f(failedMutex_);
    failed_ = std::move(failed);
  }
  // Here rather than on the start thread, under the lock a stop takes: a
  // stop that follows at once cannot be undone by a late start thread.
  cameraAudioOff = 0;
  if (sessionStop_) sessionStop_->Notify();  // the keep-alive tells the camera at once
  start_ = std::thread(&CameraAudioPlayer::StartThread, this, info);
  return AudioStart::kStarted;
}

bool CameraAudioPlayer::CleanCameraAudioAsync(std::function<void()> done) {
  std::lock_guard lock(opMutex_);
  if (stopActive_) return false;
  stopActive_ = true;
  Abort();
  stops_.Launch([this, done = std::move(done)] {
    Clean();
    stopActive_ = false;  // before the hand-over, which may start this camera again
    if (done) done();
  });
  return true;
}

void CameraAudioPlayer::StartThread(AudioStreamInfo info) {
  const bool aac = info.codec == CameraAudio::kAac;
  if (!aac) {
    LogLine("Play_Audio.");
    speex_ = std::make_unique<SpeexDecoder>();
    if (!speex_->ok()) {
      Abort();
      return;
    }
    LogLine("go to the CCamera::I&&Q::Audio_Play_CallBack().");
  }
  callback_ = std::thread(&CameraAudioPlayer::CallbackThread, this);
  std::vector<Pcm> prefill;
  for (int i = 0; i < kPlayBuffers; ++i) {
    std::string_view payload;
    int32_t timestamp = 0;
    if (!WaitForEntry(payload, timestamp)) return;
    prefill.push_back(Decode(payload, aac ? kPrefillAttempts : 1));
    Ring().Pop();
  }
  // A start that cannot play tells the camera to hold its sound again.
  if (!OpenOutput(info, prefill)) {
    Abort();
    Failed();
  }
}

void CameraAudioPlayer::Failed() {
  std::function<void()> failed;
  {
    std::lock_guard lock(failedMutex_);
    failed.swap(failed_);
  }
  if (failed) failed();
}

bool CameraAudioPlayer::OpenOutput(const AudioStreamInfo& info, const std::vector<Pcm>& prefill) {
  PcmFormat format{1, kSpeexSampleRate};
  if (info.codec == CameraAudio::kAac) {
    // The rate the decoder found in the stream is the rate of its samples.
    const unsigned long rate = aac_.sampleRate();
    format = PcmFormat{2, rate > 0 && rate <= 192000 ? static_cast<int>(rate) : info.m_AudioSample};
  }
  std::lock_guard lock(outputMutex_);
  output_ = devices_.MakeOutput();
  if (output_) output_->SetLostHandler([this] {
    LogLine("the audio output went away");
    Abort();  // the waits end; the stop cleans up
    Failed();
  });
  if (!output_ || !output_->Open(format, [this] { PostDone(); })) {
    LogLine("the audio output does not open");
    output_.reset();
    return false;
  }
  for (const Pcm& pcm : prefill) WriteLocked(pcm);
  return true;
}

void CameraAudioPlayer::CallbackThread() {
  while (true) {
    {
      std::unique_lock lock(messageMutex_);
      messageWake_.wait_for(lock, kMessageWait, [this] { return quit_ || buffersDone_ > 0; });
      if (quit_ || quitting_) return;
      if (buffersDone_ == 0) continue;
      --buffersDone_;
    }
    std::string_view payload;
    if (Aborted() || !TakeInSync(payload)) return;
    Pcm pcm = Decode(payload, 1);
    Ring().Pop();
    Play(pcm);
  }
}

bool CameraAudioPlayer::TakeInSync(std::string_view& payload) {
  bool farAhead = false;
  for (;;) {
    int32_t timestamp = 0;
    if (!WaitForEntry(payload, timestamp)) return false;
    if (!videoClock_) return true;
    // In 64 bits: a camera's timestamps may be anything.
    const int64_t d = int64_t{videoClock_->load()} - timestamp;
    const int32_t clamped = static_cast<int32_t>(std::clamp<int64_t>(d, INT32_MIN, INT32_MAX));
    switch (SyncStep(clamped, farAhead)) {
      case AudioSyncStep::kDrop:
        Ring().Pop();
        ++syncDropped_;
        continue;
      case AudioSyncStep::kWait:
        ++syncDelayed_;
        return !SleepUnlessAborted(std::chrono::milliseconds(-clamped));
      case AudioSyncStep::kPlay:
        return true;
    }
  }
}

bool CameraAudioPlayer::SleepUnlessAborted(std::chrono::milliseconds time) const {
  return doorbell_.WaitFor(time, [this] { return Aborted(); });
}

bool CameraAudioPlayer::WaitForEntry(std::string_view& payload, int32_t& timestamp) {
  // A stop wins over a waiting entry: a stopped session plays nothing more.
  bool found = false;
  while (!doorbell_.WaitFor(kDoorbellBound, [&] { return Aborted() || (found = Ring().Front(payload, timestamp)); }))
    continue;
  return found && !Aborted();
}

void CameraAudioPlayer::Abort() {
  cameraAudioOff = 1;
  doorbell_.Ring();
}

bool CameraAudioPlayer::Aborted() const {
  return cameraAudioOff != 0 || quitting_ || (sessionStop_ && sessionStop_->requested());
}

CameraAudioPlayer::Pcm CameraAudioPlayer::Decode(std::string_view payload, int attempts) {
  if (info_.codec == CameraAudio::kSpeex) {
    Pcm pcm(kSpeexPacketSamples);
    speex_->Decode(payload, pcm.data());
    return pcm;
  }
  if (!aac_.initialised()) {
    LogLine("go to the FAADInit().");
    aac_.Init(payload);
  }
  std::vector<int16_t> stereo;
  for (int i = 0; i < attempts; ++i) {
    ++aacDecodeAttempts_;
    if (aac_.Decode(payload, stereo)) return stereo;
  }
  // Silence rather than stale sound keeps the eight buffers going round.
  return Pcm(kAacPlayBytes / sizeof(int16_t), 0);
}

bool CameraAudioPlayer::Play(const Pcm& pcm) {
  std::lock_guard lock(outputMutex_);
  return WriteLocked(pcm);
}

bool CameraAudioPlayer::WriteLocked(const Pcm& pcm) {
  const std::size_t bytes = pcm.size() * sizeof(int16_t);
  if (!output_ || !output_->Write(reinterpret_cast<const uint8_t*>(pcm.data()), bytes)) return false;
  bytesPlayed_ += bytes;
  return true;
}

void CameraAudioPlayer::PostDone() {
  {
    std::lock_guard lock(messageMutex_);
    ++buffersDone_;
  }
  messageWake_.notify_one();
}

void CameraAudioPlayer::Clean() {
  LogLine("go to the CleanCameraAudio()");
  {
    std::lock_guard f(failedMutex_);
    failed_ = nullptr;  // a stop is no failure
  }
  std::thread start;
  {
    std::lock_guard lock(opMutex_);
    start.swap(start_);
  }
  if (start.joinable()) start.join();  // its waits end: cameraAudioOff is 1
  LogLine("1");
  {
    std::lock_guard lock(messageMutex_);
    quit_ = true;
  }
  messageWake_.notify_one();
  if (callback_.joinable()) callback_.join();
  LogLine("2");
  {
    std::lock_guard lock(outputMutex_);
    if (output_) output_->Close();
    output_.reset();
  }
  LogLine("3");
  speex_.reset();
  LogLine("4");
  {
    std::lock_guard lock(storeMutex_);
    aacRing_.Reset();
    speexRing_.Reset();
  }
  LogLine("5");
  {
    std::lock_guard lock(messageMutex_);
    buffersDone_ = 0;
    quit_ = false;
  }
  LogLine("6");
  startInPlace_ = false;
  LogLine("7");
  LogLine("8");
  LogLine("clean cameraAudio success.");
}

}  // namespace lumivex
