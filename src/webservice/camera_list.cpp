#include "webservice/camera_list.h"

#include <json/value.h>

#include "config/user_settings.h"
#include "core/global.h"
#include "core/logging.h"
#include "core/notifier.h"
#include "core/text.h"
#include "webservice/request.h"
#include "webservice/service_context.h"

namespace lumivex {
namespace {

constexpr std::size_t kListReplyBytes = 262144;
constexpr std::size_t kUpdateInnerBytes = 262144;
constexpr std::size_t kRefreshInnerBytes = 65536;
constexpr long kMaxNameUnits = 259;
// A full list needs 52 pages; a service that never sends a short page is
// not followed for ever.
constexpr int kMaxPages = CameraList::kCapacity / CameraList::kPageSize + 2;

bool ReadFlag(const Json::Value& object, const char* name, int32_t& out) {
  std::string text;
  if (!ReadText(object, name, text)) return false;
  out = DecimalPrefix(text);
  return true;
}

template <std::size_t Width>
bool ReadField(const Json::Value& object, const char* name, FixedText<Width>& out) {
  std::string text;
  if (!ReadText(object, name, text)) return false;
  out = text;  // cut at the width of the field
  return true;
}

// One page of the listing: every device object of it that parses, and the
// number of objects it held (which decides whether another page follows).
bool FetchPage(ServiceContext& ctx, int page, std::size_t innerCapacity,
               std::vector<CameraInfo>& devices, int& objects) {
  const Global& g = ctx.g;
  FieldString fields;
  fields.Add("uid", ctx.settings.userName.str())
      .Add("mac", g.m_Mac.str())
      .Add("token", g.m_Token.str())
      .Add("exp", g.m_ClientExp.str())
      .Add("mod", g.m_ClientMod.str())
      .Add("page", page)
      .Add("size", CameraList::kPageSize);
  ServiceReply reply = SendRequest(ctx, EnvelopeRequest(ctx, "devList", fields, kListReplyBytes));
  if (!reply.received()) return false;
  if (reply.StatusIs("NOUSR")) {
    ctx.notifier.MessageBox("提示", "该用户不存在");
    return false;
  }
  if (!reply.StatusIs("OK")) {
    LogLine("devList.do: refused with status " + reply.status);
    return false;
  }
  Json::Value inner;
  if (OpenInnerReply(ctx, reply, innerCapacity, inner) != InnerResult::kOpened) return false;
  const Json::Value* result = nullptr;
  if (!ReadArray(inner, "result", result)) {
    LogLine("devList.do: result is not an array");
    return false;
  }
  devices.clear();
  objects = result ? static_cast<int>(result->size()) : 0;
  for (int i = 0; i < objects; ++i) {
    CameraInfo info;
    if (!ParseCameraInfo((*result)[i], info)) {
      LogLine("devList.do: device object " + DecimalText(i) + " of page " + DecimalText(page) +
              " is malformed; skipped");
      continue;
    }
    devices.push_back(std::move(info));
  }
  return true;
}

// Walks the pages until a short one; take receives every device in order.
template <typename Take>
bool ListDevices(ServiceContext& ctx, std::size_t innerCapacity, Take take) {
  for (int page = 1; page <= kMaxPages; ++page) {
    std::vector<CameraInfo> devices;
    int objects = 0;
    if (!FetchPage(ctx, page, innerCapacity, devices, objects)) return false;
    for (CameraInfo& info : devices) take(info);
    if (objects < CameraList::kPageSize) return true;
  }
  LogLine("devList.do: no short page after " + DecimalText(kMaxPages) + " pages; listing ends");
  return true;
}

}  // namespace

bool ParseCameraInfo(const Json::Value& object, CameraInfo& info) {
  if (!object.isObject()) return false;
  info = CameraInfo{};
  std::string name;
  if (!ReadField(object, "sid", info.sid) || !ReadText(object, "name", name) ||
      !ReadFlag(object, "showAlarm", info.showAlarm) ||
      !ReadFlag(object, "alarmStatus", info.alarmStatus) ||
      !ReadFlag(object, "alarmStartTime", info.alarmStartTime) ||
      !ReadFlag(object, "alarmEndTime", info.alarmEndTime) ||
      !ReadFlag(object, "ledStatus", info.ledStatus) ||
      !ReadFlag(object, "soundLeadStatus", info.soundLeadStatus) ||
      !ReadFlag(object, "lock", info.lock) || !ReadField(object, "lockPsd", info.lockPsd) ||
      !ReadField(object, "type", info.type) || !ReadField(object, "version", info.version) ||
      !ReadField(object, "img", info.img) || !ReadNumber(object, "init", info.init) ||
      !ReadNumber(object, "status", info.status) || !ReadFlag(object, "showLED", info.showLED) ||
      !ReadFlag(object, "showSound", info.showSound))
    return false;
  if (Utf16Length(name) < 0) return false;  // the name is shown: it must be text
  info.name = CutUtf16(name, kMaxNameUnits);
  return true;
}

CameraList::~CameraList() {
  std::lock_guard lock(discoveryMutex_);
  FinishDiscoveryLocked();
}

int CameraList::count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(entries_.size());
}

std::optional<CameraInfo> CameraList::Get(int index) const {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(entries_.size())) return std::nullopt;
  return entries_[index];
}

std::vector<CameraInfo> CameraList::Snapshot() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

int CameraList::IndexOf(std::string_view sid) const {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].sid == sid) return static_cast<int>(i);
  return -1;
}

bool CameraList::Modify(int index, const std::function<void(CameraInfo&)>& change) {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(entries_.size())) return false;
  change(entries_[index]);
  return true;
}

bool CameraList::Rename(int index, const std::string& name) {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(entries_.size())) return false;
  entries_[index].name = name;
  ++renames_;
  return true;
}

int CameraList::AppendLocked(const CameraInfo& info) {
  if (entries_.size() >= static_cast<std::size_t>(kCapacity)) {
    LogLine("CameraList: full at " + DecimalText(kCapacity) + " devices; " + info.sid.str() +
            " dropped");
    return -1;
  }
  entries_.push_back(info);
  entries_.back().listed = 1;
  return static_cast<int>(entries_.size()) - 1;
}

bool CameraList::Update(ServiceContext& ctx) {
  LogLine("CameraList:Update[Start]");
  // A device listed twice gets two entries, as every listing appends.
  bool listed = ListDevices(ctx, kUpdateInnerBytes, [this](const CameraInfo& info) {
    std::lock_guard lock(mutex_);
    AppendLocked(info);
  });
  if (!listed) return false;
  MergeLanResults();
  LogLine("CameraList:Update[End]");
  return true;
}

bool CameraList::Refresh(ServiceContext& ctx) {
  uint64_t renamesBefore;
  {
    std::lock_guard lock(mutex_);
    for (CameraInfo& entry : entries_) entry.listed = 0;
    renamesBefore = renames_;
  }
  return ListDevices(ctx, kRefreshInnerBytes, [this, renamesBefore](const CameraInfo& info) {
    std::lock_guard lock(mutex_);
    for (CameraInfo& entry : entries_) {
      if (entry.sid == info.sid.str()) {
        // Only presence, name and online state follow the service here.
        entry.listed = 1;
        if (renames_ == renamesBefore) entry.name = info.name;
        entry.status = info.status;
        return;
      }
    }
    AppendLocked(info);
  });
}

}  // namespace lumivex
