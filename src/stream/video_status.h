#pragma once
// m_VideoStatus of a live or playback session.

#include <cstdint>

namespace lumivex {

inline constexpr int32_t STATUS_READY = 0;
inline constexpr int32_t STATUS_VIDEO_CONNECTING = 1;
inline constexpr int32_t STATUS_VIDEO_PLAYING = 2;
inline constexpr int32_t STATUS_VIDEO_FAILED = 3;

// The word the command-line driver prints for a status.
inline const char* VideoStatusName(int32_t status) {
  switch (status) {
    case STATUS_READY: return "ready";
    case STATUS_VIDEO_CONNECTING: return "connecting";
    case STATUS_VIDEO_PLAYING: return "playing";
    default: return "failed";
  }
}

}  // namespace lumivex
