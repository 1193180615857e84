#pragma once
// What the device tree shows: the groups in their slots, each with its
// cameras (device indexes of the CameraList) in insertion order, and the
// rows they make. Plain data owned by the GUI thread; workers hand their
// results over by queued calls, so no lock is needed here.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lumivex::ui {

// A group (by GID) or a camera (by device index); none when empty.
struct TreeItem {
  enum class Kind { kNone, kGroup, kCamera };
  Kind kind = Kind::kNone;
  int32_t id = 0;

  static TreeItem Group(int32_t gid) { return {Kind::kGroup, gid}; }
  static TreeItem Camera(int device) { return {Kind::kCamera, device}; }
  bool isGroup() const { return kind == Kind::kGroup; }
  bool isCamera() const { return kind == Kind::kCamera; }
  explicit operator bool() const { return kind != Kind::kNone; }
  friend bool operator==(const TreeItem&, const TreeItem&) = default;
};

struct GroupEntry {
  std::string name;
  int32_t GID = 0;
  bool expanded = false;
  std::vector<int> cameras;  // device indexes, in insertion order
};

struct TreeRow {
  TreeItem item;
  int top = 0;  // content coordinates: 0 is the top of the first row
  int height = 0;
  int bottom() const { return top + height; }
};

class DeviceTreeModel {
 public:
  static constexpr int kHeaderHeight = 22;
  static constexpr int kCameraHeight = 82;
  // Whether the device is online (status 1); decides the order in a group.
  using Online = std::function<bool(int device)>;

  const std::vector<GroupEntry>& groups() const { return groups_; }
  void Clear() { groups_.clear(); }

  // In the first free slot; false when all 32 are taken or the GID is there.
  bool AddGroup(std::string name, int32_t gid, bool expanded);
  // Its cameras go to the end of the default group; later groups move up.
  bool RemoveGroup(int32_t gid);
  bool RenameGroup(int32_t gid, std::string name);
  bool SetExpanded(int32_t gid, bool expanded);
  bool ToggleExpanded(int32_t gid);
  void CollapseAll();
  const GroupEntry* FindGroup(int32_t gid) const;

  // At the end of the group; false when there is no such group or the
  // device has a row already.
  bool AppendCamera(int32_t gid, int device);
  bool RemoveCamera(int device);
  // To the end of the group with that GID.
  bool MoveCamera(int device, int32_t gid);
  const GroupEntry* GroupOf(int device) const;
  bool HasCamera(int device) const { return GroupOf(device) != nullptr; }
  std::vector<int> AllCameras() const;

  // Every row in display order: a header per group, then for an expanded
  // group its online cameras and then the others, each in insertion order.
  std::vector<TreeRow> Rows(const Online& online) const;
  int ContentHeight() const;
  // The first row whose bottom is at or below y (content coordinates).
  TreeItem HitTest(int y, const Online& online) const;
  std::optional<TreeRow> RowOf(TreeItem item, const Online& online) const;
  // "name  [online/total]"
  static std::string HeaderLabel(const GroupEntry& group, const Online& online);

 private:
  GroupEntry* Find(int32_t gid);

  std::vector<GroupEntry> groups_;
};

}  // namespace lumivex::ui
