#pragma once
// m_VideoStatus of a live or playback session.

#include <cstdint>

namespace lumivex {

inline constexpr int32_t STATUS_READY = 0;
inline constexpr int32_t STATUS_VIDEO_CONNECTING = 1;
inline constexpr int32_t STATUS_VIDEO_PLAYING = 2;
inline constexpr int32_t STATUS_VIDEO_FAILED = 3;

}  // namespace lumivex
