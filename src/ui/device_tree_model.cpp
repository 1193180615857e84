#include "ui/device_tree_model.h"

#include <algorithm>

#include "config/device_groups.h"

namespace lumivex::ui {

bool DeviceTreeModel::AddGroup(std::string name, int32_t gid, bool expanded) {
  if (groups_.size() >= static_cast<std::size_t>(kMaxGroups) || Find(gid)) return false;
  groups_.push_back({std::move(name), gid, expanded, {}});
  return true;
}

bool DeviceTreeModel::RemoveGroup(int32_t gid) {
  auto it = std::find_if(groups_.begin(), groups_.end(),
                         [gid](const GroupEntry& g) { return g.GID == gid; });
  if (it == groups_.end() || gid == kDefaultGroupId) return false;
  std::vector<int> cameras = std::move(it->cameras);
  groups_.erase(it);
  if (GroupEntry* fallback = Find(kDefaultGroupId))
    fallback->cameras.insert(fallback->cameras.end(), cameras.begin(), cameras.end());
  return true;
}

bool DeviceTreeModel::RenameGroup(int32_t gid, std::string name) {
  GroupEntry* group = Find(gid);
  if (!group) return false;
  group->name = std::move(name);
  return true;
}

bool DeviceTreeModel::SetExpanded(int32_t gid, bool expanded) {
  GroupEntry* group = Find(gid);
  if (!group) return false;
  group->expanded = expanded;
  return true;
}

bool DeviceTreeModel::ToggleExpanded(int32_t gid) {
  const GroupEntry* group = FindGroup(gid);
  return group && SetExpanded(gid, !group->expanded);
}

void DeviceTreeModel::CollapseAll() {
  for (GroupEntry& group : groups_) group.expanded = false;
}

const GroupEntry* DeviceTreeModel::FindGroup(int32_t gid) const {
  for (const GroupEntry& group : groups_)
    if (group.GID == gid) return &group;
  return nullptr;
}

GroupEntry* DeviceTreeModel::Find(int32_t gid) {
  return const_cast<GroupEntry*>(FindGroup(gid));
}

bool DeviceTreeModel::AppendCamera(int32_t gid, int device) {
  GroupEntry* group = Find(gid);
  if (!group || HasCamera(device)) return false;
  group->cameras.push_back(device);
  return true;
}

bool DeviceTreeModel::RemoveCamera(int device) {
  for (GroupEntry& group : groups_) {
    auto it = std::find(group.cameras.begin(), group.cameras.end(), device);
    if (it == group.cameras.end()) continue;
    group.cameras.erase(it);
    return true;
  }
  return false;
}

bool DeviceTreeModel::MoveCamera(int device, int32_t gid) {
  if (!Find(gid) || !RemoveCamera(device)) return false;
  return AppendCamera(gid, device);
}

const GroupEntry* DeviceTreeModel::GroupOf(int device) const {
  for (const GroupEntry& group : groups_)
    if (std::find(group.cameras.begin(), group.cameras.end(), device) != group.cameras.end())
      return &group;
  return nullptr;
}

std::vector<int> DeviceTreeModel::AllCameras() const {
  std::vector<int> all;
  for (const GroupEntry& group : groups_)
    all.insert(all.end(), group.cameras.begin(), group.cameras.end());
  return all;
}

std::vector<TreeRow> DeviceTreeModel::Rows(const Online& online) const {
  std::vector<TreeRow> rows;
  int top = 0;
  auto add = [&](TreeItem item, int height) {
    rows.push_back({item, top, height});
    top += height;
  };
  for (const GroupEntry& group : groups_) {
    add(TreeItem::Group(group.GID), kHeaderHeight);
    if (!group.expanded) continue;
    for (bool wanted : {true, false})
      for (int device : group.cameras)
        if (online(device) == wanted) add(TreeItem::Camera(device), kCameraHeight);
  }
  return rows;
}

int DeviceTreeModel::ContentHeight() const {
  int height = 0;
  for (const GroupEntry& group : groups_) {
    height += kHeaderHeight;
    if (group.expanded) height += kCameraHeight * static_cast<int>(group.cameras.size());
  }
  return height;
}

TreeItem DeviceTreeModel::HitTest(int y, const Online& online) const {
  for (const TreeRow& row : Rows(online))
    if (row.bottom() >= y) return row.item;
  return {};
}

std::optional<TreeRow> DeviceTreeModel::RowOf(TreeItem item, const Online& online) const {
  for (const TreeRow& row : Rows(online))
    if (row.item == item) return row;
  return std::nullopt;
}

std::string DeviceTreeModel::HeaderLabel(const GroupEntry& group, const Online& online) {
  auto up = std::count_if(group.cameras.begin(), group.cameras.end(), online);
  return group.name + "  [" + std::to_string(up) + "/" + std::to_string(group.cameras.size()) +
         "]";
}

}  // namespace lumivex::ui
