#pragma once
// UDT keeps process-wide state (its socket table and collector thread) that
// must be started once before the first UDT socket.

#include <udt/udt.h>

namespace lumivex {

// Starts UDT on the first call; later calls do nothing. False when it could
// not be started (every later call then reports the same).
bool EnsureUdtStarted();

// Closes a UDT socket without UDT's default linger, which holds the close
// for up to 180 s while a peer that went away leaves data unacknowledged.
void CloseUdtAtOnce(UDTSOCKET socket);

}  // namespace lumivex
