#pragma once
// The running program's product version (set by the build from the project version).

#include <cstdint>

namespace lumivex {

inline constexpr uint16_t kProductMajor = LUMIVEX_VERSION_MAJOR;
inline constexpr uint16_t kProductMinor = LUMIVEX_VERSION_MINOR;
inline constexpr char kVersionText[] = LUMIVEX_VERSION_TEXT;
inline constexpr char kApplicationName[] = "velmor视频客户端";
// Off in distribution builds: updates come through the system's package manager.
inline constexpr bool kSelfUpdate = LUMIVEX_SELF_UPDATE;

}  // namespace lumivex
