#pragma once
// Folders the user names for recordings and snapshots.

#include <string>

namespace lumivex {

bool IsFolder(const std::string& path);

// path with one final "/" added when it has none ("" becomes "/").
std::string WithTrailingSlash(std::string path);
// path without its final "/"s; "/" stays "/".
std::string WithoutTrailingSlash(std::string path);

// Creates every missing level of folder, one by one (mode 0755). False when
// a level cannot be created or exists as something other than a folder.
bool CreateFolderLevels(const std::string& folder);

// "转到...": the part before every "/" of text is created when missing, so
// a text without a final "/" has its last level created only if it is
// already there. True when text then names a folder to open.
bool PrepareFolderToOpen(const std::string& text);

// Files can be made in folder: its missing levels are created and a file
// is made there and removed again. Permission bits alone would not tell
// (root, read-only or virtual file systems).
bool MakeWritableFolder(const std::string& folder);

}  // namespace lumivex
