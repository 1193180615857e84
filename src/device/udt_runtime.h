#pragma once
// UDT keeps process-wide state (its socket table and collector thread) that
// must be started once before the first UDT socket.

namespace lumivex {

// Starts UDT on the first call; later calls do nothing. False when it could
// not be started (every later call then reports the same).
bool EnsureUdtStarted();

}  // namespace lumivex
