#pragma once
// Thread helpers shared by the sessions.

#include <thread>

namespace lumivex {

// Joins a thread that was started and not yet joined; nothing otherwise.
inline void JoinIfStarted(std::thread& thread) {
  if (thread.joinable()) thread.join();
}

}  // namespace lumivex
