#pragma once
// The signed-in user's preferences and identity while the program runs, and
// the video wall layout as the configuration file stores it.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "core/fixed_text.h"

namespace lumivex {

// A storage folder: UTF-8 text of at most 259 UTF-16 units (the original
// field held 260 with the terminator). Longer text is refused, not cut: a cut
// path would name some other folder.
class FolderText {
 public:
  static constexpr long kMaxUtf16Units = 259;

  static bool Fits(std::string_view text);

  // False, and the old value kept, when the text does not fit or is not UTF-8.
  bool Set(std::string_view text);
  void clear() { value_.clear(); }

  const std::string& str() const { return value_; }
  bool empty() const { return value_.empty(); }
  operator std::string_view() const { return value_; }  // NOLINT
  friend bool operator==(const FolderText& a, std::string_view b) { return a.value_ == b; }

 private:
  std::string value_;
};

// Where recordings and snapshots go, and the minutes of one recording file.
struct StorageFolders {
  FolderText VideoPath;
  FolderText ImagePath;
  int32_t FileLength = 0;
};

// The storage preferences are written by the sign-in's LoadUserSettings and
// the settings sheet while the sessions' frame clocks read them: one lock
// guards the three, and every reader takes a whole copy under it, so no
// session ever sees a folder half written.
class StorageSettings {
 public:
  StorageFolders Get() const;
  void Set(const StorageFolders& folders);
  // Changes them in place under the lock; change must not call back here.
  void Update(const std::function<void(StorageFolders&)>& change);

 private:
  mutable std::mutex mutex_;
  StorageFolders folders_;  // guarded by mutex_
};

struct UserSettings {
  FixedText<260> updateUrl;
  uint16_t productMajor = 0;
  uint16_t productMinor = 0;
  StorageSettings storage;  // VideoPath, ImagePath, FileLength
  FixedText<260> userName;
  FixedText<51> umac;
  FixedText<260> rememberedPassword;
  int32_t IsMax = 0;
  int32_t MainX = 0;
  int32_t MainY = 0;
  int32_t MainX1 = 0;
  int32_t MainY1 = 0;
  std::string configPath;
  int32_t ToTray = 0;
  int32_t ShowClose = 1;
  int32_t AutoLogin = 0;
  int32_t AutoPlay = 0;
  int32_t AutoQuality = 0;  // the wall asks each camera for the quality its window fits
  int32_t Update = 0;
};

struct WallLayout {
  int32_t xNums = 2;
  int32_t yNums = 2;
  int32_t FirstLarger = 0;

  friend bool operator==(const WallLayout&, const WallLayout&) = default;
};

// One of the six layouts of the chooser: 1x1, 2x2, 3x3, 4x4, and 3x3 and 4x4
// with the first window larger.
bool IsOfferedLayout(const WallLayout& layout);

// The layout itself when offered, else 2x2: the wall divides its area by the
// column and row counts, so a damaged file must not hand it anything else.
WallLayout OfferedLayoutOr2x2(const WallLayout& layout);

}  // namespace lumivex
