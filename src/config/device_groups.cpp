#include "config/device_groups.h"

#include <algorithm>
#include <limits>
#include <set>

#include "config/user_config.h"
#include "core/logging.h"
#include "core/text.h"

namespace lumivex {
namespace {

enum class Visit { kNext, kRemove, kStop };

// Makes config/config4/<list> current, adding what a damaged file lacks (the
// addition only reaches the disk when the caller saves).
bool IntoList(MarkupDocument& doc, std::string_view list) {
  if (!doc.FindRoot("config")) return false;
  if (!doc.FindChild("config4") && !doc.AddChild("config4")) return false;
  doc.IntoChild();
  if (!doc.FindChild(list) && !doc.AddChild(list)) return false;
  return doc.IntoChild();
}

// Calls visit with each child element of that name as the current element.
template <typename F>
void ForEachChild(MarkupDocument& doc, std::string_view name, F visit) {
  doc.ResetChildPos();
  while (doc.FindChild(name)) {
    doc.IntoChild();
    Visit next = visit(doc);
    if (next == Visit::kRemove)
      doc.RemoveElem();
    else
      doc.OutOfElem();
    if (next == Visit::kStop) return;
  }
}

int32_t GidOf(const MarkupDocument& doc) { return DecimalPrefix(doc.GetAttrib("GID")); }

bool HasGroup(const std::vector<DeviceGroup>& groups, int32_t gid) {
  return std::any_of(groups.begin(), groups.end(),
                     [gid](const DeviceGroup& g) { return g.GID == gid; });
}

// The groups of GroupList (current) as the tree shows them.
std::vector<DeviceGroup> ReadGroups(MarkupDocument& doc) {
  std::vector<DeviceGroup> groups;
  ForEachChild(doc, "Group", [&](MarkupDocument& d) {
    DeviceGroup group{GidOf(d), CutUtf16(d.GetText(), kMaxGroupNameUnits),
                      DecimalPrefix(d.GetAttrib("EXPAND")) != 0};
    if (HasGroup(groups, group.GID)) {
      LogLine("config: a second group with GID " + DecimalText(group.GID) + " is ignored");
      return Visit::kNext;
    }
    if (groups.size() == static_cast<std::size_t>(kMaxGroups)) {
      LogLine("config: groups after the " + DecimalText(kMaxGroups) + "th are ignored");
      return Visit::kStop;
    }
    groups.push_back(std::move(group));
    return Visit::kNext;
  });
  return groups;
}

void WriteGroup(MarkupDocument& doc, const DeviceGroup& group) {
  doc.SetText(group.name);
  doc.SetAttrib("GID", DecimalText(group.GID));
  doc.SetAttrib("EXPAND", group.expanded ? "1" : "0");
}

// The default group always exists: a file without it gets it in front (the
// API adds only after a child, so the first group moves one place down).
void EnsureDefaultGroup(MarkupDocument& doc) {
  DeviceGroup fallback{kDefaultGroupId, kDefaultGroupName, true};
  LogLine("config: the default group is missing; added");
  doc.ResetChildPos();
  if (!doc.FindChild("Group")) {
    doc.AddChild("Group");
    doc.IntoChild();
    WriteGroup(doc, fallback);
    doc.OutOfElem();
    return;
  }
  doc.IntoChild();
  DeviceGroup first{GidOf(doc), doc.GetText(), DecimalPrefix(doc.GetAttrib("EXPAND")) != 0};
  WriteGroup(doc, fallback);
  doc.OutOfElem();
  doc.AddChild("Group");
  doc.IntoChild();
  WriteGroup(doc, first);
  doc.OutOfElem();
}

std::vector<DeviceGroup> ShownGroups(MarkupDocument& doc) {
  std::vector<DeviceGroup> groups = ReadGroups(doc);
  if (HasGroup(groups, kDefaultGroupId)) return groups;
  EnsureDefaultGroup(doc);
  return ReadGroups(doc);
}

void AddCamera(MarkupDocument& doc, std::string_view id, int32_t gid) {
  doc.ResetChildPos();
  doc.AddChild("Camera");
  doc.IntoChild();
  doc.SetAttrib("GroupID", DecimalText(gid));
  doc.SetAttrib("Id", id);
  doc.SetAttrib("VideoStore", "0");
  doc.OutOfElem();
}

// The placement of id, its entry made or mended first. CameraList is current.
CameraPlacement Place(MarkupDocument& doc, const std::string& id,
                      const std::vector<DeviceGroup>& groups) {
  CameraPlacement placement{id};
  bool found = false;
  ForEachChild(doc, "Camera", [&](MarkupDocument& d) {
    if (d.GetAttrib("Id") != id) return Visit::kNext;
    found = true;
    placement.groupId = DecimalPrefix(d.GetAttrib("GroupID"));
    placement.videoStore = d.GetAttrib("VideoStore") == "1";
    if (!HasGroup(groups, placement.groupId)) {
      // Hidden for good otherwise: nothing in the tree could reach it.
      LogLine("config: camera " + id + " names no shown group; placed in the default group");
      placement.groupId = kDefaultGroupId;
      d.SetAttrib("GroupID", DecimalText(kDefaultGroupId));
    }
    return Visit::kStop;
  });
  if (!found) AddCamera(doc, id, kDefaultGroupId);
  return placement;
}

int32_t NewGid(MarkupDocument& doc) {
  std::set<int32_t> used;
  ForEachChild(doc, "Group", [&](MarkupDocument& d) {
    used.insert(GidOf(d));
    return Visit::kNext;
  });
  if (used.empty()) return 1;
  if (*used.rbegin() < std::numeric_limits<int32_t>::max()) return *used.rbegin() + 1;
  int32_t gid = 1;  // the largest is taken: the first free one instead
  while (used.count(gid)) ++gid;
  return gid;
}

}  // namespace

bool IsGroupName(std::string_view name) {
  long units = Utf16Length(name);
  if (units < 0 || units > kMaxGroupNameUnits) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    auto c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == 0x7F) return false;
    // U+FFFE and U+FFFF are no XML characters either.
    if (name.compare(i, 3, "\xEF\xBF\xBE") == 0 || name.compare(i, 3, "\xEF\xBF\xBF") == 0)
      return false;
  }
  return true;
}

std::string StoredGroupName(std::string_view name) {
  if (name.find_first_not_of(' ') == std::string_view::npos) return "";
  return std::string(name);
}

bool DeviceGroups::Load(std::vector<DeviceGroup>& groups) const {
  return ReadUserConfig(path_, [&](MarkupDocument& doc) {
    groups = IntoList(doc, "GroupList") ? ShownGroups(doc) : std::vector<DeviceGroup>{};
  });
}

bool DeviceGroups::SyncCameras(const std::vector<std::string>& removedIds,
                               const std::vector<std::string>& placedIds,
                               std::vector<CameraPlacement>& placements,
                               std::vector<DeviceGroup>& groups) {
  placements.clear();
  return EditUserConfig(path_, [&](MarkupDocument& doc) {
    if (!IntoList(doc, "GroupList")) return false;
    groups = ShownGroups(doc);
    if (!IntoList(doc, "CameraList")) return false;
    for (const std::string& id : removedIds)
      ForEachChild(doc, "Camera", [&](MarkupDocument& d) {
        return d.GetAttrib("Id") == id ? Visit::kRemove : Visit::kNext;
      });
    for (const std::string& id : placedIds) placements.push_back(Place(doc, id, groups));
    return true;
  });
}

DeviceGroups::AddResult DeviceGroups::AddGroup(DeviceGroup& added) {
  AddResult result = AddResult::kFailed;
  bool saved = EditUserConfig(path_, [&](MarkupDocument& doc) {
    if (!IntoList(doc, "GroupList")) return false;
    if (ShownGroups(doc).size() >= static_cast<std::size_t>(kMaxGroups)) {
      result = AddResult::kFull;
      return false;
    }
    added = DeviceGroup{NewGid(doc), kNewGroupName, false};
    doc.ResetChildPos();
    doc.AddChild("Group");
    doc.IntoChild();
    WriteGroup(doc, added);
    result = AddResult::kAdded;
    return true;
  });
  if (result == AddResult::kAdded && !saved) result = AddResult::kFailed;
  return result;
}

bool DeviceGroups::RenameGroup(int32_t gid, std::string_view name) {
  if (!IsGroupName(name)) {
    LogLine("config: a group name must be text of at most 259 units without control characters");
    return false;
  }
  return EditUserConfig(path_, [&](MarkupDocument& doc) {
    if (!IntoList(doc, "GroupList")) return false;
    bool found = false;
    ForEachChild(doc, "Group", [&](MarkupDocument& d) {
      if (GidOf(d) != gid) return Visit::kNext;
      found = d.SetText(StoredGroupName(name));
      return Visit::kStop;
    });
    return found;
  });
}

bool DeviceGroups::DeleteGroup(int32_t gid) {
  if (gid == kDefaultGroupId) return false;
  return EditUserConfig(path_, [&](MarkupDocument& doc) {
    if (!IntoList(doc, "GroupList")) return false;
    bool found = false;
    ForEachChild(doc, "Group", [&](MarkupDocument& d) {
      if (GidOf(d) != gid) return Visit::kNext;
      found = true;
      return Visit::kRemove;
    });
    if (!found || !IntoList(doc, "CameraList")) return false;
    ForEachChild(doc, "Camera", [&](MarkupDocument& d) {
      if (DecimalPrefix(d.GetAttrib("GroupID")) == gid)
        d.SetAttrib("GroupID", DecimalText(kDefaultGroupId));
      return Visit::kNext;
    });
    return true;
  });
}

bool DeviceGroups::MoveCamera(std::string_view id, int32_t gid) {
  return EditUserConfig(path_, [&](MarkupDocument& doc) {
    if (!IntoList(doc, "GroupList") || !HasGroup(ShownGroups(doc), gid) ||
        !IntoList(doc, "CameraList"))
      return false;
    bool found = false;
    ForEachChild(doc, "Camera", [&](MarkupDocument& d) {
      if (d.GetAttrib("Id") != id) return Visit::kNext;
      found = d.SetAttrib("GroupID", DecimalText(gid));
      return Visit::kStop;
    });
    // An entry lost from the file is made again, so the move holds.
    if (!found) AddCamera(doc, id, gid);
    return true;
  });
}

bool DeviceGroups::SaveExpanded(const std::vector<DeviceGroup>& groups) {
  return EditUserConfig(path_, [&](MarkupDocument& doc) {
    if (!IntoList(doc, "GroupList")) return false;
    std::set<int32_t> seen;  // a later duplicate is not the shown group
    ForEachChild(doc, "Group", [&](MarkupDocument& d) {
      int32_t gid = GidOf(d);
      if (!seen.insert(gid).second) return Visit::kNext;
      for (const DeviceGroup& group : groups)
        if (group.GID == gid) d.SetAttrib("EXPAND", group.expanded ? "1" : "0");
      return Visit::kNext;
    });
    return true;
  });
}

}  // namespace lumivex
