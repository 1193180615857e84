#pragma once
// The user's well-known folders as xdg-user-dir names them (user-dirs.dirs
// in the XDG config folder), with the usual defaults when it names none.

#include <string>
#include <string_view>

namespace lumivex {

// The value of XDG_<name>_DIR in the text of a user-dirs.dirs file, with
// "$HOME" replaced by home; empty when the file does not set it to an
// absolute path.
std::string UserDirFromText(std::string_view text, std::string_view name, const std::string& home);

// "VIDEOS" or "PICTURES" ...: from $XDG_CONFIG_HOME/user-dirs.dirs, else
// home + "/" + fallback ("Videos"); empty without a home folder. No
// trailing slash.
std::string UserDir(std::string_view name, std::string_view fallback);

}  // namespace lumivex
