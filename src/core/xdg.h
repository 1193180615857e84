#pragma once
// The per-user folders of the XDG base directory rules that the client uses.

#include <string>

namespace lumivex {

// $HOME, else the home folder of the password database; empty when neither
// names one. Without a trailing slash.
std::string HomeFolder();

// $XDG_CONFIG_HOME when it is an absolute path, else HomeFolder() + "/.config";
// empty without a home folder.
std::string XdgConfigHome();

// $XDG_STATE_HOME when absolute, else HomeFolder() + "/.local/state".
std::string XdgStateHome();

// $XDG_RUNTIME_DIR when it is an absolute path to a folder; else empty (the
// rules leave the fallback to the program).
std::string XdgRuntimeDir();

}  // namespace lumivex
