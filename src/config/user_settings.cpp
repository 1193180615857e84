#include "config/user_settings.h"

#include "core/text.h"

namespace lumivex {

bool FolderText::Fits(std::string_view text) {
  long units = Utf16Length(text);
  return units >= 0 && units <= kMaxUtf16Units && text.find('\0') == std::string_view::npos;
}

bool FolderText::Set(std::string_view text) {
  if (!Fits(text)) return false;
  value_.assign(text);
  return true;
}

StorageFolders StorageSettings::Get() const {
  std::lock_guard lock(mutex_);
  return folders_;
}

void StorageSettings::Set(const StorageFolders& folders) {
  std::lock_guard lock(mutex_);
  folders_ = folders;
}

void StorageSettings::Update(const std::function<void(StorageFolders&)>& change) {
  std::lock_guard lock(mutex_);
  change(folders_);
}

bool IsOfferedLayout(const WallLayout& layout) {
  if (layout.xNums != layout.yNums) return false;
  switch (layout.FirstLarger) {
    case 0: return layout.xNums >= 1 && layout.xNums <= 4;
    case 1: return layout.xNums == 3 || layout.xNums == 4;
    default: return false;
  }
}

WallLayout OfferedLayoutOr2x2(const WallLayout& layout) {
  return IsOfferedLayout(layout) ? layout : WallLayout{};
}

}  // namespace lumivex
