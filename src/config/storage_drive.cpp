#include "config/storage_drive.h"

#include "config/user_dirs.h"
#include "core/folders.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>

namespace lumivex {
namespace {

// As many roots as the original walked.
constexpr int kMaxExamined = 17;

constexpr std::array<std::string_view, 15> kDiskFileSystems = {
    "ext2", "ext3",  "ext4",    "xfs",      "btrfs", "vfat", "exfat", "ntfs",
    "ntfs3", "f2fs", "fuseblk", "reiserfs", "jfs",   "hfsplus", "msdos"};

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

// The kernel writes space, tab, newline and backslash as \ooo.
std::string DecodeOctalEscapes(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) &&
        IsOctal(field[i + 2]) && IsOctal(field[i + 3])) {
      int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
      out.push_back(static_cast<char>(value & 0xFF));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

}  // namespace

std::vector<MountEntry> ParseMounts(std::string_view text) {
  std::vector<MountEntry> entries;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    std::vector<std::string_view> fields = SplitFields(line);
    if (fields.size() < 3) continue;
    entries.push_back({DecodeOctalEscapes(fields[0]), DecodeOctalEscapes(fields[1]),
                       std::string(fields[2])});
  }
  return entries;
}

bool IsLocalDiskMount(const MountEntry& entry) {
  return entry.device.starts_with("/dev/") &&
         std::find(kDiskFileSystems.begin(), kDiskFileSystems.end(), entry.fsType) !=
             kDiskFileSystems.end();
}

bool PickStorageDriveFrom(const std::vector<MountEntry>& mounts, const VolumeProbe& probe,
                          std::string& root) {
  VolumeInfo system;
  if (!probe("/", system)) return false;
  // The device shown for "/" (the last mount there is the visible one); btrfs
  // subvolumes of the system disk have a device number of their own.
  std::string systemDevice;
  for (const MountEntry& entry : mounts)
    if (entry.mountPoint == "/") systemDevice = entry.device;

  std::set<std::string> seen;
  int examined = 0;
  int64_t best = 0;
  bool found = false;
  for (const MountEntry& entry : mounts) {
    if (!IsLocalDiskMount(entry) || !seen.insert(entry.device).second) continue;
    if (entry.device == systemDevice) continue;
    VolumeInfo info;
    if (!probe(entry.mountPoint, info) || !info.directory || info.device == system.device)
      continue;
    if (++examined > kMaxExamined) break;
    if (info.writable && info.freeMiB > best) {
      best = info.freeMiB;
      root = WithTrailingSlash(entry.mountPoint);
      found = true;
    }
  }
  return found;
}

bool ProbeVolume(const std::string& path, VolumeInfo& info) {
  struct stat st {};
  struct statvfs vfs {};
  if (::stat(path.c_str(), &st) != 0 || ::statvfs(path.c_str(), &vfs) != 0) return false;
  info.device = static_cast<uint64_t>(st.st_dev);
  info.directory = S_ISDIR(st.st_mode);
  info.writable = ::access(path.c_str(), W_OK) == 0;
  uint64_t blocks = vfs.f_bavail, blockSize = vfs.f_frsize;
  uint64_t freeBytes = blockSize != 0 && blocks > UINT64_MAX / blockSize ? UINT64_MAX
                                                                         : blocks * blockSize;
  info.freeMiB = static_cast<int64_t>(freeBytes >> 20);
  return true;
}

bool PickStorageDrive(std::string& root) {
  std::ifstream in("/proc/self/mounts");
  if (!in) return false;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return PickStorageDriveFrom(ParseMounts(text), ProbeVolume, root);
}

bool DefaultStorageFolder(StorageKind kind, const DrivePicker& pickDrive, std::string& folder) {
  const bool video = kind == StorageKind::kVideo;
  std::string root;
  if (pickDrive && pickDrive(root)) {
    folder = WithTrailingSlash(root) + (video ? "VideoFile/" : "ImageFile/");
    return true;
  }
  std::string dir = video ? UserDir("VIDEOS", "Videos") : UserDir("PICTURES", "Pictures");
  if (dir.empty()) return false;
  folder = WithTrailingSlash(dir) + "Lumivex/";
  return true;
}

bool DefaultStorageFolder(StorageKind kind, std::string& folder) {
  return DefaultStorageFolder(kind, PickStorageDrive, folder);
}

}  // namespace lumivex
