#include "config/storage_drive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "config/user_dirs.h"
#include "support/fake_home.h"

namespace lumivex {
namespace {

TEST(ParseMounts, DecodesOctalEscapesAndSkipsShortLines) {
  auto entries = ParseMounts(
      "/dev/sda1 / ext4 rw,relatime 0 0\n"
      "proc /proc proc rw 0 0\n"
      "\n"
      "broken-line\n"
      "/dev/sdb1 /media/My\\040Disk\\134x vfat rw 0 0\n"
      "/dev/sdc1 /mnt/tab\\011end\\04 ext4 rw 0 0");
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].device, "/dev/sda1");
  EXPECT_EQ(entries[1].fsType, "proc");
  EXPECT_EQ(entries[2].mountPoint, "/media/My Disk\\x");
  EXPECT_EQ(entries[3].mountPoint, "/mnt/tab\tend\\04") << "a short escape stays as it is";
  EXPECT_TRUE(IsLocalDiskMount(entries[2]));
  EXPECT_FALSE(IsLocalDiskMount(entries[1]));
  EXPECT_FALSE(IsLocalDiskMount({"tmpfs", "/tmp", "tmpfs"}));
  EXPECT_FALSE(IsLocalDiskMount({"server:/x", "/net", "nfs"}));
  EXPECT_FALSE(IsLocalDiskMount({"/dev/sdd1", "/x", "squashfs"}));
}

// Fake file systems: mount point -> what stat/statvfs would say.
class FakeVolumes {
 public:
  FakeVolumes() { Add("/", 1, 5000); }
  void Add(const std::string& mountPoint, uint64_t device, int64_t freeMiB,
           bool writable = true, bool directory = true) {
    volumes_[mountPoint] = {device, directory, writable, freeMiB};
  }
  VolumeProbe Probe() const {
    return [this](const std::string& path, VolumeInfo& info) {
      auto it = volumes_.find(path);
      if (it == volumes_.end()) return false;
      info = it->second;
      return true;
    };
  }

 private:
  std::map<std::string, VolumeInfo> volumes_;
};

std::string Pick(const std::vector<MountEntry>& mounts, const FakeVolumes& volumes) {
  std::string root = "(none)";
  PickStorageDriveFrom(mounts, volumes.Probe(), root);
  return root;
}

TEST(PickStorageDrive, MostFreeNonSystemDiskWinsAndTheFirstWinsATie) {
  FakeVolumes v;
  v.Add("/boot", 1, 9000);  // same device number as "/"
  v.Add("/data", 3, 700);
  v.Add("/media/usb", 4, 900);
  v.Add("/media/usb2", 5, 900);
  v.Add("/ro", 6, 99999, false);
  v.Add("/tmp", 7, 99999);
  v.Add("/net", 8, 99999);
  v.Add("/etc/hosts", 9, 99999, true, false);  // a bind-mounted file
  std::vector<MountEntry> mounts = {
      {"/dev/sda1", "/", "ext4"},          {"/dev/sda2", "/boot", "ext4"},
      {"/dev/sdb1", "/data", "xfs"},       {"tmpfs", "/tmp", "tmpfs"},
      {"srv:/e", "/net", "nfs"},           {"/dev/sdc1", "/media/usb", "exfat"},
      {"/dev/sdd1", "/media/usb2", "vfat"}, {"/dev/sde1", "/ro", "ext4"},
      {"/dev/sdf1", "/etc/hosts", "ext4"}};
  EXPECT_EQ(Pick(mounts, v), "/media/usb/");
}

TEST(PickStorageDrive, SystemDiskFullDiskAndNothingLeft) {
  FakeVolumes v;
  v.Add("/home", 2, 50000);  // another mount of the system disk's device
  v.Add("/full", 3, 0);
  std::vector<MountEntry> mounts = {{"/dev/sda1", "/", "btrfs"},
                                    {"/dev/sda1", "/home", "btrfs"},
                                    {"/dev/sdb1", "/full", "ext4"}};
  EXPECT_EQ(Pick(mounts, v), "(none)");

  // Each device counts once: its first mount.
  v.Add("/first", 4, 10);
  v.Add("/second", 4, 10);
  mounts.push_back({"/dev/sdc1", "/first", "ext4"});
  mounts.push_back({"/dev/sdc1", "/second", "ext4"});
  EXPECT_EQ(Pick(mounts, v), "/first/");
}

TEST(PickStorageDrive, ExaminesOnlyTheFirst17Candidates) {
  FakeVolumes v;
  std::vector<MountEntry> mounts = {{"/dev/sda1", "/", "ext4"}};
  for (int i = 1; i <= 18; ++i) {
    std::string mp = "/mnt/d" + std::to_string(i);
    v.Add(mp, 100 + i, i == 18 ? 1000000 : i);
    mounts.push_back({"/dev/sdx" + std::to_string(i), mp, "ext4"});
  }
  EXPECT_EQ(Pick(mounts, v), "/mnt/d17/");
}

TEST(DefaultStorageFolder, AOneDiskMachineFallsBackToTheUsersFolders) {
  test::FakeHome home;
  FakeVolumes v;
  v.Add("/home", 2, 50000);
  const std::vector<MountEntry> oneDisk = ParseMounts(
      "/dev/nvme0n1p2 / ext4 rw 0 0\n/dev/nvme0n1p2 /home ext4 rw 0 0\ntmpfs /tmp tmpfs rw 0 0\n");
  auto pick = [&](const std::vector<MountEntry>& mounts) {
    return [&, mounts](std::string& root) { return PickStorageDriveFrom(mounts, v.Probe(), root); };
  };
  std::string video, picture;
  ASSERT_TRUE(DefaultStorageFolder(StorageKind::kVideo, pick(oneDisk), video));
  ASSERT_TRUE(DefaultStorageFolder(StorageKind::kPicture, pick(oneDisk), picture));
  EXPECT_EQ(video, home.str() + "/Videos/Lumivex/");
  EXPECT_EQ(picture, home.str() + "/Pictures/Lumivex/");

  // xdg-user-dir's own file wins, "$HOME" expanded; the last line counts.
  std::filesystem::create_directories(home.config());
  test::WriteFileBytes(home.config() + "/user-dirs.dirs",
                       "# written by xdg-user-dirs-update\n"
                       "XDG_VIDEOS_DIR=\"$HOME/Old\"\n"
                       "XDG_VIDEOS_DIR=\"$HOME/Filme\"\n"
                       "XDG_PICTURES_DIR=\"/srv/Bilder/\"\n");
  ASSERT_TRUE(DefaultStorageFolder(StorageKind::kVideo, pick(oneDisk), video));
  ASSERT_TRUE(DefaultStorageFolder(StorageKind::kPicture, pick(oneDisk), picture));
  EXPECT_EQ(video, home.str() + "/Filme/Lumivex/");
  EXPECT_EQ(picture, "/srv/Bilder/Lumivex/");
  EXPECT_EQ(UserDirFromText("XDG_MUSIC_DIR=\"relative\"\n", "MUSIC", "/h"), "") << "not absolute";

  // A second disk is still preferred.
  v.Add("/srv/data", 3, 100);
  std::vector<MountEntry> twoDisks = oneDisk;
  twoDisks.push_back({"/dev/sdb1", "/srv/data", "ext4"});
  ASSERT_TRUE(DefaultStorageFolder(StorageKind::kVideo, pick(twoDisks), video));
  EXPECT_EQ(video, "/srv/data/VideoFile/");

  test::ScopedEnv noHome("HOME", "relative");  // names no home folder
  EXPECT_FALSE(DefaultStorageFolder(StorageKind::kVideo, pick(oneDisk), video));
}

TEST(PickStorageDrive, ProbesTheRealRoot) {
  VolumeInfo info;
  ASSERT_TRUE(ProbeVolume("/", info));
  EXPECT_TRUE(info.directory);
  EXPECT_FALSE(ProbeVolume("/no/such/mount/point", info));
}

}  // namespace
}  // namespace lumivex
