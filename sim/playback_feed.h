#pragma once
// The pictures of a playback session: one group of 15 frames per second
// of the recording, its first an IDR so that a jump lands exactly on the
// second, each showing the camera's name and the recording time. Groups
// are encoded on demand in the background a couple of seconds ahead of
// the position, and only a few are kept. Every group is encoded with the
// same settings, so all share the parameter sets of the connect reply.

#include <map>
#include <memory>
#include <string>

#include "sim/clip.h"
#include "sim/playback_time.h"

namespace lumivex::sim {

inline constexpr int kPlaybackAheadSeconds = 2;

// The group of one second: key.label names the camera, start + second is
// the time it shows.
bool EncodePlaybackSecond(const ClipKey& key, RecordingTime time, Clip& out, std::string& error);

class PlaybackFeed {
 public:
  // start: the recording's first second; seconds: its length.
  PlaybackFeed(ClipKey key, RecordingTime start, int seconds);

  // Starts encoding second and the few after it, and forgets the groups
  // far from it.
  void Prepare(int second);
  // True once the group of second is encoded (Prepare first); out is null
  // when encoding failed (logged).
  bool Ready(int second, std::shared_ptr<const Clip>& out);
  // Waits for it.
  std::shared_ptr<const Clip> Wait(int second);

 private:
  void Request(int second);

  const ClipKey key_;
  const RecordingTime start_;
  const int seconds_;
  std::map<int, ClipCache::Handle> groups_;
};

}  // namespace lumivex::sim
