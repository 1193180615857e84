#pragma once
// Waits on a condition with a bound instead of sleeping on a guess.

#include <chrono>
#include <thread>

namespace lumivex::test {

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds bound = std::chrono::seconds(10)) {
  auto deadline = std::chrono::steady_clock::now() + bound;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace lumivex::test
