#pragma once
// Which hours of which days have recordings on a camera's memory card
// ("playBack.do"), and the day-list text they come in.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace lumivex {

struct ServiceContext;

// Every number 0 marks an empty entry.
struct PlaybackDayList {
  struct Day {
    int32_t day = 0;
    int32_t hourCount = 0;
    std::array<int32_t, 24> hours{};
  };
  struct Month {
    int32_t month = 0;
    std::array<Day, 31> days{};
  };
  struct Year {
    int32_t year = 0;
    std::array<Month, 12> months{};
  };
  std::array<Year, 3> years{};
};

// "20140520,08,09,13;20140521,10": entries beyond the capacities are dropped.
void ParseDayList(std::string_view text, PlaybackDayList& list);

inline constexpr char kCatalogueFailedMessage[] = "获取播放列表失败";

// true with the list filled; false with message set to "设备离线",
// "设备无视频回放列表" or "设备无存储卡", or to kCatalogueFailedMessage for
// every other failure. Shows nothing itself: the playback window does.
bool LoadPlaybackCatalogue(ServiceContext& ctx, const std::string& sid, PlaybackDayList& list,
                           std::string& message);

}  // namespace lumivex
