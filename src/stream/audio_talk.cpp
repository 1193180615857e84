#include "stream/audio_talk.h"

#include <chrono>
#include <cstring>

#include "core/logging.h"
#include "device/session_packet.h"

namespace lumivex {
namespace {

// A wait looks again after this long even without a ring: talking and the
// session's stop may be set by others.
constexpr auto kDoorbellBound = std::chrono::milliseconds(100);

}  // namespace

TalkBack::TalkBack(AudioDevices& devices, const StopSignal* sessionStop)
    : devices_(devices), sessionStop_(sessionStop) {}

TalkBack::~TalkBack() {
  quitting_ = true;
  EndSending();
  stops_.JoinAll();
  if (startInPlace_) Clean();
}

AudioStart TalkBack::StartLocalAudio(const AudioStreamInfo& info, SendPacket send, std::function<void()> failed) {
  std::lock_guard lock(opMutex_);
  if (stopActive_) return AudioStart::kStopRunning;
  if (startInPlace_) return AudioStart::kStartRunning;
  startInPlace_ = true;
  {
    std::lock_guard f(failedMutex_);
    failed_ = std::move(failed);
  }
  start_ = std::thread(&TalkBack::StartThread, this, info, std::move(send));
  return AudioStart::kStarted;
}

bool TalkBack::CleanLocalAudioAsync(std::function<void()> done) {
  std::lock_guard lock(opMutex_);
  if (stopActive_) return false;
  stopActive_ = true;
  EndSending();
  stops_.Launch([this, done = std::move(done)] {
    Clean();
    stopActive_ = false;  // before the hand-over, which may start this camera again
    if (done) done();
  });
  return true;
}

void TalkBack::StartThread(AudioStreamInfo info, SendPacket send) {
  if (!OpenInput(info)) {
    LogLine("the audio input does not open");
    return Failed();
  }
  std::lock_guard lock(opMutex_);
  if (stopActive_ || quitting_) return;  // stopped meanwhile: no sender
  talking = 1;
  if (speex_)
    sender_ = std::thread(&TalkBack::SendSpeex, this, std::move(send));
  else
    sender_ = std::thread(&TalkBack::SendAac, this, info.m_AudioSample, std::move(send));
}

bool TalkBack::OpenInput(const AudioStreamInfo& info) {
  speex_ = info.codec == CameraAudio::kSpeex;
  const PcmFormat format{1, speex_ ? kSpeexSampleRate : info.m_AudioSample};
  const std::size_t blockBytes = speex_ ? kSpeexPcmBytes : kAacTalkBytes;
  ring_.Reset(blockBytes);
  input_ = devices_.MakeInput();
  if (!input_) return false;
  input_->SetLostHandler([this] {
    LogLine("the audio input went away");
    EndSending();  // the stop cleans up
    Failed();
  });
  return input_->Open(format, blockBytes, [this](const uint8_t* data, std::size_t size) { OnBlock(data, size); }) &&
         input_->Start();
}

void TalkBack::Failed() {
  std::function<void()> failed;
  {
    std::lock_guard lock(failedMutex_);
    failed.swap(failed_);
  }
  if (failed) failed();
}

void TalkBack::OnBlock(const uint8_t* data, std::size_t size) {
  if (size != ring_.blockBytes()) return;  // a partial block is not sent
  if (speex_) LogLine("IQ::Wave_In::WIM_DATA");
  ++blocksCaptured_;
  if (ring_.Push(data, size)) {
    doorbell_.Ring();
  } else {
    ++blocksDropped_;
  }
}

void TalkBack::EndSending() {
  talking = 0;
  doorbell_.Ring();
}

bool TalkBack::WaitForBlock() const {
  return doorbell_.WaitFor(kDoorbellBound, [this] { return !KeepSending() || ring_.count() > 0; });
}

bool TalkBack::KeepSending() const {
  return talking == 1 && !quitting_ && !(sessionStop_ && sessionStop_->requested());
}

bool TalkBack::TakeBlock(std::vector<int16_t>& samples) {
  const uint8_t* block = ring_.Front();
  if (!block) return false;
  samples.resize(ring_.blockBytes() / sizeof(int16_t));
  std::memcpy(samples.data(), block, ring_.blockBytes());
  return true;
}

void TalkBack::SendSpeex(const SendPacket& send) {
  SpeexEncoder encoder;
  if (!encoder.ok()) return;
  std::vector<int16_t> samples;
  std::string payload;
  while (KeepSending()) {
    if (!TakeBlock(samples)) {
      WaitForBlock();
      continue;
    }
    if (!encoder.Encode(samples.data(), payload)) return;
    if (!send(MakeAudioPacket(FLAG_DEVICE_AUDIO_STREAM_SPEEX, payload))) return;
    ring_.Pop();  // the slot stays in use until its packet is out
    ++packetsSent_;
  }
}

void TalkBack::SendAac(int sampleRate, const SendPacket& send) {
  AacEncoder encoder;
  if (!encoder.Open(sampleRate)) {
    LogLine("no AAC encoder at " + std::to_string(sampleRate) + " Hz");
    return;
  }
  std::vector<int16_t> samples;
  std::string adts;
  while (KeepSending()) {
    if (!TakeBlock(samples)) {
      WaitForBlock();
      continue;
    }
    if (!encoder.Encode(samples.data(), adts)) return;
    // The camera takes frames of up to 1024 bytes like ours; a larger one is left out.
    if (adts.size() > kMaxAacFrameBytes) adts.clear();
    if (!send(MakeAudioPacket(FLAG_DEVICE_AUDIO_STREAM_AAC, adts))) return;
    ring_.Pop();
    ++packetsSent_;
  }
}

void TalkBack::Clean() {
  LogLine("go  to the CleanLocalAudio.");
  {
    std::lock_guard f(failedMutex_);
    failed_ = nullptr;  // a stop is no failure
  }
  std::thread start;
  {
    std::lock_guard lock(opMutex_);
    start.swap(start_);
  }
  if (start.joinable()) start.join();
  if (sender_.joinable()) sender_.join();  // talking is 0
  if (input_) input_->Close();
  input_.reset();
  ring_.Reset(0);
  startInPlace_ = false;
}

}  // namespace lumivex
