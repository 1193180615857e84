#pragma once
// Files that must never be left half written.

#include <sys/types.h>

#include <string>
#include <string_view>

namespace lumivex {

// Writes bytes into a private temporary file beside path, flushes it to
// disk, gives it mode and renames it over path. On failure path is as it
// was and no temporary file is left.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, mode_t mode);

}  // namespace lumivex
