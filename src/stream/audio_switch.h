#pragma once
// AudioSwitch: the wall's process-wide choice of the camera whose sound
// plays (m_pCameraAudio) and of the camera that receives talk-back
// (talkCamera). Changing to another camera stops the current one on its own
// stop thread; at the end of that stop the waiting camera (nextAudioCamera,
// nextTalkCamera) becomes the current one and starts.
//
// How the switch learns of stops: the stops it starts end with its own
// hand-over. A camera's session stop cleans audio and talk-back itself and
// then calls SessionStopped; a camera that goes away calls Forget first.
//
// Threads: one mutex guards the four pointers and the stops under way, so
// the picture overlays may read audioCamera() and talkingCamera() from any
// thread. Players are called under it; their start and stop calls never
// wait for a stop thread, which is what makes that safe. A stop's hand-over
// takes the mutex, so a camera is never destroyed by a caller that holds it
// (nothing in the switch does). Cameras go before the switch does.

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "stream/audio_codec.h"
#include "stream/audio_player.h"
#include "stream/audio_talk.h"

namespace lumivex {

// A camera as the switch sees it; the camera session implements it.
class AudioParty {
 public:
  virtual ~AudioParty() = default;
  virtual CameraAudioPlayer& audioPlayer() = 0;
  virtual TalkBack& talkBack() = 0;
  virtual AudioStreamInfo audioInfo() const = 0;
  virtual bool SendTalkPacket(const std::string& packet) = 0;
};

enum class SwitchResult {
  kNoSelection,  // no camera selected: the window shows its selection tip
  kNothing,      // the selected camera is the current one already
  kStarted,      // the selected camera starts
  kSwitching,    // the current camera stops; the selected one starts after it
};

// What could not be had: the sound output for listening, the input for
// talk-back.
enum class AudioFailure { kOutput, kInput };
inline constexpr int kAudioFailureTipMs = 2000;
// The tip that tells of it.
inline const char* AudioFailureTip(AudioFailure failure) {
  return failure == AudioFailure::kInput ? "无法打开本地音频设备" : "无法打开本地音频输出设备";
}

class AudioSwitch {
 public:
  // Called (on a player's or a device's thread, without the switch's lock)
  // when a started sound or talk-back could not open its device or lost it;
  // the switch has stopped that lane by then. Set before the first start.
  void SetFailureHandler(std::function<void(AudioFailure)> handler) { failureHandler_ = std::move(handler); }

  SwitchResult Listen(AudioParty* selected);
  void Mute();
  SwitchResult Talk(AudioParty* selected);
  void StopTalk();

  // The camera's session has stopped and started its audio and talk-back
  // stops itself: the switch lets go of it.
  void SessionStopped(AudioParty* party);
  // The camera goes away; a camera waiting for its stop is started.
  void Forget(AudioParty* party);

  AudioParty* audioCamera() const;
  AudioParty* talkingCamera() const;
  AudioParty* nextAudio() const;
  AudioParty* nextTalk() const;

 private:
  enum class Kind { kAudio, kTalk };
  // One of the two choices, by reference into the fields below.
  struct Lane {
    Kind kind;
    AudioParty*& current;
    AudioParty*& next;
    std::vector<AudioParty*>& stopping;  // stops this switch started, not yet done
  };

  Lane AudioLane() { return {Kind::kAudio, m_pCameraAudio, nextAudioCamera, audioStopping_}; }
  Lane TalkLane() { return {Kind::kTalk, talkCamera, nextTalkCamera, talkStopping_}; }

  SwitchResult Select(Lane lane, AudioParty* selected);
  void Stop(Lane lane);
  void Begin(Lane lane, AudioParty* party);
  bool StartStop(Lane lane, AudioParty* party);
  void Stopped(Kind kind, AudioParty* party);  // the end of a stop this switch started
  void LetGo(Lane lane, AudioParty* party, bool gone);
  void Failed(Kind kind, AudioParty* party);
  static bool Stopping(const Lane& lane, AudioParty* party);

  mutable std::mutex mutex_;
  // Guarded by mutex_:
  AudioParty* m_pCameraAudio = nullptr;
  AudioParty* nextAudioCamera = nullptr;
  AudioParty* talkCamera = nullptr;
  AudioParty* nextTalkCamera = nullptr;
  std::vector<AudioParty*> audioStopping_, talkStopping_;
  std::function<void(AudioFailure)> failureHandler_;  // set before any thread uses the switch
};

}  // namespace lumivex
