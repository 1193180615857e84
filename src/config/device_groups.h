#pragma once
// The device groups and the group of every camera, as config4 of the user's
// configuration file keeps them:
//   <GroupList><Group GID="0" EXPAND="1">name</Group>...</GroupList>
//   <CameraList><Camera GroupID="0" Id="sid" VideoStore="0"/>...</CameraList>
// Every change is one load-modify-save under the configuration lock.
//
// What a damaged or hand-edited file may hold is read soundly: a later
// group with a GID already seen, and groups past the 32nd, are ignored; a
// name longer than 259 UTF-16 units is cut for display; a file without the
// default group gets it back; a camera whose group is not shown is placed in
// the default group; of two Camera entries with one Id the first counts.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumivex {

inline constexpr int kMaxGroups = 32;
inline constexpr int32_t kDefaultGroupId = 0;
inline constexpr long kMaxGroupNameUnits = 259;
inline constexpr char kDefaultGroupName[] = "我的Orbelle";
inline constexpr char kNewGroupName[] = "我的分组";

struct DeviceGroup {
  int32_t GID = 0;
  std::string name;  // UTF-8
  bool expanded = false;

  friend bool operator==(const DeviceGroup&, const DeviceGroup&) = default;
};

// Where a device's row goes, and whether its recording starts with the tree.
struct CameraPlacement {
  std::string id;  // the device's sid
  int32_t groupId = kDefaultGroupId;
  bool videoStore = false;
};

// A group name the file can hold: valid UTF-8 of at most 259 UTF-16 units
// without control characters (XML text cannot carry them).
bool IsGroupName(std::string_view name);

// The name as the file gives it back: XML readers drop text of blanks only,
// so such a name is the empty one.
std::string StoredGroupName(std::string_view name);

class DeviceGroups {
 public:
  enum class AddResult { kAdded, kFull, kFailed };

  explicit DeviceGroups(std::string configPath) : path_(std::move(configPath)) {}

  const std::string& path() const { return path_; }

  // The groups in display order, at most 32; false when the file does not load.
  bool Load(std::vector<DeviceGroup>& groups) const;

  // One save for a whole listing: the Camera entries of removedIds go, every
  // id of placedIds gets its entry (new ones in the default group) and its
  // placement, in order. groups receives the groups as Load gives them.
  bool SyncCameras(const std::vector<std::string>& removedIds,
                   const std::vector<std::string>& placedIds,
                   std::vector<CameraPlacement>& placements, std::vector<DeviceGroup>& groups);

  // Appends a collapsed "我的分组" whose GID is one above the largest in the
  // file; kFull when 32 groups exist.
  AddResult AddGroup(DeviceGroup& added);
  // Stores StoredGroupName(name). False for a name IsGroupName refuses and
  // for a group not in the file.
  bool RenameGroup(int32_t gid, std::string_view name);
  // The group's cameras go to the default group; the default group stays.
  bool DeleteGroup(int32_t gid);
  // False when no shown group has this GID.
  bool MoveCamera(std::string_view id, int32_t gid);
  // Writes EXPAND of every group given.
  bool SaveExpanded(const std::vector<DeviceGroup>& groups);

 private:
  std::string path_;
};

}  // namespace lumivex
