// The wall's one frame clock: every session ticks at its own period, never
// two ticks of a session at once, none after its Remove, and no thread is
// left once the last session is gone.

#include "stream/display_clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <vector>

#include "support/wait_for.h"

namespace lumivex {
namespace {

using namespace std::chrono_literals;

int ThreadCount() {
  int n = 0;
  for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}

struct Session {
  std::atomic<int> ticks{0};
  std::atomic<bool> inside{false};
  std::atomic<bool> overlapped{false};
  uint64_t id = 0;
};

TEST(DisplayClockTest, SessionsTickApartAndStopForGood) {
  const int before = ThreadCount();
  DisplayClock clock(2);
  std::vector<std::unique_ptr<Session>> sessions;
  for (int i = 0; i < 12; ++i) {
    auto s = std::make_unique<Session>();
    Session* raw = s.get();
    raw->id = clock.Add(std::chrono::milliseconds(5 + i % 3), [raw](bool) {
      if (raw->inside.exchange(true)) raw->overlapped = true;
      std::this_thread::sleep_for(1ms);  // long enough for a second worker to collide
      raw->ticks.fetch_add(1);
      raw->inside = false;
    });
    ASSERT_NE(raw->id, 0u);
    sessions.push_back(std::move(s));
  }
  EXPECT_EQ(ThreadCount(), before + 1 + clock.workerCount());
  ASSERT_TRUE(test::WaitFor(
      [&] {
        for (auto& s : sessions)
          if (s->ticks < 20) return false;
        return true;
      },
      10s));
  for (auto& s : sessions) {
    clock.Remove(s->id);
    const int at = s->ticks;
    EXPECT_FALSE(s->inside) << "Remove returned while its tick ran";
    std::this_thread::sleep_for(20ms);  // four periods: a tick after the Remove would show
    EXPECT_EQ(s->ticks, at);
    EXPECT_FALSE(s->overlapped);
  }
  EXPECT_EQ(ThreadCount(), before) << "an idle clock holds no thread";
  clock.Remove(12345);  // unknown: nothing
  EXPECT_EQ(clock.Add(0ms, [](bool) {}), 0u);
}

TEST(DisplayClockTest, ABlockedSessionDoesNotStopTheOthers) {
  DisplayClock clock(2);
  std::atomic<bool> release{false};
  std::atomic<int> other{0}, blockedTicks{0};
  const uint64_t blocked = clock.Add(5ms, [&](bool) {
    blockedTicks.fetch_add(1);
    while (!release) std::this_thread::sleep_for(1ms);
  });
  const uint64_t free = clock.Add(5ms, [&](bool) { other.fetch_add(1); });
  ASSERT_TRUE(test::WaitFor([&] { return blockedTicks >= 1 && other >= 50; }, 10s));
  EXPECT_EQ(blockedTicks, 1);
  release = true;
  clock.Remove(blocked);
  clock.Remove(free);
}

}  // namespace
}  // namespace lumivex
