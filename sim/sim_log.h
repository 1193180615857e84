#pragma once
// The sim's own lines on standard error, each starting "lumivex-sim: ".

#include <string_view>

namespace lumivex::sim {

void SetVerbose(bool verbose);
bool Verbose();

// "lumivex-sim: refused <operation>: <reason>", always written.
void LogRefused(std::string_view operation, std::string_view reason);
// Written only with --verbose.
void LogDetail(std::string_view text);
// Always written.
void LogError(std::string_view text);
// Always written: what the cameras, the relay and the traversal server see.
void LogNote(std::string_view text);

}  // namespace lumivex::sim
