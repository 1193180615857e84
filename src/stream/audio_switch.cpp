#include "stream/audio_switch.h"

#include <algorithm>

namespace lumivex {

SwitchResult AudioSwitch::Listen(AudioParty* selected) {
  std::lock_guard lock(mutex_);
  return Select(AudioLane(), selected);
}

void AudioSwitch::Mute() {
  std::lock_guard lock(mutex_);
  Stop(AudioLane());
}

SwitchResult AudioSwitch::Talk(AudioParty* selected) {
  std::lock_guard lock(mutex_);
  return Select(TalkLane(), selected);
}

void AudioSwitch::StopTalk() {
  std::lock_guard lock(mutex_);
  Stop(TalkLane());
}

void AudioSwitch::SessionStopped(AudioParty* party) {
  std::lock_guard lock(mutex_);
  LetGo(AudioLane(), party, false);
  LetGo(TalkLane(), party, false);
}

void AudioSwitch::Forget(AudioParty* party) {
  std::lock_guard lock(mutex_);
  LetGo(AudioLane(), party, true);
  LetGo(TalkLane(), party, true);
}

AudioParty* AudioSwitch::audioCamera() const {
  std::lock_guard lock(mutex_);
  return m_pCameraAudio;
}

AudioParty* AudioSwitch::talkingCamera() const {
  std::lock_guard lock(mutex_);
  return talkCamera;
}

AudioParty* AudioSwitch::nextAudio() const {
  std::lock_guard lock(mutex_);
  return nextAudioCamera;
}

AudioParty* AudioSwitch::nextTalk() const {
  std::lock_guard lock(mutex_);
  return nextTalkCamera;
}

SwitchResult AudioSwitch::Select(Lane lane, AudioParty* selected) {
  if (!selected) return SwitchResult::kNoSelection;
  if (selected == lane.current) return SwitchResult::kNothing;
  if (lane.current) {
    // The latest choice waits; a stop under way already hands over to it.
    lane.next = selected;
    if (!Stopping(lane, lane.current)) StartStop(lane, lane.current);
    return SwitchResult::kSwitching;
  }
  Begin(lane, selected);
  return SwitchResult::kStarted;
}

void AudioSwitch::Stop(Lane lane) {
  // Muting also drops a camera that waited for a switch.
  lane.next = nullptr;
  AudioParty* current = lane.current;
  if (!current) return;
  lane.current = nullptr;
  if (!Stopping(lane, current)) StartStop(lane, current);
}

void AudioSwitch::Begin(Lane lane, AudioParty* party) {
  lane.current = party;
  const Kind kind = lane.kind;
  auto failed = [this, kind, party] { Failed(kind, party); };
  AudioStart started = kind == Kind::kAudio
                           ? party->audioPlayer().StartCameraAudio(party->audioInfo(), failed)
                           : party->talkBack().StartLocalAudio(
                                 party->audioInfo(), [party](const std::string& packet) { return party->SendTalkPacket(packet); },
                                 failed);
  if (started != AudioStart::kStopRunning) return;
  // Its own stop still runs. When it is ours, its end starts it; otherwise
  // its session has stopped and there is nothing to play.
  if (Stopping(lane, party))
    lane.next = party;
  else
    lane.current = nullptr;
}

bool AudioSwitch::StartStop(Lane lane, AudioParty* party) {
  const Kind kind = lane.kind;
  auto done = [this, kind, party] { Stopped(kind, party); };
  const bool started = kind == Kind::kAudio ? party->audioPlayer().CleanCameraAudioAsync(done)
                                            : party->talkBack().CleanLocalAudioAsync(done);
  // Refused: its session's stop runs it, and SessionStopped follows.
  if (started) lane.stopping.push_back(party);
  return started;
}

void AudioSwitch::Stopped(Kind kind, AudioParty* party) {
  std::lock_guard lock(mutex_);
  Lane lane = kind == Kind::kAudio ? AudioLane() : TalkLane();
  auto at = std::find(lane.stopping.begin(), lane.stopping.end(), party);
  if (at != lane.stopping.end()) lane.stopping.erase(at);
  // The hand-over belongs to the stop of the camera being left (or of the
  // waiting camera itself, or of one that has gone meanwhile).
  if (lane.next && (party == lane.current || party == lane.next || !lane.current)) {
    AudioParty* next = lane.next;
    lane.next = nullptr;
    Begin(lane, next);
  } else if (party == lane.current) {
    lane.current = nullptr;
  }
}

void AudioSwitch::LetGo(Lane lane, AudioParty* party, bool gone) {
  if (lane.next == party) lane.next = nullptr;
  if (lane.current != party) return;
  // A stop of ours under way hands over at its end.
  if (Stopping(lane, party) && !gone) return;
  lane.current = nullptr;
  if (lane.next && !Stopping(lane, party)) {
    AudioParty* next = lane.next;
    lane.next = nullptr;
    Begin(lane, next);
  }
}

// The player or talk-back calls it at most once per start, never from a
// stop, and the stop it starts here waits for nothing this thread holds.
void AudioSwitch::Failed(Kind kind, AudioParty* party) {
  {
    std::lock_guard lock(mutex_);
    Lane lane = kind == Kind::kAudio ? AudioLane() : TalkLane();
    if (lane.current != party) return;  // left meanwhile: nothing to tell
    Stop(lane);
  }
  if (failureHandler_) failureHandler_(kind == Kind::kAudio ? AudioFailure::kOutput : AudioFailure::kInput);
}

bool AudioSwitch::Stopping(const Lane& lane, AudioParty* party) {
  return std::find(lane.stopping.begin(), lane.stopping.end(), party) != lane.stopping.end();
}

}  // namespace lumivex
