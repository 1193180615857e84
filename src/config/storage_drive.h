#pragma once
// Choice of the default storage place for recordings and snapshots: the
// mounted local disk with the most free space, other than the system disk.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lumivex {

// One line of /proc/self/mounts, with the octal escapes (\040 ...) decoded.
struct MountEntry {
  std::string device;
  std::string mountPoint;
  std::string fsType;
};

std::vector<MountEntry> ParseMounts(std::string_view text);

// A block device under /dev/ with a disk file system (not tmpfs, proc, nfs ...).
bool IsLocalDiskMount(const MountEntry& entry);

struct VolumeInfo {
  uint64_t device = 0;  // st_dev of the mount point
  bool directory = false;
  bool writable = false;
  int64_t freeMiB = 0;  // space available to the user, whole mebibytes
};

// Fills info for a path; false when the path cannot be examined.
using VolumeProbe = std::function<bool(const std::string& path, VolumeInfo& info)>;

// The first 17 local disks other than the one holding "/", each device once
// (its first mount), in listed order; the writable one with strictly the most
// free space wins, so a full disk is never chosen and the earlier wins a tie.
// root gets the mount point with a trailing "/".
bool PickStorageDriveFrom(const std::vector<MountEntry>& mounts, const VolumeProbe& probe,
                          std::string& root);

// stat, access and statvfs of the real path.
bool ProbeVolume(const std::string& path, VolumeInfo& info);

// Over /proc/self/mounts and the real file systems.
bool PickStorageDrive(std::string& root);

enum class StorageKind { kVideo, kPicture };

// Fills root with a storage root ending in "/"; false when none qualifies.
using DrivePicker = std::function<bool(std::string& root)>;

// The default folder for recordings or snapshots: the picked disk's root +
// "VideoFile/" or "ImageFile/"; where no disk qualifies (one disk holds
// everything, as on most laptops), the user's videos or pictures folder +
// "Lumivex/". False when neither is to be had.
bool DefaultStorageFolder(StorageKind kind, const DrivePicker& pickDrive, std::string& folder);
// The same over PickStorageDrive.
bool DefaultStorageFolder(StorageKind kind, std::string& folder);

}  // namespace lumivex
