#include "playback/catalogue.h"

#include <algorithm>
#include <cctype>

#include "config/user_settings.h"
#include "core/global.h"
#include "core/logging.h"
#include "core/text.h"
#include "webservice/request.h"
#include "webservice/service_context.h"

namespace lumivex {
namespace {

constexpr std::size_t kCatalogueReplyBytes = 262144;
constexpr std::size_t kCatalogueInnerBytes = 8192;
constexpr std::size_t kMaxDayListChars = 4095;
constexpr std::size_t kDateChars = 8;
constexpr std::size_t kFirstHour = 9;
constexpr std::size_t kHourStride = 3;

// The slot holding value, else the first empty one; null when full.
template <typename Slot, std::size_t N, typename Key>
Slot* FindOrTake(std::array<Slot, N>& slots, Key key, int32_t value) {
  for (Slot& slot : slots)
    if (slot.*key == value) return &slot;
  for (Slot& slot : slots)
    if (slot.*key == 0) {
      slot.*key = value;
      return &slot;
    }
  return nullptr;
}

bool TwoDigits(std::string_view text, int32_t& value) {
  if (text.size() != 2 || !std::isdigit(static_cast<unsigned char>(text[0])) ||
      !std::isdigit(static_cast<unsigned char>(text[1])))
    return false;
  value = (text[0] - '0') * 10 + (text[1] - '0');
  return true;
}

void AddEntry(std::string_view entry, PlaybackDayList& list) {
  if (entry.size() < kDateChars) {
    if (!entry.empty()) LogLine("day list: entry without a date skipped");
    return;
  }
  int32_t year = DecimalPrefix(entry.substr(0, 4));
  int32_t month = DecimalPrefix(entry.substr(4, 2));
  int32_t day = DecimalPrefix(entry.substr(6, 2));
  if (year <= 0 || month <= 0 || day <= 0) {
    // 0 marks an empty slot: such a date could not be told from none.
    LogLine("day list: entry with a zero date skipped");
    return;
  }
  auto* y = FindOrTake(list.years, &PlaybackDayList::Year::year, year);
  auto* m = y ? FindOrTake(y->months, &PlaybackDayList::Month::month, month) : nullptr;
  auto* d = m ? FindOrTake(m->days, &PlaybackDayList::Day::day, day) : nullptr;
  if (!d) return;  // beyond the capacities: no room for it
  for (std::size_t pos = kFirstHour; pos < entry.size(); pos += kHourStride) {
    int32_t hour = 0;
    if (!TwoDigits(entry.substr(pos, 2), hour) || hour > 23) {
      LogLine("day list: hour that is not two digits from 00 to 23 skipped");
      continue;
    }
    if (d->hourCount >= static_cast<int32_t>(d->hours.size())) return;
    d->hours[d->hourCount++] = hour;
  }
}

// The message of a refusal that has one; null for a status that goes on.
const char* RefusalMessage(const ServiceReply& reply) {
  if (reply.StatusIs("OFFLINE")) return "设备离线";
  if (reply.StatusIs("NOLIST")) return "设备无视频回放列表";
  if (reply.StatusIs("NOSDCARD")) return "设备无存储卡";
  return nullptr;
}

bool Catalogue(ServiceContext& ctx, const std::string& sid, std::string& dayList,
               std::string& message) {
  const Global& g = ctx.g;
  message = kCatalogueFailedMessage;
  FieldString fields;
  fields.Add("uid", ctx.settings.userName.str())
      .Add("sid", sid)
      .Add("mac", g.m_Mac.str())
      .Add("exp", g.m_ClientExp.str())
      .Add("mod", g.m_ClientMod.str())
      .Add("token", g.m_Token.str());
  ServiceReply reply =
      SendRequest(ctx, EnvelopeRequest(ctx, "playBack", fields, kCatalogueReplyBytes));
  if (!reply.received() || reply.StatusIs("ERROR")) return false;
  if (const char* refusal = RefusalMessage(reply)) {
    message = refusal;
    return false;
  }

  Json::Value inner;
  const Json::Value* playBack = nullptr;
  if (OpenInnerReply(ctx, reply, kCatalogueInnerBytes, inner) != InnerResult::kOpened ||
      !ReadObject(inner, "playBack", playBack) ||
      (playBack && !ReadText(*playBack, "videoDaylist", dayList))) {
    LogLine("playBack.do: playBack is missing or malformed");
    return false;
  }
  if (dayList.size() > kMaxDayListChars) {
    LogLine("playBack.do: day list cut to 4095 characters");
    dayList.resize(kMaxDayListChars);
  }
  message.clear();
  return true;
}

}  // namespace

void ParseDayList(std::string_view text, PlaybackDayList& list) {
  list = PlaybackDayList{};
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = std::min(text.find(';', start), text.size());
    AddEntry(text.substr(start, end - start), list);
    start = end + 1;
  }
}

bool LoadPlaybackCatalogue(ServiceContext& ctx, const std::string& sid, PlaybackDayList& list,
                           std::string& message) {
  std::string dayList;
  if (!Catalogue(ctx, sid, dayList, message)) return false;
  ParseDayList(dayList, list);
  return true;
}

}  // namespace lumivex
