#include "sim/playback_feed.h"

#include <chrono>

#include "sim/sim_log.h"

namespace lumivex::sim {

bool EncodePlaybackSecond(const ClipKey& key, RecordingTime time, Clip& out, std::string& error) {
  const std::string stamp = StampText(time);
  return EncodeFrames(
      key, kClipFps,
      [&](int i, YuvPicture& picture) {
        DrawPicture({key.label, i, kClipFps, 0, 0}, picture);
        DrawBanner(picture, stamp);
      },
      out, error);
}

PlaybackFeed::PlaybackFeed(ClipKey key, RecordingTime start, int seconds)
    : key_(std::move(key)), start_(start), seconds_(seconds) {}

void PlaybackFeed::Prepare(int second) {
  // a group dropped while it encodes waits for its encoder here; at most a few
  // In 64 bits: a recording may be announced as long as INT_MAX seconds.
  const long long last = static_cast<long long>(second) + kPlaybackAheadSeconds;
  std::erase_if(groups_, [&](const auto& g) { return g.first < static_cast<long long>(second) - 1 || g.first > last; });
  for (long long s = second; s <= last && s < seconds_; ++s) Request(static_cast<int>(s));
}

bool PlaybackFeed::Ready(int second, std::shared_ptr<const Clip>& out) {
  auto it = groups_.find(second);
  if (it == groups_.end()) {
    Request(second);
    return false;
  }
  if (it->second.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return false;
  out = it->second.get();
  return true;
}

std::shared_ptr<const Clip> PlaybackFeed::Wait(int second) {
  Request(second);
  auto it = groups_.find(second);
  return it == groups_.end() ? nullptr : it->second.get();
}

void PlaybackFeed::Request(int second) {
  if (second < 0 || second >= seconds_ || groups_.count(second)) return;
  const RecordingTime time = start_ + std::chrono::seconds(second);
  groups_.emplace(second, std::async(std::launch::async, [key = key_, time]() -> std::shared_ptr<const Clip> {
                            auto clip = std::make_shared<Clip>();
                            std::string error;
                            if (EncodePlaybackSecond(key, time, *clip, error)) return clip;
                            LogError("playback picture of " + StampText(time) + ": " + error);
                            return nullptr;
                          }).share());
}

}  // namespace lumivex::sim
